#!/usr/bin/python3
"""Excel workbooks (.xls and .xlsx) read back by independent readers.

    /usr/bin/python3 check_workbooks.py --tabrix PATH/tabrix --dump PATH/table_dump \\
        --corpus PATH/corpus --fixtures PATH/tests/data/golden [--soffice soffice]

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. Every run
is in the C locale with ANSI code page 1252 and settings of its own.

1. Every fixture table and every readable corpus table goes to .xls and .xlsx
   with /EXPORTALL. Each table is one unit; it fails when the run exits
   otherwise than the CSV check allows, or when xlrd (both formats) or openpyxl
   (.xlsx) reads other than: one sheet named after the table, the header row of
   the field names frozen, then one row per record whose every cell has
   dbfread's value and type: numbers (format 1 where the field has no
   decimals), dates and date-times as dates with format 14 (text before 1900),
   booleans for T/F and Y/N, text in the table's code page.
2. A sample of both formats goes through LibreOffice Calc (one call) to CSV,
   whose values must be those xlrd read.
3. A sheet added to an .xlsx made by openpyxl (styles, a defined name, two
   sheets, a formula) and to an .xls made by xlwt keeps the other sheets and
   parts; refilling it with a shorter table leaves no row of the longer one; a
   file that is no workbook is refused (exit 1) and left as it was.
4. 140,000 records give a_0.xls and a_1.xls of 65,534 data rows and a.xls of
   8,932, each with the header row, and one .xlsx sheet of 140,000 rows.
"""
import argparse
import collections
import concurrent.futures
import csv
import datetime
import decimal
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

import openpyxl
import xlrd
import xlwt

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
import check_corpus as cc  # noqa: E402
import check_corpus_outputs as cco  # noqa: E402

EMPTY = ("empty",)
MAX_CELL_CHARS = 32767
CALC_SAMPLE = 12
XLRD_KINDS = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_BLANK: "empty", xlrd.XL_CELL_TEXT: "text",
              xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_BOOLEAN: "bool"}
OPENPYXL_FORMATS = {"General": 0, "0": 1, "mm-dd-yy": 14}


def environment(workdir):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
    env.update(LANG="C", LC_ALL="C", TABRIX_ANSI_CP="1252", TABRIX_OEM_CP="437",
               TABRIX_SETTINGS=os.path.join(workdir, "settings.reg"))
    return env


def tabrix_run(tabrix, workdir, *words):
    return subprocess.run([tabrix, *words], cwd=workdir, env=environment(workdir), capture_output=True, timeout=300)


def serial(when):
    """The spreadsheet day number of a date or date-time (1900 date system, with its 29 February 1900)."""
    if not isinstance(when, datetime.datetime):
        when = datetime.datetime(when.year, when.month, when.day)
    days = (when - datetime.datetime(1899, 12, 31)).total_seconds() / 86400
    return days + 1 if days >= 60 else days


def sheet_title(path):
    """The sheet a new workbook holds: the file's title up to its first '.', made a valid name."""
    title = os.path.basename(path).split(".", 1)[0]
    title = "".join("_" if c in ':\\/?*[]' else c for c in title)[:31].strip("'")
    return title or "Sheet1"


# ---------------------------------------------------------------- reading workbooks


def read_xlrd(path):
    """(sheet names, rows of the first sheet, frozen rows): cells as (kind, value, number format), the
    format None where xlrd does not read formats (.xlsx)."""
    xls = path.endswith(".xls")
    book = xlrd.open_workbook(path, formatting_info=xls)
    sheet = book.sheet_by_index(0)
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            fmt = book.xf_list[cell.xf_index].format_key if xls else None
            value = cco.xlsx_text(cell.value) if cell.ctype == xlrd.XL_CELL_TEXT and not xls else cell.value
            row.append((XLRD_KINDS.get(cell.ctype, f"type {cell.ctype}"), value, fmt))
        rows.append(row)
    # xlrd reads panes of .xls only; openpyxl checks those of .xlsx.
    frozen = (sheet.horz_split_pos if sheet.panes_are_frozen else 0) if xls else None
    return book.sheet_names(), rows, frozen


