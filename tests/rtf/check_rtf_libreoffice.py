#!/usr/bin/python3
"""Opens Tabrix's RTF outputs in a real client: every fixture table and every
readable table of the third-party corpus is converted to RTF with the tabrix
command line, LibreOffice turns all the documents into plain text, and the
text of each must be exactly the table's cells. LibreOffice 7.4 converts only
the first 246 files named on one command line, so the documents go to it in
runs of 200, one after the other with the same profile.

    /usr/bin/python3 check_rtf_libreoffice.py --tabrix PATH/tabrix --dump PATH/table_dump \\
        --fixtures PATH/tests/data/golden --corpus PATH/corpus [--soffice soffice]

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. The
corpus is copied to a temporary folder first (opening a table creates its
missing memo file). Each table runs as `tabrix TABLE tNNNN.rtf /EXPORTALL
/last:N` in the C locale (dates MM/DD/YYYY, every record written, the deleted
ones too, but only the last N = --records of the walk, 200 by default:
LibreOffice lays out a table of thousands of rows slowly, and a few large
tables would take most of the run).

LibreOffice's text of a document holds one line per paragraph of each cell,
row by row: a header cell is an empty paragraph and the field's name, a
record cell its value; a line break inside a value starts a new line; an
empty paragraph follows the table. The expected text is built from the
table itself:
  - the names and the values of all types but dates come from table_dump (the
    reader's text of each value, which the RTF writer takes), trimmed of
    blanks; memo fields show "Memo" or nothing, as that text does;
  - dates and date-times come from Tabrix's CSV output of the same table in
    the same locale (table_dump writes them in another order); a blank date
    is empty in both;
  - the bytes are in the Windows code page the table's mark names (1252 for
    a table without one): a byte that page leaves undefined may come back as
    any one character; a control byte other than tab and line
    breaks as one character or none (LibreOffice drops most of them and
    shows some, 0x13 as "0").
A document that LibreOffice did not turn into text fails its table.
"""
import argparse
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
CORPUS_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus")
sys.path.insert(0, CORPUS_TESTS)
import check_corpus as cc  # noqa: E402
import check_corpus_outputs as cco  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

DATE_TYPES = ("D", "T", "@")
# Stand for a byte the code page leaves undefined (any one character) and
# for a control byte (any one character or none).
ANY = "\uFFFF"
ANY_OR_NONE = "\uFFFE"
# A line whose text is not known: a date when the CSV could not be read.
ANY_LINE = "\uFFFD\uFFFF"
BATCH = 200


def run(command, workdir, timeout=300):
    env = isolated(dict(os.environ, LANG="C", LC_ALL="C"))
    return subprocess.run(command, cwd=workdir, env=env, capture_output=True, timeout=timeout)


def client_text(raw, pages=None):
    """The text LibreOffice shows for the bytes of a value (latin-1 string) of
    a table whose text pages are pages (cco.text_pages): the bytes in the
    table's Windows page, a byte that page leaves undefined any one character."""
    out = []
    data = cco.as_written(raw.encode("latin-1"), pages)
    codec = pages[1] if pages else "cp1252"
    run_start = None

    def flush(end):
        if run_start is not None:
            out.append(data[run_start:end].decode(codec, errors="replace").replace("\uFFFD", ANY))

    i = 0
    while i < len(data):
        b = data[i]
        if b >= 0x20:
            if run_start is None:
                run_start = i
            i += 1
            continue
        flush(i)
        run_start = None
        if data[i:i + 2] == b"\r\n":
            out.append("\n")
            i += 1
        elif b in (0x0D, 0x0A):
            out.append("\n")
        elif b == 0x09:
            out.append("\t")
        else:
            out.append(ANY_OR_NONE)
        i += 1
    flush(len(data))
    return "".join(out)


def shown_value(raw, pages=None):
    """A value as the RTF output writes it: trimmed of blanks."""
    return client_text(raw.strip(" "), pages)


class Table:
    """One table: its converted document and the lines its text must hold."""

    def __init__(self, name, source, rtf):
        self.name = name
        self.source = source
        self.rtf = rtf
        self.unit = cc.Unit(name)
        self.lines = None
        self.cells = 0


