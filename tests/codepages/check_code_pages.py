#!/usr/bin/python3
"""Every corpus table whose code-page mark names a page (any mark but 0 and
0x03) converted with /utf8 to CSV, JSON and XML: every character value must
equal python3-dbfread's decoding of the table, which follows the mark. Then
the same for a copy whose mark is set to a wrong page, converted with /CP:n
naming the right one.

    /usr/bin/python3 check_code_pages.py --tabrix PATH/tabrix --corpus PATH/corpus

A copy of cp1251.dbf re-encoded in DOS page 866 and marked so is checked
too. Tables dbfread cannot read with their mark (unknown marks, level 7
headers) are listed as skipped; at least one table of a Windows, a DOS and a
double-byte page must be checked, so an emptied corpus cannot pass.
"""
import argparse
import csv
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import dbfread

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import null_flags  # noqa: E402
from tabrix_env import isolated  # noqa: E402

FORMATS = ("csv", "json", "xml")
NULL = object()  # a field whose null flag is set
DOUBLE_BYTE = {932, 936, 949, 950}
DOS_PAGES = {437, 737, 850, 852, 857, 860, 861, 863, 865, 866}


class TextParser(dbfread.FieldParser):
    """Numbers dbfread cannot read do not hide a table's text."""

    def parseN(self, field, data):
        try:
            return super().parseN(field, data)
        except ValueError:
            return None


def expected_rows(path):
    """dbfread's records (deleted ones left out, as the outputs do), each a
    dict of the character fields' texts without surrounding blanks, or None
    when dbfread cannot decode the table with its mark."""
    try:
        table = dbfread.DBF(path, ignore_missing_memofile=True, char_decode_errors="strict",
                             parserclass=TextParser)
        names = [f.name for f in table.fields if f.type == "C"]
        positions = {f.name: i for i, f in enumerate(table.fields)}
        nulls = live_record_nulls(path)
        rows = [{n: NULL if nulls and positions[n] in nulls[k] else (r[n] or "").strip(" ") for n in names}
                for k, r in enumerate(table)]
    except Exception as error:  # noqa: BLE001 - any table dbfread cannot read is skipped and listed
        return None, None, str(error)
    return int(table.encoding[2:]) if table.encoding.startswith("cp") else None, rows, ""


def live_record_nulls(path):
    """The NULL field indexes of each record that is not deleted; None without null flags."""
    per_record = null_flags.null_fields(path)
    if per_record is None:
        return None
    with open(path, "rb") as f:
        data = f.read()
    header_length, record_length = struct.unpack_from("<HH", data, 8)
    return [fields for r, fields in enumerate(per_record) if data[header_length + r * record_length] != ord("*")]


def run(tabrix, source, output, extra):
    args = [tabrix, source, output, "/utf8", "/HDR", "/ALLQUOTAS"] + extra
    result = subprocess.run(args, capture_output=True, env=isolated(dict(os.environ, LC_ALL="C")))
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(args[1:])} exited {result.returncode}: "
                             f"{result.stderr.decode('utf-8', 'replace').strip()}")
    if output.endswith(".dbf"):
        return None
    with open(output, "rb") as f:
        data = f.read()
    return data.decode("utf-8-sig")


def read_rows(kind, text):
    """The output's records as dicts of field name to value."""
    if kind == "csv":
        rows = list(csv.reader(io.StringIO(text, newline="")))
        return [dict(zip(rows[0], r)) for r in rows[1:]]
    if kind == "json":
        return json.loads(text)
    records = ElementTree.fromstring(text).find("Records")
    return [{c.tag: (c.text or "") for c in r} for r in records]


def compare(label, expected, got, problems):
    if len(got) != len(expected):
        problems.append(f"{label}: {len(got)} records, dbfread reads {len(expected)}")
        return
    for i, (want, row) in enumerate(zip(expected, got)):
        for name, text in want.items():
            value = row.get(name, "")
            if text is NULL:
                if value is not NULL and value not in ("", None):  # empty CSV value or XML element, JSON null
                    problems.append(f"{label}: record {i} {name}: {value!r} for NULL")
                    return
                continue
            value = str(value).strip(" ")
            if value != text:
                problems.append(f"{label}: record {i} {name}: {value!r}, dbfread {text!r}")
                return


def wrong_mark_for(code_page):
    # A Cyrillic page for every table, except Cyrillic ones, which get a Greek page.
    return 0xCB if code_page in (1251, 866) else 0xC9