def read_openpyxl(path):
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    rows = []
    for row in sheet.iter_rows():
        cells = []
        for cell in row:
            fmt = OPENPYXL_FORMATS.get(cell.number_format, cell.number_format)
            if cell.value is None:
                cells.append(("empty", None, fmt))
            elif cell.is_date:
                cells.append(("date", serial(cell.value), fmt))
            elif isinstance(cell.value, bool):
                cells.append(("bool", int(cell.value), fmt))
            elif isinstance(cell.value, (int, float)):
                cells.append(("number", cell.value, fmt))
            else:
                # Characters XML cannot hold stand as _xHHHH_ in the package.
                cells.append(("text", cco.xlsx_text(cell.value), fmt))
        rows.append(cells)
    frozen = sheet.freeze_panes
    return book.sheetnames, rows, 1 if frozen == "A2" else frozen


def cell_at(rows, r, c):
    return rows[r][c] if r < len(rows) and c < len(rows[r]) else ("empty", "", None)


# ---------------------------------------------------------------- expected cells


def text_cell(text):
    """Text as the bytes of its code page shown as latin-1, cut where a cell ends."""
    text = text[:MAX_CELL_CHARS]
    return ("text", text) if text else EMPTY


def moment_cell(when):
    if when.year < 1900:
        return ("text", when.isoformat(sep=" ") if isinstance(when, datetime.datetime) else when.isoformat())
    return ("date", serial(when))


def expected_cell(field, expected, record, i, context):
    """The cell dbfread's value makes: ('empty',), ('text', s), ('number', v, format),
    ('date', day number) or ('bool', b); or a skip reason, or False when our reader
    and dbfread disagree on the source value."""
    if i in record["nulls"]:
        return EMPTY
    if isinstance(expected, dict) and "invalid_hex" in expected:
        return "dbfread could not decode the value"
    ftype = field["type"]
    integer = 1 if field["decimals"] == 0 else 0
    value = record["values"][i]
    if ftype == "C":
        if isinstance(expected, dict):
            data = expected["text_latin1"].encode("latin-1")
        else:
            try:
                data = expected.encode(context["encoding"])
            except UnicodeEncodeError:
                return "text that does not encode in the table's code page"
        return text_cell(cco.as_written(data.split(b"\0", 1)[0], context["pages"]).decode("latin-1").rstrip(" "))
    if ftype in ("N", "F"):
        if expected is None and value.strip(" ") and not value.strip(" *"):
            return ("text", value.strip(" "))  # the stars of a value that did not fit stay visible
        return EMPTY if expected is None else ("number", float(expected), integer)
    if ftype in ("I", "+") or (ftype == "B" and field["length"] == 8):
        return ("number", expected, integer)
    if ftype == "Y":
        return ("number", float(decimal.Decimal(expected["decimal"])), integer)
    if ftype == "D":
        return EMPTY if expected is None else moment_cell(datetime.date.fromisoformat(expected))
    if ftype == "T":
        if expected is None:
            return EMPTY
        when = datetime.datetime.fromisoformat(expected)
        return moment_cell((when + datetime.timedelta(microseconds=500000)).replace(microsecond=0))
    if ftype == "L":
        # T/F and Y/N are booleans; '?' and blanks leave the cell empty.
        return ("bool", int(expected)) if expected is not None else EMPTY
    outcome = cc.compare_value(field, expected, value, record["memos"].get(str(i)), context)
    if outcome is not True:
        return outcome
    if ftype == "M":
        return text_cell(cco.as_written(cc.memo_bytes(record, i), context["pages"]).decode("latin-1"))
    if ftype in ("G", "B"):
        return text_cell(cco.memo_reference_cell(field, record, i))
    return text_cell(cco.as_written(cc.raw(value), context["pages"]).decode("latin-1").rstrip(" "))


