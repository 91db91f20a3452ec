#!/usr/bin/python3
"""Checks the XML, SpreadsheetML and JSON outputs with real parsers.

    /usr/bin/python3 check_markup_outputs.py --tabrix PATH/tabrix --dump PATH/table_dump
        --golden tests/data/golden --samples samples --corpus PATH/corpus

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. Every run
is in the C locale (dates MM/DD/YYYY) with ANSI code page 1252.

1. The golden XML cases: folders of --golden holding cli_args (the command-line
   words, {in} standing for the table) and expected. Their expected bytes hold
   {in} where the table's absolute path goes, which differs per run, so they run
   here rather than with the other golden cases.
2. Every fixture table (--samples and the golden tables) and every readable
   table of the corpus (copied to a temporary folder first) is converted with
   /EXPORTALL to CSV, XML, JSON with and without /utf8, and SpreadsheetML (.xls
   with /ASXML) with and without /utf8. Each table is one unit; it fails when
   - a run exits otherwise than 0 (or 1 with the warning for a table whose
     header counts more records than the file holds);
   - xmllint finds an XML or SpreadsheetML output not well-formed, or jq cannot
     parse a JSON output;
   - the number of record elements, JSON objects (counted by jq) or spreadsheet
     rows (plus the header row) differs from the records table_dump walks;
   - JSON without /utf8 holds a byte above 0x7F, or parses to other values than
     with /utf8; the two spreadsheets parse to different cells;
   - a JSON key is not the column's title, an XML element name differs from a
     title that is a plain XML name, or a spreadsheet header cell from the title;
   - a value differs between the outputs: JSON against the CSV of the same table
     (line breaks, tabs and outer blanks aside, doubles to six places), XML and
     SpreadsheetML cells against the JSON value by the rules of each format.
3. An .xlsx output with /ASXML is written as a well-formed .xml file beside it.
"""
import argparse
import collections
import concurrent.futures
import csv
import datetime
import hashlib
import io
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
import check_corpus as cc  # noqa: E402
import check_corpus_outputs as cco  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

SS = "{urn:schemas-microsoft-com:office:spreadsheet}"
NUMBER_TYPES = ("+", "B", "F", "I", "N", "O", "Y")
PLAIN_XML_NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_.-]*\Z")
NUMBER_TEXT = re.compile(r"-?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\Z")
LOCAL_DATE = re.compile(r"(\d\d)/(\d\d)/(\d{4})\Z")
LOCAL_DATE_TIME = re.compile(r"(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d)\Z")
CONTROL = re.compile(r"[\x00-\x08\x0b\x0c\x0e-\x1f]")

OUTPUTS = (  # file, extra switches
    ("out.csv", ["/HDR"]),
    ("out.xml", []),
    ("out.json", []),
    ("utf8.json", ["/utf8"]),
    ("out.xls", ["/ASXML"]),
    ("utf8.xls", ["/ASXML", "/utf8"]),
)


def environment(settings):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
    env.update(LANG="C", LC_ALL="C", TABRIX_ANSI_CP="1252", TABRIX_OEM_CP="437", TABRIX_SETTINGS=settings)
    return env


def run_tabrix(tabrix, words, workdir, env):
    return subprocess.run([tabrix] + words, cwd=workdir, env=isolated(env), capture_output=True, timeout=120)


def ansi_text(raw, page):
    """Bytes of the table's Windows page as the converter gives them: bytes without a character become '?'."""
    return raw.decode(page, errors="replace").replace("\ufffd", "?")


def parsed_newlines(text):
    """Line ends as an XML parser hands them over."""
    return text.replace("\r\n", "\n").replace("\r", "\n")


def xml_text(text):
    """A value as the XML outputs write it: control characters become '?'."""
    return parsed_newlines(CONTROL.sub("?", text))


# ---------------------------------------------------------------- golden XML cases