def dos_copy(source, target):
    """A copy of a Windows-1251 table with its character fields re-encoded in
    DOS page 866 and marked 0x26, so a DOS page's text is checked too (the
    corpus's DOS-marked tables hold ASCII text only)."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    header_length = int.from_bytes(data[8:10], "little")
    record_length = int.from_bytes(data[10:12], "little")
    count = int.from_bytes(data[4:8], "little")
    fields, offset, at = [], 1, 32
    while data[at] != 0x0D:
        length = data[at + 16]
        if data[at + 11] == ord("C"):
            fields.append((offset, length))
        offset += length
        at += 32
    for record in range(count):
        start = header_length + record * record_length
        for field_offset, length in fields:
            begin = start + field_offset
            data[begin:begin + length] = bytes(data[begin:begin + length]).decode("cp1251").encode("cp866")
    data[29] = 0x26
    with open(target, "wb") as f:
        f.write(data)


def check_table(tabrix, path, relative, work, result):
    """Converts the table and a wrongly marked copy with /CP:n; every problem
    goes to result["problems"]."""
    with open(path, "rb") as f:
        mark = f.read(32)[29]
    code_page, expected, why = expected_rows(path)
    if expected is None or code_page is None:
        result["skipped"].append(f"{relative} (mark 0x{mark:02X}: {why or 'not a code page'})")
        return
    # Each table in a folder of its own, with its memo file, so outputs never collide.
    unit = os.path.join(work, str(len(result["checked"])))
    os.mkdir(unit)
    folder, name = os.path.split(path)
    stem = os.path.splitext(name)[0]
    for sibling in os.listdir(folder):
        if os.path.splitext(sibling)[0] == stem:
            shutil.copy(os.path.join(folder, sibling), unit)
            shutil.copy(os.path.join(folder, sibling), os.path.join(unit, "wrong_" + sibling))
    wrong = os.path.join(unit, "wrong_" + name)
    with open(wrong, "r+b") as f:
        f.seek(29)
        f.write(bytes([wrong_mark_for(code_page)]))
    problems = result["problems"]
    try:
        for kind in FORMATS:
            out = os.path.join(unit, f"{stem}.{kind}")
            compare(f"{relative} {kind}", expected, read_rows(kind, run(tabrix, os.path.join(unit, name), out, [])),
                    problems)
            out = os.path.join(unit, f"wrong.{kind}")
            compare(f"{relative} {kind} /CP:{code_page}", expected,
                    read_rows(kind, run(tabrix, wrong, out, [f"/CP:{code_page}"])), problems)
        # A DBF output copies the text as stored and takes the mark of the page named for it.
        out = os.path.join(unit, "wrong_out.dbf")
        run(tabrix, wrong, out, [f"/CP:{code_page}"])
        compare(f"{relative} dbf /CP:{code_page}", expected, expected_rows(out)[1] or [], problems)
    except (AssertionError, ValueError, ElementTree.ParseError) as error:
        problems.append(f"{relative}: {error}")
    result["checked"].append((relative, code_page))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--corpus", required=True)
    args = parser.parse_args()
    corpus = os.environ.get("TABRIX_CORPUS", args.corpus)

    result = {"problems": [], "checked": [], "skipped": []}
    with tempfile.TemporaryDirectory() as work:
        for folder, _, files in sorted(os.walk(corpus)):
            for name in sorted(files):
                path = os.path.join(folder, name)
                if not name.lower().endswith(".dbf") or os.path.getsize(path) < 32:
                    continue
                with open(path, "rb") as f:
                    if f.read(32)[29] in (0x00, 0x03):
                        continue
                check_table(args.tabrix, path, os.path.relpath(path, corpus), work, result)
        dos_folder = os.path.join(work, "dos")
        os.mkdir(dos_folder)
        dos_table = os.path.join(dos_folder, "cp866.dbf")
        dos_copy(os.path.join(corpus, "infused-dbf", "cp1251.dbf"), dos_table)
        check_table(args.tabrix, dos_table, "infused-dbf/cp1251.dbf in DOS page 866", work, result)

    for relative, code_page in result["checked"]:
        print(f"checked {relative} (code page {code_page})")
    for line in result["skipped"]:
        print(f"skipped {line}")
    problems = result["problems"]
    pages = {cp for _, cp in result["checked"]}
    if not pages & DOUBLE_BYTE or not pages & DOS_PAGES or not pages - DOUBLE_BYTE - DOS_PAGES:
        problems.append(f"the corpus gave too few kinds of code page: {sorted(pages)}")
    for line in problems:
        print(f"FAIL {line}")
    print(f"{len(result['checked'])} tables checked, {len(result['skipped'])} skipped, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