def same(cell, want, page):
    """True, a skip reason, or False."""
    kind, value, fmt = cell
    if want[0] == "text":
        if kind != "text":
            return False
        outcome = cco.same_cell(value.encode(page, errors="replace").decode("latin-1"), want[1], UTF8)
        return outcome if outcome is True or isinstance(outcome, str) else False
    if kind != want[0]:
        return False
    if want[0] == "number":
        return value == want[1] and fmt in (None, want[2])
    if want[0] == "date":
        return abs(value - want[1]) < 0.5 / 86400 and fmt in (None, 14)
    if want[0] == "bool":
        return value == want[1]
    return True


UTF8 = type("Utf8Run", (), {"utf8": True})()


# ---------------------------------------------------------------- corpus and fixtures


def check_values(unit, label, rows, ours, doc, context):
    columns = {i: c for c, i in enumerate(cco.exported_columns(ours))}
    encoding = doc["dbfread"]["encoding"]
    names = {cc.raw(f["name"]).decode(encoding, errors="replace"): i for i, f in enumerate(ours["fields"])}
    dbf_fields = {f["name"]: f for f in doc["dbfread"]["fields"]}
    page = context["pages"][1] if context["pages"] else "cp1252"
    for rec in doc["dbfread"]["records"]:
        index = rec.get("_index")
        if index is None or (context["skips"]["drift"] and index > 0):
            unit.skip("record framed wrongly by dbfread (field lengths do not add up)")
            continue
        if index >= len(ours["records"]) or rec.get("_skipped_by_dbfread"):
            continue
        record = ours["records"][index]
        for name, expected in rec.items():
            i = cc.matching_field(unit, names, ours, dbf_fields, name, index, "dbfread")
            if i is None or i not in columns:
                continue
            field = ours["fields"][i]
            want = expected_cell(field, expected, record, i, context)
            cell = cell_at(rows, index + 1, columns[i])
            outcome = want if not isinstance(want, tuple) else same(cell, want, page)
            if isinstance(outcome, str):
                unit.skip(outcome)
            elif outcome:
                unit.compared += 1
            else:
                unit.fail(f"{label}: record {index} {name} ({field['type']}): cell {str(cell)[:100]}, "
                          f"expected {str(want)[:100]}")


def check_table(root, workdir, tabrix, dump, table, doc):
    """Both formats of one table; returns the unit and the paths of its outputs."""
    unit = cc.Unit(table)
    path = os.path.join(root, table)
    ours, error = cc.run_dump(dump, path)
    if ours is None or not ours["ok"]:
        unit.fail(error or f"does not open: {ours['error']}")
        return unit, []
    os.makedirs(workdir)
    pages = cco.text_pages(path)
    source = path if table.lower().endswith(".dbf") else cco.dbf_alias(path, ours, workdir)
    page = pages[1] if pages else "cp1252"
    # Bytes Windows-1252 leaves undefined have no character: they show as '?'.
    names = ["".join("?" if page == "cp1252" and c in cco.CP1252_UNDEFINED else c for c in name)
             for name in cco.expected_names(ours, doc)]
    context = None
    if doc is not None and doc["dbfread_values_usable"] and doc["dbfread"].get("ok"):
        context = {"encoding": doc["dbfread"]["encoding"], "pages": pages,
                   "memo_kind": cc.memo_kind(int(doc["header"]["version_byte"], 16)),
                   "memo_bytes": cc.memo_file_bytes(root, table, doc), "skips": cc.dbfread_skips(doc)}
    # Memos longer than a cell holds are cut, and the run reports it.
    cut = any(len(m["text"] or "") > MAX_CELL_CHARS for r in ours["records"] for m in r["memos"].values())
    outputs = []
    for output in ("out.xls", "out.xlsx"):
        result = tabrix_run(tabrix, workdir, source, output, "/EXPORTALL")
        if cut:
            if result.returncode != 1 or b"longer than a cell holds" not in result.stderr:
                unit.fail(f"{output}: exit {result.returncode} without the report of texts cut: {result.stderr!r}")
        else:
            cco.check_exit(unit, output, result, ours, cco.memo_file_lacks_memos(path, deleted_too=True))
        target = os.path.join(workdir, output)
        if not os.path.exists(target):
            unit.fail(f"{output}: no output written")
            continue
        kept = os.path.join(os.path.dirname(workdir), table.replace(os.sep, "__") + "." + output)
        shutil.copyfile(target, kept)
        outputs.append(kept)
        readers = [("xlrd", read_xlrd)] + ([("openpyxl", read_openpyxl)] if output.endswith("x") else [])
        for reader, read in readers:
            label = f"{output} ({reader})"
            try:
                sheets, rows, frozen = read(target)
            except Exception as e:  # noqa: BLE001 - any refusal of the reader is the finding
                unit.fail(f"{label}: does not open: {type(e).__name__}: {e}")
                continue
            if sheets != [sheet_title(source)]:
                unit.fail(f"{label}: sheets {sheets}, expected [{sheet_title(source)!r}]")
            header = [c[1].encode(page, errors="replace").decode("latin-1") for c in (rows[0] if rows else [])]
            if header != names[:len(header)] or len(header) != len(names) or frozen not in (1, None):
                unit.fail(f"{label}: header row {header[:5]} (frozen {frozen}), expected {names[:5]} frozen")
            if len(rows) > len(ours["records"]) + 1:
                unit.fail(f"{label}: {len(rows) - 1} rows, {len(ours['records'])} records")
            if context is None:
                unit.skip("dbfread output not usable (dBase 7, dBase II or failed)")
            else:
                check_values(unit, label, rows, ours, doc, context)
    shutil.rmtree(workdir)
    return unit, outputs


