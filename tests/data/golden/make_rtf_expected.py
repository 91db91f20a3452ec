"""Writes the expected files of the rtf_* golden cases from the rules of the
RTF output, with the cases' values written out below (as the fixtures store
them and the command line shows them: day.month.year dates, trimmed values,
a blank date or logical empty). It does not run Tabrix.

Usage: /usr/bin/python3 make_rtf_expected.py

The rules: a header with the fonts Times New Roman and Arial and the colours
black, red, silver and white; the default document and section formats; a
header row of the field names (each paragraph after "\\par"), then one row per
record; cell boundaries add up the field lengths clamped to 10..80 times 110
twips; text escaped (\\ { } with a backslash, CR LF as \\line, a tab as \\tab,
bytes from 0x7F and below 0x20 as \\'hh); every line break CR LF.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

HEADER = ("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl"
          "{\\f0\\fnil\\fcharset0\\cpg1252 Times New Roman}{\\f1\\fnil\\fcharset0\\cpg1252 Arial}}"
          "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red192\\green192\\blue192;"
          "\\red255\\green255\\blue255;}{\\*\\generator Quillon;}"
          "\n{\\info{\\author Quillon}{\\company Norvane}}"
          "\\viewkind1\\viewscale100\\paperw12240\\paperh15840\\margl1800\\margr1800\\margt1440\\margb1440\\gutter0"
          "\n\\sectd\\sbknone\\pgwsxn12240\\pghsxn15840\\marglsxn1800\\margrsxn1800\\margtsxn1440\\margbsxn1440"
          "\\guttersxn0\\headery720\\footery720")

ROW_START = ("\n\\trowd\\trgaph115\\trql\\trleft0\\trrh0\\trpaddb20\\trpaddfb3\\trpaddl20\\trpaddfl3"
             "\\trpaddr20\\trpaddfr3\\trpaddt20\\trpaddft3")
BORDER = "\\brdrs\\brdrw5\\brsp0\\brdrcf0"
CELL = ("\n\\tcelld\\clvertalc\\cltxlrtb\\clbrdrb" + BORDER + "\\clbrdrl" + BORDER + "\\clbrdrr" + BORDER
        + "\\clbrdrt" + BORDER + "\\clshdgn0\\clcfpat0\\clcbpat3\\cellx")
PARAGRAPH = ("\\pard\\intbl\\qj\\fi0\\li0\\ri0\\sb0\\sa0\\sl0\\animtext0\\expndtw0\\kerning0\\charscalex100"
             "\\f0\\fs20\\cf0\\b0\\caps0\\striked0\\i0\\outl0\\shad0\\scaps0\\strike0\\ulnone ")
CELL_END = "\n\\cell "
ROW_END = "\n\\trgaph115\\row\\pard"
CLOSING = "\n\\par}"


def escape(raw):
    out = bytearray()
    i = 0
    while i < len(raw):
        b = raw[i]
        if raw[i:i + 2] == b"\r\n":
            out += b"\\line "
            i += 1
        elif b in (0x0D, 0x0A):
            out += b"\\line "
        elif b == 0x09:
            out += b"\\tab "
        elif b in b"\\{}":
            out += b"\\" + bytes([b])
        elif b < 0x20 or b >= 0x7F:
            out += b"\\'%02x" % b
        else:
            out.append(b)
        i += 1
    return bytes(out)


def row(lengths, texts, new_paragraph):
    out = ROW_START.encode()
    boundary = 0
    for length, text in zip(lengths, texts):
        boundary += min(max(length, 10), 80) * 110
        out += (CELL + str(boundary)).encode()
        out += ("\n" + ("\\par" if new_paragraph else "") + PARAGRAPH).encode() + escape(text)
        out += CELL_END.encode()
    return out + ROW_END.encode()


def document(fields, records):
    """fields: (name, length) of the shown fields; records: the shown texts as cp1252 (or OEM) bytes."""
    lengths = [length for _, length in fields]
    out = HEADER.encode() + row(lengths, [name for name, _ in fields], True)
    for texts in records:
        out += row(lengths, texts, False)
    out += CLOSING.encode()
    return out.replace(b"\n", b"\r\n")


CASES = {
    # The basic table of the delimited cases.
    "rtf_basic": document(
        [(b"NAME", 12), (b"CITY", 8), (b"QTY", 6), (b"DAY", 8), (b"OK", 1)],
        [[b"Smith, John", b"Berlin", b"1.50", b"05.03.2024", b"T"],
         [b'Say "hi"', b"Oslo", b"-2.00", b"", b"F"],
         [b"Lead", b"", b"", b"31.12.1999", b""],
         [b'x "a,b"', b"Rome", b"0.00", b"29.02.2000", b"T"]]),
    # Lengths 1, 50, 200: boundaries 1100, 6600, 15400; _NullFlags shows no cell.
    "rtf_widths": document(
        [(b"FLAG", 1), (b"NOTE", 50), (b"REMARK", 200)],
        [[b"x", b"a\\b {c} \xe9t\xe9", b"caf\xe9\tbar"],
         [b"{", b"two\r\nlines", b""]]),
    "rtf_no_records": document([(b"NAME", 12), (b"DAY", 8)], []),
    # Values in code page 437 (M\xfcller, \xc4\xe9); the names stay as they are.
    "rtf_tooem": document(
        [(b"NAME", 8), (b"GR\xd6SSE", 3)],
        [[b"M\x81ller", b"180"], [b"\x8e\x82", b"75"]]),
}


def main():
    for folder, data in CASES.items():
        with open(os.path.join(HERE, folder, "expected"), "wb") as f:
            f.write(data)
        args = ["{in}", "out.rtf"] + (["/TOOEM"] if folder == "rtf_tooem" else [])
        with open(os.path.join(HERE, folder, "args"), "w") as f:
            f.write("\n".join(args) + "\n")


if __name__ == "__main__":
    main()