def csv_dates(unit, tabrix, source, workdir, ours, columns, limit):
    """{(record, column): text} of the date and date-time cells of Tabrix's CSV output."""
    wanted = [c for c, i in enumerate(columns) if ours["fields"][i]["type"] in DATE_TYPES]
    if not wanted:
        return {}
    path = os.path.join(workdir, "dates.csv")
    if os.path.exists(path):
        os.remove(path)
    run([tabrix, source, path, "/EXPORTALL", limit], workdir)
    if not os.path.exists(path):
        unit.fail("csv: no output written for the dates")
        return None
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    lines = text.split("\r\n")
    if len(lines) != len(ours["records"]) + (0 if ours["records"] else 1):
        unit.skip("dates not compared: the CSV lines do not match the records")
        return None
    dates = {}
    for n, line in enumerate(lines[: len(ours["records"])]):
        try:
            row = next(csv.reader([line]), []) if line else []
        except csv.Error:
            row = None
        if row is None or len(row) != len(columns):
            unit.skip("dates not compared: a CSV line does not split into its columns")
            return None
        for c in wanted:
            dates[(n, c)] = row[c]
    return dates


def expected_lines(ours, columns, dates, pages):
    lines = []
    for i in columns:
        lines += ["", client_text(ours["fields"][i]["name"], pages)]
    for n, record in enumerate(ours["records"]):
        for c, i in enumerate(columns):
            if i in record["nulls"]:
                text = ""  # NULL: an empty cell
            elif ours["fields"][i]["type"] in DATE_TYPES:
                text = ANY_LINE if dates is None else client_text(dates[(n, c)])
            else:
                text = shown_value(record["values"][i], pages)
            lines += text.split("\n")
    return lines + [""]


def prepare(table, tabrix, dump, workdir, records):
    """Converts the table to RTF and works out the lines its text must hold."""
    unit = table.unit
    ours, error = cc.run_dump(dump, table.source)
    if ours is None or not ours["ok"]:
        unit.fail(error or f"does not open: {ours['error']}")
        return
    limit = f"/last:{records}"
    source = table.source
    if not source.lower().endswith(".dbf"):
        source = cco.dbf_alias(source, ours, workdir)
    result = run([tabrix, source, table.rtf, "/EXPORTALL", limit], workdir)
    cco.check_exit(unit, "rtf", result, ours)
    ours = dict(ours, records=ours["records"][-records:])
    if not os.path.exists(table.rtf):
        unit.fail("rtf: no output written")
        return
    columns = cco.exported_columns(ours)
    if not columns:
        unit.skip("no exported column: the document holds empty rows only, only its opening is checked")
        return
    dates = csv_dates(unit, tabrix, source, workdir, ours, columns, limit)
    table.lines = expected_lines(ours, columns, dates, cco.text_pages(source))
    table.cells = len(columns) * (1 + len(ours["records"]))


def line_matches(got, want):
    if want == ANY_LINE:
        return True
    if ANY not in want and ANY_OR_NONE not in want:
        return got == want
    pattern = "".join(".?" if c == ANY_OR_NONE else "." if c == ANY else re.escape(c) for c in want)
    return re.fullmatch(pattern, got, re.S) is not None