def corpus_and_fixtures(args, temp):
    root = os.path.join(temp, "corpus")
    cc.copy_corpus(cc.corpus_folder(args.corpus), root)
    docs, _ = cc.expectation_files(root)
    jobs = [(root, t, docs.get(t)) for t in cc.find_tables(root) if t not in cc.UNREADABLE]
    fixtures = os.path.join(temp, "fixtures")
    jobs += [(fixtures, t, cco.fixture_doc(os.path.join(fixtures, t))) for t in cco.copy_fixtures(args.fixtures, fixtures)]
    jobs = [job for job in jobs if not args.only or args.only in job[1]]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda nj: check_table(nj[1][0], os.path.join(temp, "work", str(nj[0])),
                                                       args.tabrix, args.dump, nj[1][1], nj[1][2]),
                                enumerate(jobs)))
    return results


# ---------------------------------------------------------------- LibreOffice


def check_with_calc(soffice, books, folder):
    """Converts every book to CSV in one call; the values must be those xlrd reads."""
    if not books:
        return ["no workbook to open"]
    profile = "file://" + os.path.join(folder, "profile")
    out = os.path.join(folder, "csv")
    # Comma, double quote, UTF-8, cell contents as stored rather than as shown.
    subprocess.run([soffice, "--headless", "--norestore", f"-env:UserInstallation={profile}", "--convert-to",
                    "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false", "--outdir", out] + books,
                   capture_output=True, timeout=600)
    failures = []
    for book in books:
        name = os.path.join(out, os.path.splitext(os.path.basename(book))[0] + ".csv")
        if not os.path.exists(name):
            failures.append(f"{book}: LibreOffice wrote no CSV")
            continue
        with open(name, encoding="utf-8", newline="") as f:
            calc = list(csv.reader(f))
        _, rows, _ = read_xlrd(book)
        for r, row in enumerate(rows):
            got = calc[r] if r < len(calc) else []
            for c, (kind, value, _) in enumerate(row):
                text = got[c] if c < len(got) else ""
                if not calc_agrees(kind, value, text):
                    failures.append(f"{os.path.basename(book)}: row {r} column {c}: LibreOffice {text[:60]!r}, "
                                    f"xlrd {kind} {str(value)[:60]!r}")
                    break
            else:
                continue
            break
    return failures