def run_golden_xml(tabrix, golden, temp, env):
    failures = []
    cases = sorted(d for d in os.listdir(golden) if os.path.exists(os.path.join(golden, d, "cli_args")))
    for case in cases:
        folder = os.path.join(temp, "golden", case)
        shutil.copytree(os.path.join(golden, case), folder)
        table = os.path.join(folder, "table.dbf")
        with open(os.path.join(folder, "cli_args"), encoding="utf-8") as f:
            words = [w for w in f.read().split("\n") if w]
        words = [table if w == "{in}" else w for w in words]
        result = run_tabrix(tabrix, words, folder, env)
        output = os.path.join(folder, next(w for w in words[1:] if not w.startswith("/")))
        with open(os.path.join(folder, "expected"), "rb") as f:
            expected = f.read().replace(b"{in}", table.encode())
        if result.returncode != 0:
            failures.append(f"{case}: exit {result.returncode}: {result.stderr.decode(errors='replace')}")
        elif not os.path.exists(output):
            failures.append(f"{case}: no output")
        else:
            with open(output, "rb") as f:
                actual = f.read()
            if actual != expected:
                at = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                          min(len(actual), len(expected)))
                failures.append(f"{case}: differs at byte {at}: got {actual[at:at + 80]!r}, "
                                f"expected {expected[at:at + 80]!r}")
    return len(cases), failures


# ---------------------------------------------------------------- expected cells


def spreadsheet_cell(ftype, value):
    """(type, text) of the spreadsheet cell for a JSON value; (None, "") for an empty date cell."""
    if ftype == "M":
        return "String", xml_text(value.replace("\r", " ").replace("\n", " ").replace("\t", " "))
    if ftype == "D":
        if value == "":
            return None, ""
        m = LOCAL_DATE.match(value)
        if m:
            month, day, year = map(int, m.groups())
            try:
                if year >= 1000:
                    return "DateTime", datetime.date(year, month, day).isoformat() + "T00:00:00.000"
            except ValueError:
                pass
        return "String", xml_text(value)
    if ftype in ("T", "@"):
        if value == "":
            return None, ""
        m = LOCAL_DATE_TIME.match(value)
        if m and int(m.group(3)) >= 1000:
            month, day, year, hour, minute, _ = map(int, m.groups())
            return "DateTime", f"{year:04}-{month:02}-{day:02}T{hour:02}:{minute:02}:00.000"
        return "String", xml_text(value)
    if ftype in NUMBER_TYPES and NUMBER_TEXT.match(value):
        return "Number", value
    return "String", xml_text(value)


def xml_value(ftype, value):
    """The text of a value element for a JSON value."""
    if ftype == "M":
        return xml_text(value.replace("\t", " ").rstrip(" ").replace("\r\n", "<br />"))
    return xml_text(value)


def same_as_csv(ftype, value, cell):
    """The CSV turns line breaks of character values and memos (and tabs of
    memos) into blanks; the csv module reads every value back as it is otherwise."""
    def norm(text):
        return text.replace("\t", " ").strip(" ")
    if ftype in ("B", "O"):
        try:
            return math.isclose(float(value), float(cell), rel_tol=1e-9, abs_tol=1e-6)
        except ValueError:
            pass
    written = value.replace("\r", " ").replace("\n", " ") if ftype in ("C", "M") else value
    if ftype == "M":
        written = written.replace("\t", " ")
    return norm(written) == norm(cell)


# ---------------------------------------------------------------- one table


def read_json(unit, name, raw):
    try:
        return json.loads(raw.decode("utf-8"), object_pairs_hook=list)
    except (UnicodeDecodeError, json.JSONDecodeError) as e:
        unit.fail(f"{name}: python cannot parse it: {e}")
        return None


def read_xml(unit, name, path):
    try:
        try:
            return ET.parse(path).getroot()
        except LookupError as e:
            # Python knows windows-874 (a registered name, which libxml2 reads) only as cp874.
            if "windows-874" not in str(e):
                raise
            return ET.parse(path, ET.XMLParser(encoding="cp874")).getroot()
    except ET.ParseError as e:
        unit.fail(f"{name}: python cannot parse it: {e}")
        return None