def compare(table, text):
    unit = table.unit
    if text.startswith("\ufeff"):
        text = text[1:]
    if not text.endswith("\n"):
        unit.fail(f"text does not end with a line break: {text[-80:]!r}")
        return
    got = text[:-1].split("\n")
    want = table.lines
    for k, (g, w) in enumerate(zip(got, want)):
        if not line_matches(g, w):
            unit.fail(f"line {k + 1}: {g[:120]!r}, expected {w[:120]!r}")
            return
    if len(got) != len(want):
        unit.fail(f"{len(got)} lines, expected {len(want)}; from line {min(len(got), len(want)) + 1}: "
                  f"{got[len(want):len(want) + 3]!r} / {want[len(got):len(got) + 3]!r}")
        return
    unit.compared += table.cells


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True, help="path of the tabrix executable")
    parser.add_argument("--dump", required=True, help="path of the table_dump executable")
    parser.add_argument("--fixtures", required=True, help="the golden cases folder (tests/data/golden)")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--soffice", default="soffice", help="the LibreOffice program")
    parser.add_argument("--records", type=int, default=200, help="the last N records of each table (default 200)")
    parser.add_argument("--only", help="check only tables whose name contains this text")
    parser.add_argument("--verbose", action="store_true", help="list every table")
    args = parser.parse_args()
    csv.field_size_limit(sys.maxsize)
    soffice = shutil.which(args.soffice)
    if soffice is None:
        sys.exit(f"RTF check FAILED: LibreOffice ({args.soffice}) not found; install libreoffice-writer-nogui")
    corpus = cc.corpus_folder(args.corpus)
    tabrix = os.path.abspath(args.tabrix)
    dump = os.path.abspath(args.dump)

    with tempfile.TemporaryDirectory(prefix="tabrix-rtf-") as temp:
        fixtures = os.path.join(temp, "fixtures")
        root = os.path.join(temp, "corpus")
        workdir = os.path.join(temp, "work")
        documents = os.path.join(temp, "rtf")
        texts = os.path.join(temp, "txt")
        shutil.copytree(args.fixtures, fixtures)
        cc.copy_corpus(corpus, root)
        for folder in (workdir, documents):
            os.mkdir(folder)

        tables = []
        sources = [(f"fixture {c}/table.dbf", os.path.join(fixtures, c, "table.dbf"))
                   for c in cc.distinct_golden_cases(fixtures)]
        skipped = []
        for t in cc.find_tables(root):
            if t in cc.UNREADABLE:
                skipped.append(t)
            else:
                sources.append((t, os.path.join(root, t)))
        if args.only:
            sources = [(name, source) for name, source in sources if args.only in name]
        for n, (name, source) in enumerate(sources):
            table = Table(name, source, os.path.join(documents, f"t{n:04d}.rtf"))
            prepare(table, tabrix, dump, workdir, args.records)
            tables.append(table)

        started = time.monotonic()
        profile = "file://" + os.path.join(temp, "profile")
        rtfs = sorted(os.path.join(documents, name) for name in os.listdir(documents))
        for first in range(0, len(rtfs), BATCH):
            result = subprocess.run([soffice, "--headless", "--norestore", f"-env:UserInstallation={profile}",
                                     "--convert-to", "txt:Text", "--outdir", texts] + rtfs[first:first + BATCH],
                                    capture_output=True, timeout=600)
            if result.returncode != 0:
                print(f"LibreOffice exited with {result.returncode}: "
                      f"{result.stderr.decode(errors='replace')[-500:]}")
        seconds = time.monotonic() - started

        for table in tables:
            if not os.path.exists(table.rtf):
                continue
            path = os.path.join(texts, os.path.splitext(os.path.basename(table.rtf))[0] + ".txt")
            if not os.path.exists(path):
                table.unit.fail("LibreOffice did not open the document (no text came out)")
                continue
            if table.lines is None:
                continue
            with open(path, "rb") as f:
                compare(table, f.read().decode("utf-8"))

    for table in tables:
        unit = table.unit
        if args.verbose:
            print(f"{'FAIL' if unit.failures else 'ok  '} {unit.name}: {unit.compared} cells")
        if unit.failures:
            print(f"FAIL {unit.name}: " + "; ".join(unit.failures[:cc.MAX_MESSAGES]))
        for reason, count in unit.skipped.items():
            print(f"skipped in {unit.name}: {count} {reason}")
    for t in skipped:
        print(f"skipped table {t}: refused by the reader ({cc.UNREADABLE[t]})")
    failed = sum(1 for t in tables if t.unit.failures)
    print(f"{len(rtfs)} documents given to LibreOffice in {(len(rtfs) + BATCH - 1) // BATCH} runs, {seconds:.0f} s; "
          f"cells compared: {sum(t.unit.compared for t in tables)}")
    print(f"{len(tables) - failed} passed, {failed} failed")
    return 1 if failed or not tables else 0


if __name__ == "__main__":
    sys.exit(main())