def calc_agrees(kind, value, text):
    if kind == "empty":
        return text == ""
    if kind == "bool":
        return text in (("TRUE", "1") if value else ("FALSE", "0"))
    if kind == "text":
        # Calc shows a zero character as '?' and a CR alone as LF.
        def calc_form(t):
            return re.sub("\r(?!\n)", "\n", t.replace("\0", "?"))
        return calc_form(text) == calc_form(value)
    if kind == "date":
        for pattern in ("%m/%d/%y", "%m/%d/%Y", "%m/%d/%Y %H:%M:%S", "%m/%d/%y %H:%M"):
            try:
                when = datetime.datetime.strptime(text, pattern)
                return abs(serial(when) - value) < 1 if "%H" not in pattern else abs(serial(when) - value) < 1 / 1440
            except ValueError:
                pass
        try:
            return abs(float(text) - value) < 1e-6
        except ValueError:
            return False
    try:
        return abs(float(text) - value) <= 1e-9 * max(1.0, abs(value))
    except ValueError:
        return False


# ---------------------------------------------------------------- adding sheets


def write_table(path, records, fields=(("ID", "N", 10, 0), ("NAME", "C", 12, 0))):
    """A dBase III table written byte by byte; records are tuples of the fields' texts."""
    length = 1 + sum(f[2] for f in fields)
    today = datetime.date.today()
    with open(path, "wb") as f:
        f.write(struct.pack("<BBBBIHH20x", 3, today.year - 1900, today.month, today.day, len(records),
                            32 + 32 * len(fields) + 1, length))
        for name, kind, width, decimals in fields:
            f.write(struct.pack("<11sc4xBB14x", name.encode(), kind.encode(), width, decimals))
        f.write(b"\r")
        for record in records:
            f.write((" " + "".join(str(v).rjust(w) if k in "NM" else str(v).ljust(w)
                                   for v, (_, k, w, _) in zip(record, fields))).encode("latin-1"))
        f.write(b"\x1a")


def check_adding(args, folder, check):
    table = os.path.join(folder, "add.dbf")
    write_table(table, [(n, f"name {n}") for n in range(1, 31)])
    short = os.path.join(folder, "short.dbf")
    write_table(short, [(n, f"short {n}") for n in range(1, 4)])

    book = openpyxl.Workbook()
    summary = book.active
    summary.title = "Summary"
    summary["A1"] = "total"
    summary["A1"].font = openpyxl.styles.Font(bold=True)
    summary["B1"] = "=SUM(Data!A1:A3)"
    data = book.create_sheet("Data")
    for n in range(1, 4):
        data.cell(n, 1, n * 10)
    book.defined_names.append(openpyxl.workbook.defined_name.DefinedName("Total", attr_text="Summary!$B$1"))
    xlsx = os.path.join(folder, "theirs.xlsx")
    book.save(xlsx)
    xls = os.path.join(folder, "theirs.xls")
    old = xlwt.Workbook()
    for name, base in (("One", 1), ("Two", 100)):
        sheet = old.add_sheet(name)
        for n in range(3):
            sheet.write(n, 0, base + n)
            sheet.write(n, 1, f"{name} {n}")
    old.save(xls)

    for path in (xlsx, xls):
        base = os.path.basename(path)
        for source, sheet in ((table, "Added"), (short, "ADDED")):
            result = tabrix_run(args.tabrix, folder, source, path, "/addtoexist", f"/sheetname:{sheet}")
            check(result.returncode == 0, f"{base} /addtoexist {sheet}: exit {result.returncode} {result.stderr!r}")
        book = xlrd.open_workbook(path)
        check(book.sheet_names() == (["Summary", "Data", "Added"] if path == xlsx else ["One", "Two", "Added"]),
              f"{base}: sheets {book.sheet_names()}")
        added = book.sheet_by_name("Added") if "Added" in book.sheet_names() else None
        rows = [added.row_values(r) for r in range(added.nrows)] if added else None
        # Refilled by the shorter table: no row of the longer one stays.
        check(rows == [["ID", "NAME"]] + [[float(n), f"short {n}"] for n in range(1, 4)],
              f"{base}: the refilled sheet holds {rows}")
        if path == xls:
            for name, base_value in (("One", 1), ("Two", 100)):
                sheet = book.sheet_by_name(name)
                check([sheet.row_values(n) for n in range(sheet.nrows)] ==
                      [[float(base_value + n), f"{name} {n}"] for n in range(3)], f"{base}: sheet {name} changed")
        else:
            kept = openpyxl.load_workbook(path)
            check(kept["Summary"]["B1"].value == "=SUM(Data!A1:A3)", f"{base}: the formula is gone")
            check(kept["Summary"]["A1"].font.bold, f"{base}: the bold font is gone")
            check(kept.defined_names.get("Total") is not None, f"{base}: the defined name is gone")
            check([c.value for c in kept["Data"]["A"]] == [10, 20, 30], f"{base}: sheet Data changed")
    calc = os.path.join(folder, "calc")
    other = os.path.join(folder, "theirs_xls.xls")
    shutil.copyfile(xls, other)
    subprocess.run([args.soffice, "--headless", "--norestore", f"-env:UserInstallation=file://{calc}/profile",
                    "--convert-to", "csv", "--outdir", calc, xlsx, other], capture_output=True, timeout=300)
    # The first sheet of each, as LibreOffice reads it.
    for name, first in (("theirs.csv", "total,"), ("theirs_xls.csv", "1,One 0")):
        path = os.path.join(calc, name)
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        check(text.startswith(first), f"LibreOffice reads {name[:-4]} with a sheet added as {text[:40]!r}")

    # A missing output becomes a new workbook; a file that is no workbook is refused and kept.
    for ext in ("xls", "xlsx"):
        fresh = os.path.join(folder, f"fresh.{ext}")
        result = tabrix_run(args.tabrix, folder, short, fresh, "/addtoexist")
        check(result.returncode == 0 and xlrd.open_workbook(fresh).sheet_names() == ["short"],
              f"fresh.{ext} /addtoexist: exit {result.returncode} {result.stderr!r}")
        wrong = os.path.join(folder, f"notes.{ext}")
        with open(wrong, "wb") as f:
            f.write(b"not a workbook\r\n")
        result = tabrix_run(args.tabrix, folder, short, wrong, "/addtoexist")
        with open(wrong, "rb") as f:
            kept = f.read()
        check(result.returncode == 1 and b"notes." in result.stderr and kept == b"not a workbook\r\n",
              f"notes.{ext} /addtoexist: exit {result.returncode}, stderr {result.stderr!r}, file {kept[:40]!r}")