def spreadsheet_rows(unit, name, root):
    """The rows of the sheet as lists of (type, text)."""
    table = root.find(f"{SS}Worksheet/{SS}Table")
    if table is None:
        unit.fail(f"{name}: no Worksheet/Table")
        return None
    rows = []
    for row in table.findall(f"{SS}Row"):
        cells = []
        for cell in row.findall(f"{SS}Cell"):
            data = cell.find(f"{SS}Data")
            cells.append((None, "") if data is None else (data.get(f"{SS}Type"), data.text or ""))
        rows.append(cells)
    return rows


def csv_rows(raw, records, columns, page):
    """The CSV records, or None when they do not split into one row of all columns per record."""
    rows = list(csv.reader(io.StringIO(ansi_text(raw, page), newline="")))
    if len(rows) != records + 1 or any(len(r) != columns for r in rows[1:]):
        return None
    return rows[1:]


def check_values(unit, kinds, titles, objects, root, sheet, csv_records):
    records = root.find("Records")
    for n, pairs in enumerate(objects):
        keys = [k for k, _ in pairs]
        if keys != titles:
            unit.fail(f"json record {n}: keys {keys[:5]}, expected {titles[:5]}")
            continue
        values = [v for _, v in pairs]
        elements = list(records[n]) if records is not None and n < len(records) else None
        if elements is None or len(elements) != len(titles):
            unit.fail(f"xml record {n}: {None if elements is None else len(elements)} value elements, "
                      f"expected {len(titles)}")
            elements = None
        cells = sheet[n + 1] if sheet is not None and n + 1 < len(sheet) else None
        if cells is not None and len(cells) != len(titles):
            unit.fail(f"spreadsheet row {n + 1}: {len(cells)} cells, expected {len(titles)}")
            cells = None
        for c, (ftype, title, value) in enumerate(zip(kinds, titles, values)):
            where = f"record {n} {title} ({ftype})"
            if value is None:
                # JSON null: an XML element marked null, a cell without data, an empty CSV value.
                shown = (elements is None or (elements[c].get("null") == "true" and not elements[c].text),
                         cells is None or cells[c] == (None, ""),
                         csv_records is None or csv_records[n][c] == "")
                if all(shown):
                    unit.compared += 1
                else:
                    unit.fail(f"{where}: null shown as xml/spreadsheet/csv {shown}")
                continue
            if elements is not None:
                element = elements[c]
                if PLAIN_XML_NAME.match(title) and element.tag != title:
                    unit.fail(f"{where}: xml element {element.tag!r}")
                want = xml_value(ftype, value)
                if (element.text or "") != want:
                    unit.fail(f"{where}: xml {element.text!r}, expected {want!r}")
                else:
                    unit.compared += 1
            if cells is not None:
                want = spreadsheet_cell(ftype, value)
                if cells[c] != want:
                    unit.fail(f"{where}: spreadsheet {cells[c]!r}, expected {want!r}")
                else:
                    unit.compared += 1
            if csv_records is not None:
                if not same_as_csv(ftype, value, csv_records[n][c]):
                    unit.fail(f"{where}: json {value[:100]!r}, csv {csv_records[n][c][:100]!r}")
                else:
                    unit.compared += 1


