#!/usr/bin/env python3
"""Makes the tabrix(1) man page from the command-line page of the documentation, so the two
never differ: headings become sections, tables become tagged paragraphs, indented blocks stay as
they are. Writes the page gzip-compressed, without a time stamp, so builds are reproducible.

    md2man.py docs/command-line.md tabrix.1.gz VERSION
"""
import gzip
import re
import sys


def inline(text):
    """Markdown inline marks as roff fonts; roff's own characters escaped."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)
    text = re.sub(r"`([^`]+)`", r"\\fB\1\\fR", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\\fB\1\\fR", text)
    return text.replace("-", "\\-")


def line(text):
    """A text line; one starting with a roff control character is kept as text."""
    return "\\&" + text if text[:1] in (".", "'") else text


def cells(row):
    return [c.strip() for c in row.strip().strip("|").split("|")]


def convert(markdown, version):
    out = [f'.TH TABRIX 1 "" "Tabrix {version}" "User Commands"',
           ".SH NAME", "tabrix \\- convert dBase tables into text, SQL, HTML, XML, JSON, RTF and DBF files"]
    lines = markdown.splitlines()
    i = 0
    paragraph = False
    while i < len(lines):
        text = lines[i]
        if text.startswith("# "):
            out.append(".SH SYNOPSIS")
            paragraph = False
        elif text.startswith("## "):
            out.append(".SH " + inline(text[3:].upper()))
            paragraph = False
        elif text.startswith("    "):
            out += [".PP", ".nf", ".RS 4"]
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                if lines[i].strip():
                    out.append(line(lines[i][4:].replace("\\", "\\e").replace("-", "\\-")))
                i += 1
            out += [".RE", ".fi"]
            paragraph = False
            continue
        elif text.startswith("|"):
            head = cells(text)
            i += 2  # the header and the line under it
            while i < len(lines) and lines[i].startswith("|"):
                row = cells(lines[i])
                rest = "; ".join(f"{head[n]}: {c}" if n > 1 else c for n, c in enumerate(row[1:], 1) if c)
                out += [".TP", line(inline(row[0])), line(inline(rest))]
                i += 1
            paragraph = False
            continue
        elif re.match(r"(- |\d+\. )", text):
            mark = "\\(bu" if text.startswith("- ") else text.split(".")[0] + "."
            body = [text.split(" ", 1)[1]]
            i += 1
            while i < len(lines) and lines[i].startswith("  ") and lines[i].strip():
                body.append(lines[i].strip())
                i += 1
            out += [f".IP {mark} 4", line(inline(" ".join(body)))]
            paragraph = False
            continue
        elif not text.strip():
            paragraph = False
        else:
            if not paragraph:
                out.append(".PP")
                paragraph = True
            out.append(line(inline(text)))
        i += 1
    return "\n".join(out) + "\n"


def main():
    source, target, version = sys.argv[1:4]
    with open(source, encoding="utf-8") as f:
        page = convert(f.read(), version)
    with open(target, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as packed:
        packed.write(page.encode("utf-8"))


if __name__ == "__main__":
    main()