def check_long_text(args, folder, check):
    """A memo longer than a cell holds is cut to 32,767 characters, and the run says so (exit 1)."""
    table = os.path.join(folder, "long.dbf")
    write_table(table, [("1", "1")], fields=(("ID", "N", 4, 0), ("NOTE", "M", 10, 0)))
    with open(table, "r+b") as f:
        f.seek(0)
        f.write(b"\x83")
    memo = "abcdefghij" * 4000
    with open(os.path.join(folder, "long.dbt"), "wb") as f:
        f.write(struct.pack("<I", 1 + (len(memo) + 2 + 511) // 512).ljust(512, b"\0"))
        f.write(memo.encode() + b"\x1a\x1a")
    for ext in ("xls", "xlsx"):
        result = tabrix_run(args.tabrix, folder, table, f"long.{ext}")
        _, rows, _ = read_xlrd(os.path.join(folder, f"long.{ext}"))
        check(result.returncode == 1 and b"1 text longer than a cell holds" in result.stderr and
              rows[1][1][1] == memo[:MAX_CELL_CHARS],
              f"long.{ext}: exit {result.returncode} {result.stderr!r}, cell of {len(rows[1][1][1])} characters")


def check_old_dates_and_letters(args, folder, check):
    """A date before 1900 stays as ISO text; Y is true, '?' no value."""
    table = os.path.join(folder, "old.dbf")
    write_table(table, [(1, "18991231", "Y"), (2, "19000301", "?")],
                fields=(("ID", "N", 4, 0), ("DAY", "D", 8, 0), ("OK", "L", 1, 0)))
    for ext in ("xls", "xlsx"):
        result = tabrix_run(args.tabrix, folder, table, f"old.{ext}")
        _, rows, _ = read_xlrd(os.path.join(folder, f"old.{ext}"))
        cells = [[cell_at(rows, r, c)[:2] for c in (1, 2)] for r in (1, 2)]
        check(result.returncode == 0 and cells == [[("text", "1899-12-31"), ("bool", 1)],
                                                   [("date", 61.0), ("empty", "")]], f"old.{ext}: {cells}")


def check_continuation(args, folder, check):
    table = os.path.join(folder, "a.dbf")
    write_table(table, [(n, f"n{n}") for n in range(1, 140001)])
    result = tabrix_run(args.tabrix, folder, table, "a.xls")
    check(result.returncode == 0, f"a.xls: exit {result.returncode} {result.stderr!r}")
    first = 1
    for part, rows, sheet in (("a_0.xls", 65534, "a"), ("a_1.xls", 65534, "Sheet1"), ("a.xls", 8932, "Sheet1")):
        path = os.path.join(folder, part)
        if not os.path.exists(path):
            check(False, f"{part} missing")
            continue
        book = xlrd.open_workbook(path)
        s = book.sheet_by_index(0)
        check(book.sheet_names() == [sheet] and s.nrows == rows + 1 and s.row_values(0) == ["ID", "NAME"] and
              s.cell_value(1, 0) == first and s.cell_value(rows, 1) == f"n{first + rows - 1}",
              f"{part}: sheets {book.sheet_names()}, {s.nrows} rows, first {s.row_values(0)} {s.row_values(1)}")
        first += rows
    check(not os.path.exists(os.path.join(folder, "a_2.xls")), "a_2.xls written")
    result = tabrix_run(args.tabrix, folder, table, "a.xlsx")
    check(result.returncode == 0, f"a.xlsx: exit {result.returncode} {result.stderr!r}")
    book = openpyxl.load_workbook(os.path.join(folder, "a.xlsx"), read_only=True)
    rows = list(book.worksheets[0].iter_rows(values_only=True))
    check(len(book.sheetnames) == 1 and len(rows) == 140001 and rows[0] == ("ID", "NAME") and
          [r[0] for r in rows[1:]] == list(range(1, 140001)), f"a.xlsx: {book.sheetnames}, {len(rows)} rows")


# ---------------------------------------------------------------- driver


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--corpus")
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--soffice", default="soffice")
    parser.add_argument("--only", help="check only tables whose path contains this text; nothing else")
    args = parser.parse_args()
    args.tabrix, args.dump = os.path.abspath(args.tabrix), os.path.abspath(args.dump)
    args.soffice = shutil.which(args.soffice)
    if args.soffice is None:
        sys.exit("workbook check FAILED: LibreOffice (soffice) not found")
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    with tempfile.TemporaryDirectory(prefix="tabrix-workbooks-") as temp:
        results = corpus_and_fixtures(args, temp)
        for unit, _ in results:
            if unit.failures:
                print(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
                for message in unit.failures[:cc.MAX_MESSAGES]:
                    print(f"    {message}")
        sample = [b for unit, books in results if not unit.failures for b in books][::7][:CALC_SAMPLE * 2]
        calc_failures = check_with_calc(args.soffice, sample, os.path.join(temp, "calc"))
        for message in calc_failures:
            print(f"FAIL LibreOffice: {message}")
        if not args.only:
            for step in (check_adding, check_long_text, check_old_dates_and_letters, check_continuation):
                folder = os.path.join(temp, step.__name__)
                os.mkdir(folder)
                step(args, folder, check)
    for message in failures:
        print(f"FAIL {message}")
    failed = sum(1 for unit, _ in results if unit.failures)
    skipped = sum((unit.skipped for unit, _ in results), start=collections.Counter())
    print(f"values compared: {sum(unit.compared for unit, _ in results)}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    print(f"LibreOffice read {len(sample)} workbooks, {len(calc_failures)} differ; {len(failures)} other failures")
    print(f"{len(results) - failed} tables passed, {failed} failed")
    return 1 if failed or calc_failures or failures or not results or not sample else 0


if __name__ == "__main__":
    sys.exit(main())