def check_table(tabrix, dump, xmllint, jq, name, path, workdir, env):
    unit = cc.Unit(name)
    result = subprocess.run([dump, "--max", "0", path], capture_output=True, timeout=120)
    ours = json.loads(result.stdout.decode("ascii")) if result.returncode == 0 else None
    if ours is None or not ours["ok"]:
        unit.fail(f"table_dump: {result.stderr.decode(errors='replace') if ours is None else ours['error']}")
        return unit
    memos_lost = cco.memo_file_lacks_memos(path, deleted_too=True)
    # Text is written in the Windows page the table's mark names, Windows-1252 without one.
    pages = cco.text_pages(path)
    page = pages[1] if pages else "cp1252"
    if not path.lower().endswith(".dbf"):
        path = cco.dbf_alias(path, ours, workdir)
    records = ours["recordCount"]
    columns = [f for f in ours["fields"] if not f["excluded"]]
    kinds = [f["type"] for f in columns]
    titles = [ansi_text(cco.as_written(cc.raw(f["name"]), pages), page) for f in columns]

    raw = {}
    for output, switches in OUTPUTS:
        target = os.path.join(workdir, output)
        if os.path.exists(target):
            os.remove(target)
        result = run_tabrix(tabrix, [path, output, "/EXPORTALL"] + switches, workdir, env)
        cco.check_exit(unit, output, result, ours, memos_lost)
        if not os.path.exists(target):
            unit.fail(f"{output}: not written")
            return unit
        with open(target, "rb") as f:
            raw[output] = f.read()

    markup = [os.path.join(workdir, o) for o in ("out.xml", "out.xls", "utf8.xls")]
    lint = subprocess.run([xmllint, "--noout"] + markup, capture_output=True, timeout=300)
    if lint.returncode != 0:
        unit.fail(f"xmllint: {lint.stderr.decode(errors='replace')[:400]}")
        return unit
    counted = subprocess.run([jq, "length", "out.json", "utf8.json"], cwd=workdir, capture_output=True, timeout=300)
    if counted.returncode != 0 or counted.stdout.split() != [str(records).encode()] * 2:
        unit.fail(f"jq: objects {counted.stdout.split()}, expected {records} in each; "
                  f"{counted.stderr.decode(errors='replace')[:300]}")
        return unit

    if any(b >= 0x80 for b in raw["out.json"]):
        unit.fail("out.json holds bytes above 0x7F without /utf8")
    objects = read_json(unit, "out.json", raw["out.json"])
    if objects is not None and read_json(unit, "utf8.json", raw["utf8.json"]) != objects:
        unit.fail("utf8.json parses to other values than out.json")
    root = read_xml(unit, "out.xml", markup[0])
    sheet_root = read_xml(unit, "out.xls", markup[1])
    sheet = spreadsheet_rows(unit, "out.xls", sheet_root) if sheet_root is not None else None
    utf8_root = read_xml(unit, "utf8.xls", markup[2])
    if sheet is not None and utf8_root is not None and spreadsheet_rows(unit, "utf8.xls", utf8_root) != sheet:
        unit.fail("utf8.xls parses to other cells than out.xls")
    if objects is None or root is None:
        return unit

    xml_records = root.find("Records")
    if xml_records is None or len(xml_records) != records:
        unit.fail(f"xml: {None if xml_records is None else len(xml_records)} record elements, expected {records}")
        return unit
    if sheet is not None:
        if len(sheet) != records + 1:
            unit.fail(f"spreadsheet: {len(sheet)} rows, expected {records} records and the header row")
            sheet = None
        elif sheet[0] != [("String", xml_text(t)) for t in titles]:
            unit.fail(f"spreadsheet header row {sheet[0][:5]}, expected titles {titles[:5]}")
    csv_records = csv_rows(raw["out.csv"], records, len(columns), page)
    if csv_records is None:
        unit.skip("csv values not compared: a value holds a line break or does not split")
    check_values(unit, kinds, titles, objects, root, sheet, csv_records)
    return unit


def check_xlsx_as_xml(tabrix, xmllint, table, workdir, env):
    """The spreadsheet asked for as .xlsx goes to the same name with .xml."""
    for name in ("book.xlsx", "book.xml"):
        if os.path.exists(os.path.join(workdir, name)):
            os.remove(os.path.join(workdir, name))
    result = run_tabrix(tabrix, [table, "book.xlsx", "/ASXML"], workdir, env)
    written = os.path.join(workdir, "book.xml")
    if result.returncode != 0 or not os.path.exists(written) or os.path.exists(os.path.join(workdir, "book.xlsx")):
        return [f"xlsx with /ASXML: exit {result.returncode}, book.xml written: {os.path.exists(written)}, "
                f"book.xlsx written: {os.path.exists(os.path.join(workdir, 'book.xlsx'))}"]
    lint = subprocess.run([xmllint, "--noout", written], capture_output=True)
    return [] if lint.returncode == 0 else [f"xlsx with /ASXML: {lint.stderr.decode(errors='replace')[:300]}"]


def fixture_tables(golden, samples, temp):
    """The sample table and the distinct golden tables, each in a folder of its own with its memo file."""
    sources = [os.path.join(samples, "clients.dbf")]
    sources += sorted(os.path.join(golden, d, "table.dbf") for d in os.listdir(golden)
                      if os.path.exists(os.path.join(golden, d, "table.dbf")))
    seen, tables = set(), []
    for source in sources:
        folder = os.path.dirname(source)
        stem = os.path.splitext(os.path.basename(source))[0]
        files = sorted(f for f in os.listdir(folder) if os.path.splitext(f)[0] == stem)
        digest = hashlib.sha256()
        for f in files:
            with open(os.path.join(folder, f), "rb") as data:
                digest.update(data.read())
        if digest.digest() in seen:
            continue
        seen.add(digest.digest())
        target = os.path.join(temp, "fixtures", os.path.basename(folder))
        os.makedirs(target)
        for f in files:
            shutil.copyfile(os.path.join(folder, f), os.path.join(target, f))
        shown = os.path.relpath(source, os.path.dirname(os.path.dirname(os.path.dirname(golden))))
        tables.append((shown, os.path.join(target, os.path.basename(source))))
    return tables


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--dump", required=True, help="path of the table_dump executable")
    parser.add_argument("--golden", required=True, help="folder of the golden cases")
    parser.add_argument("--samples", required=True, help="folder holding clients.dbf")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--only", help="check only tables whose path contains this text")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--jobs", type=int, default=2, help="tables checked at the same time")
    args = parser.parse_args()
    csv.field_size_limit(sys.maxsize)
    tabrix, dump = os.path.abspath(args.tabrix), os.path.abspath(args.dump)
    golden, samples = os.path.abspath(args.golden), os.path.abspath(args.samples)
    xmllint, jq = shutil.which("xmllint"), shutil.which("jq")
    if not xmllint or not jq:
        sys.exit("markup check FAILED: xmllint (libxml2-utils) and jq must be installed")
    corpus = cc.corpus_folder(args.corpus)

    failed_lines = []
    with tempfile.TemporaryDirectory(prefix="tabrix-markup-") as temp:
        env = environment(os.path.join(temp, "settings.reg"))
        golden_count, golden_failures = run_golden_xml(tabrix, golden, temp, env)
        failed_lines += [f"FAIL golden {m}" for m in golden_failures]
        print(f"golden xml cases: {golden_count - len(golden_failures)} of {golden_count} passed")

        workdir = os.path.join(temp, "work")
        os.mkdir(workdir)
        tables = fixture_tables(golden, samples, temp)
        failed_lines += [f"FAIL {m}" for m in check_xlsx_as_xml(tabrix, xmllint, tables[0][1], workdir, env)]
        root = os.path.join(temp, "corpus")
        cc.copy_corpus(corpus, root)
        tables += [(t, os.path.join(root, t)) for t in cc.find_tables(root) if t not in cc.UNREADABLE]
        tables = [(n, (name, path)) for n, (name, path) in enumerate(tables) if not args.only or args.only in name]

        def check(numbered):
            n, (name, path) = numbered
            folder = os.path.join(workdir, str(n))
            os.mkdir(folder)
            unit = check_table(tabrix, dump, xmllint, jq, name, path, folder, env)
            shutil.rmtree(folder)
            return unit

        # The work is mostly waiting for the programs it runs.
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            units = list(pool.map(check, tables))

    skipped = collections.Counter()
    for unit in units:
        skipped.update(unit.skipped)
        if args.verbose:
            print(f"{'FAIL' if unit.failures else 'ok  '} {unit.name}: {unit.compared} compared")
        if unit.failures:
            failed_lines.append(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
            failed_lines += [f"    {m}" for m in unit.failures[:cc.MAX_MESSAGES]]
    print("\n".join(failed_lines))
    print(f"values compared: {sum(u.compared for u in units)}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    failed = sum(1 for u in units if u.failures)
    print(f"{len(units) - failed} tables passed, {failed} failed")
    return 1 if failed_lines or not units else 0


if __name__ == "__main__":
    sys.exit(main())
