#!/usr/bin/python3
"""Converts every readable table of the third-party corpus with the tabrix
command line and checks the outputs against the independent expected values
that check_corpus.py compares the reader with.

    /usr/bin/python3 check_corpus_outputs.py --tabrix PATH/tabrix --dump PATH/table_dump --corpus PATH/corpus

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. The
corpus is copied to a temporary folder first (opening a table creates its
missing memo file). Every table runs as `tabrix TABLE out.EXT /HDR /EXPORTALL`
in the C locale, so dates read MM/DD/YYYY and every record is written, the
deleted ones too; table_dump says how many records the reader walks.

Each table is one unit; it fails when any check finds a mismatch:
  - every format exits 0, or 1 with the "header counts N records, the file
    holds M" warning when the file holds fewer records than its header says;
  - CSV, TXT and TSV hold the names line (the exported fields of the
    independent header parse, in order) and one CR LF line per walked record,
    the last without a line break; every line has one value per column;
  - SDF holds one fixed-width line ended by CR LF per walked record;
  - every CSV value agrees with the python3-dbfread records and the upstream
    asserts wherever check_corpus.py compares them, after the CSV rules are
    applied to the expected value (see the compare_* functions).
The command line takes only sources named .dbf, so a .dbc table runs as a copy
under a .dbf name. The damaged tables the reader refuses are skipped and listed.
"""
import argparse
import collections
import csv
import datetime
import decimal
import os
import re
import shutil
import subprocess
import sys
import tempfile

# The checker beside this file; the source tree gets no compiled copy of it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_corpus as cc  # noqa: E402

FORMATS = ("csv", "txt", "tsv", "sdf")

NUMERIC_TYPES = ("N", "F", "I", "+", "Y", "B", "O")

# Widths of the SDF columns whose text is not the stored bytes; the stored
# types take their field length, every other type adds nothing.
SDF_WIDTHS = {"T": 19, "I": 10, "Y": 20, "O": 21}


# ---------------------------------------------------------------- running tabrix


def run_tabrix(tabrix, table, output, workdir):
    """One conversion in the C locale; the output is removed first so a stale one cannot pass."""
    path = os.path.join(workdir, output)
    if os.path.exists(path):
        os.remove(path)
    env = dict(os.environ, LANG="C", LC_ALL="C")
    result = subprocess.run([tabrix, table, output, "/HDR", "/EXPORTALL"], cwd=workdir, env=env,
                            capture_output=True, timeout=120)
    text = None
    if os.path.exists(path):
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    return result, text


def dbf_alias(path, ours, workdir):
    """A copy of a table named otherwise (.dbc) under a .dbf name, the only
    sources the command line takes, with the memo file the reader opened for
    it under the name the reader looks for beside a .dbf table."""
    folder = os.path.join(workdir, "alias")
    shutil.rmtree(folder, ignore_errors=True)
    os.mkdir(folder)
    stem = os.path.splitext(os.path.basename(path))[0]
    alias = os.path.join(folder, stem + ".dbf")
    shutil.copyfile(path, alias)
    if ours["memo"] is not None:
        extension = "fpt" if cc.memo_kind(ours["version"]) == "fpt" else "dbt"
        shutil.copyfile(ours["memo"]["path"], os.path.join(folder, f"{stem}.{extension}"))
    return alias


def check_exit(unit, ext, result, ours):
    """Exit 0, or 1 with the warning naming both counts for a table that holds fewer records than counted."""
    stderr = result.stderr.decode("latin-1")
    if ours["isShort"]:
        warning = (f"the header counts {ours['headerRecordCount']} records, "
                   f"the file holds {ours['recordCount']}")
        if result.returncode != 1 or warning not in stderr:
            unit.fail(f"{ext}: exit {result.returncode}, expected 1 with {warning!r}; stderr {stderr.strip()!r}")
    elif result.returncode != 0:
        unit.fail(f"{ext}: exit {result.returncode}; stderr {stderr.strip()!r}")


# ---------------------------------------------------------------- layout of the outputs


def exported_columns(ours):
    return [i for i, f in enumerate(ours["fields"]) if not f["excluded"]]


def expected_names(ours, doc):
    """The names line: the exported fields of the independent header parse, or ours without one."""
    if doc is not None and "fields" in doc["header"]:
        return [f["name"] for f in cc.expected_fields(doc["header"]) if not f["excluded"]]
    return [f["name"] for f in ours["fields"] if not f["excluded"]]


def cut_at_zero(text):
    return text.split("\0", 1)[0]


def raw_breaks_and_tabs(ours, record, columns):
    """Whether the record's written values hold a line break or a tab: character
    values and memos turn line breaks into spaces, memos turn tabs into spaces,
    every other text is written as it is."""
    breaks = tabs = False
    for i in columns:
        ftype = ours["fields"][i]["type"]
        if ftype == "M":
            continue
        value = cut_at_zero(record["values"][i])
        breaks = breaks or (ftype != "C" and ("\r" in value or "\n" in value))
        tabs = tabs or "\t" in value
    return breaks, tabs


def split_lines(unit, ext, text, records):
    """The names line and one line per record, ended by CR LF except the last
    record's; None when the file does not have that shape."""
    lines = text.split("\r\n")
    if records == 0:
        if len(lines) != 2 or lines[1] != "":
            unit.fail(f"{ext}: no records, but the file is not one names line ended by CR LF: {text[:200]!r}")
            return None
        return lines[:1]
    if len(lines) != 1 + records:
        unit.fail(f"{ext}: {len(lines) - 1} lines after the names line, expected {records} records "
                  "(the last without a line break)")
        return None
    return lines


def split_line(line, ncols, tsv):
    """The values of one line: split at tabs (TSV) or by the csv module; an
    empty line is no value in a table without columns, one empty value else."""
    if line == "":
        return [] if ncols == 0 else [""]
    return line.split("\t") if tsv else next(csv.reader([line]))


def check_delimited(unit, ext, text, ours, doc):
    """Names line, line count and columns of a CSV, TXT or TSV output; returns the
    CSV rows of the records (None for a row that did not split right, or for TSV)."""
    columns = exported_columns(ours)
    records = ours["records"]
    held = [raw_breaks_and_tabs(ours, r, columns) for r in records]
    if any(b for b, _ in held):
        unit.skip(f"{ext} lines not checked: a value holds a line break")
        return None
    lines = split_lines(unit, ext, text, len(records))
    if lines is None:
        return None
    tsv = ext == "tsv"
    names = split_line(lines[0], len(columns), tsv)
    wanted = expected_names(ours, doc)
    if names != wanted:
        at = next((k for k, (a, b) in enumerate(zip(names, wanted)) if a != b), min(len(names), len(wanted)))
        unit.fail(f"{ext}: names line of {len(names)} names, expected {len(wanted)}; from name {at}: "
                  f"{names[at:at + 3]}, expected {wanted[at:at + 3]}")
    rows = []
    for n, line in enumerate(lines[1:]):
        if tsv and held[n][1]:
            unit.skip("tsv columns not checked: a value holds a tab")
            rows.append(None)
            continue
        try:
            row = split_line(line, len(columns), tsv)
        except csv.Error as e:
            unit.fail(f"{ext}: record {n}: {e}: {line[:200]!r}")
            rows.append(None)
            continue
        if len(row) != len(columns):
            unit.fail(f"{ext}: record {n}: {len(row)} values, expected {len(columns)}: {line[:200]!r}")
            row = None
        rows.append(row)
    return None if tsv else rows


def check_sdf(unit, text, ours):
    """One fixed-width line per record, each ended by CR LF."""
    width = 0
    for i in exported_columns(ours):
        f = ours["fields"][i]
        if f["type"] in ("C", "D", "F", "L", "N"):
            width += f["length"]
        elif f["type"] in SDF_WIDTHS:
            width += SDF_WIDTHS[f["type"]]
        elif f["type"] == "B" and f["length"] == 8:
            width += 21
    records = len(ours["records"])
    if len(text) != records * (width + 2):
        unit.fail(f"sdf: {len(text)} bytes, expected {records} lines of {width} characters and CR LF")
        return
    for n in range(records):
        end = n * (width + 2) + width
        if text[end:end + 2] != "\r\n":
            unit.fail(f"sdf: record {n} does not end with CR LF at byte {end}: {text[end:end + 2]!r}")
            return


# ---------------------------------------------------------------- the CSV rules


class Differs:
    """A mismatch with the whole cell the rules give, so that the message can
    show where a long value first differs."""

    def __init__(self, expected):
        self.expected = expected


def same_cell(cell, expected):
    if expected is None:
        return False
    return True if cell == expected else Differs(expected)


def read_back(text, double_quotes):
    """What the csv module reads back from a value written by the CSV rules:
    double quotes doubled (character values and memos), the value enclosed in
    double quotes when it holds the delimiter ','."""
    written = text.replace('"', '""') if double_quotes else text
    if "," in text:
        written = f'"{written}"'
    return next(csv.reader([written]), [""])[0] if written else ""


def character_text(expected, encoding):
    """dbfread's C value as the CSV writes it, bytes as latin-1 characters: up to
    the first zero byte, CR and LF turned into spaces, trailing blanks removed
    (leading ones stay), then quoted. None when it does not encode."""
    if isinstance(expected, dict):
        text = expected["text_latin1"]
    else:
        try:
            text = expected.encode(encoding).decode("latin-1")
        except UnicodeEncodeError:
            return None
    text = cut_at_zero(text).replace("\r", " ").replace("\n", " ").rstrip(" ")
    return read_back(text, True)


def memo_cell(data):
    """A memo's bytes as the CSV writes them: CR, LF and tab turned into spaces,
    nothing trimmed, then quoted."""
    text = data.decode("latin-1").replace("\r", " ").replace("\n", " ").replace("\t", " ")
    return read_back(text, True)


def other_cell(data):
    """Raw bytes of other types (W): up to the first zero byte, trimmed on both sides, enclosed, not doubled."""
    return read_back(cut_at_zero(data.decode("latin-1")).strip(" "), False)


def is_trimmed(cell):
    return cell == cell.strip(" ")


def numbers_equal(cell, expected):
    """N and F: both blank, or the same number."""
    try:
        number = cc.parse_number(cell)
    except ValueError:
        return False
    if expected is None or number is None:
        return number is None and expected is None
    return float(number) == float(expected)


def decimals_ok(cell, decimals):
    return re.fullmatch(rf"-?\d+\.\d{{{decimals}}}", cell) is not None


def double_ok(cell, expected):
    """B and O in CSV: eleven decimals, numerically the double printed with eleven."""
    return decimals_ok(cell, 11) and decimal.Decimal(cell) == decimal.Decimal(f"{expected:.11f}")


def currency_ok(cell, amount, decimals):
    """Y: four decimals when the field has four, else two, the amount rounded as the reader rounds it."""
    places = 4 if decimals == 4 else 2
    return decimals_ok(cell, places) and decimal.Decimal(cell) == cc.currency_expected(amount, decimals)


def date_of(cell):
    """A MM/DD/YYYY cell in the ISO order, or None when it is no such date."""
    m = re.fullmatch(r"(\d\d)/(\d\d)/(\d{4})", cell)
    return f"{m.group(3)}-{m.group(1)}-{m.group(2)}" if m else None


def blank_date(record, i):
    """The stored date begins with a blank or a zero byte (the reader's text of it is empty or starts blank)."""
    value = record["values"][i]
    return value == "" or value[0] == " "


def zero_date(cell):
    """A date of zeros, which dbfread also reads as no date."""
    return re.fullmatch(r"[0 ]{2}/[0 ]{2}/[0 ]{4}", cell) is not None


def date_time_of(cell):
    """A MM/DD/YYYY HH:MM:SS cell as a datetime, or None."""
    m = re.fullmatch(r"(\d\d)/(\d\d)/(\d+) (\d\d):(\d\d):(\d\d)", cell)
    if not m:
        return None
    month, day, year, hour, minute, second = map(int, m.groups())
    try:
        return datetime.datetime(year, month, day, hour, minute, second)
    except ValueError:
        return None


def memo_reference_cell(field, record, i):
    """G fields, and B fields holding a dBase binary memo, are not expanded: the
    CSV shows "Gen" or "Memo" when the field names a block, else nothing."""
    if record["memos"][str(i)]["block"] == 0:
        return ""
    return "Gen" if field["type"] == "G" else "Memo"


# ---------------------------------------------------------------- values against dbfread


def compare_dbfread_cell(field, expected, cell, record, i, context):
    """One CSV cell against dbfread's value; True, False, or a skip reason.

    The types and skips follow check_corpus.compare_value. A memo is first
    matched with the memo the reader read by that function (which also undoes
    dbfread's dBase IV length quirk), and those bytes are what the CSV must
    hold after the memo rules."""
    ftype = field["type"]
    if isinstance(expected, dict) and "invalid_hex" in expected:
        return "dbfread could not decode the value"
    if ftype == "C":
        return same_cell(cell, character_text(expected, context["encoding"]))
    if ftype in ("N", "F"):
        return is_trimmed(cell) and numbers_equal(cell, expected)
    if ftype == "D":
        if expected is None:
            return cell == "" if blank_date(record, i) else zero_date(cell)
        return date_of(cell) == expected
    if ftype == "L":
        return cc.logical(cell) == expected
    if ftype in ("I", "+"):
        return re.fullmatch(r"-?\d+", cell) is not None and int(cell) == expected
    if ftype == "Y":
        return currency_ok(cell, decimal.Decimal(expected["decimal"]), field["decimals"])
    if ftype == "T":
        if expected is None:
            return cell == ""
        when = datetime.datetime.fromisoformat(expected)
        if when.microsecond >= 500000:
            when += datetime.timedelta(seconds=1)
        return date_time_of(cell) == when.replace(microsecond=0)
    if ftype == "B" and field["length"] == 8:
        return double_ok(cell, expected)
    memo = record["memos"].get(str(i))
    if ftype == "W":
        return same_cell(cell, other_cell(bytes.fromhex(expected["raw_hex"])))
    outcome = cc.compare_value(field, expected, record["values"][i], memo, context)
    if ftype in ("M", "G", "B") and outcome is True:
        if ftype == "M":
            return same_cell(cell, memo_cell(cc.memo_bytes(record, i)))
        return same_cell(cell, memo_reference_cell(field, record, i))
    # The types check_corpus does not compare with dbfread give their reason.
    return outcome


def tally(unit, outcome, where, cell, expected, source):
    """Counts a comparison, a skip by its reason, or a mismatch with both sides."""
    if isinstance(outcome, str):
        unit.skip(outcome)
    elif outcome is True:
        unit.compared += 1
    elif isinstance(outcome, Differs):
        want = outcome.expected
        at = next((k for k, (a, b) in enumerate(zip(cell, want)) if a != b), min(len(cell), len(want)))
        start = max(at - 40, 0)
        unit.fail(f"{where}: csv {cell[start:start + 120]!r}, expected {want[start:start + 120]!r} "
                  f"(from character {start}; lengths {len(cell)} and {len(want)})")
    else:
        unit.fail(f"{where}: csv {cell[:120]!r}, {source} {str(expected)[:120]!r}")


def check_csv_against_dbfread(unit, root, table, ours, doc, rows, source="dbfread"):
    """Mirrors check_corpus.check_values_against_dbfread, cell by cell of the CSV."""
    if not doc["dbfread_values_usable"] or not doc["dbfread"].get("ok"):
        unit.skip("dbfread output not usable (dBase 7, dBase II or failed)")
        return
    encoding = doc["dbfread"]["encoding"]
    context = {
        "encoding": encoding,
        "memo_kind": cc.memo_kind(int(doc["header"]["version_byte"], 16)),
        "memo_bytes": cc.memo_file_bytes(root, table, doc),
        "skips": cc.dbfread_skips(doc),
    }
    columns = {i: c for c, i in enumerate(exported_columns(ours))}
    names = {cc.raw(f["name"]).decode(encoding, errors="replace"): i for i, f in enumerate(ours["fields"])}
    dbf_fields = {f["name"]: f for f in doc["dbfread"]["fields"]}
    for rec in doc["dbfread"]["records"]:
        index = rec.get("_index")
        if index is None or (context["skips"]["drift"] and index > 0):
            unit.skip("record framed wrongly by dbfread (field lengths do not add up)")
            continue
        if index >= len(ours["records"]):
            unit.skip("record beyond the walk (partial, or counted by check_corpus)")
            continue
        if rec.get("_skipped_by_dbfread"):
            continue
        if rows[index] is None:
            unit.skip("record line did not split into its columns (reported)")
            continue
        record = ours["records"][index]
        for name, expected in rec.items():
            i = cc.matching_field(unit, names, ours, dbf_fields, name, index, source)
            if i is None:
                continue
            field = ours["fields"][i]
            if i not in columns:
                unit.skip("_NullFlags system field (excluded)")
                continue
            cell = rows[index][columns[i]]
            outcome = compare_dbfread_cell(field, expected, cell, record, i, context)
            tally(unit, outcome, f"record {index} {name} ({field['type']})", cell, expected, source)


# ---------------------------------------------------------------- values against upstream asserts


def csv_null_like(field, cell):
    """What a NULL (or an absent value) shows in the CSV: the blank or zero stored for it."""
    ftype = field["type"]
    if ftype in ("M", "G") or (ftype == "B" and field["length"] != 8):
        return cell == ""
    if ftype in NUMERIC_TYPES:
        try:
            return cell == "" or cc.parse_number(cell) == 0
        except ValueError:
            return False
    if ftype == "D":
        return cell == "" or zero_date(cell)
    return cell in ("", "?")


def compare_asserted_cell(ours, record, i, note, expected, cell):
    """One asserted value against its CSV cell; True, False, or a skip reason.

    The branches follow check_corpus.compare_asserted. Asserts about a memo as
    a whole (block and length, a trimmed text or its start) are first matched
    with the memo the reader read by that function; the CSV must hold those
    bytes after the memo rules."""
    field = ours["fields"][i]
    ftype = field["type"]
    is_memo = ftype == "M" or (ftype == "B" and field["length"] != 8)
    memo_assert = (isinstance(expected, dict) and "memo_block_pointer" in expected) or (
        is_memo and isinstance(expected, str) and "memo pointer" not in note)
    if memo_assert:
        outcome = cc.compare_asserted(ours, record, i, note, expected)
        if outcome is not True:
            return outcome
        if ftype == "M":
            return same_cell(cell, memo_cell(cc.memo_bytes(record, i)))
        return same_cell(cell, memo_reference_cell(field, record, i))
    if ftype == "W":
        return "blob (W): the reader shows its raw bytes, not the memo"
    if expected is None:
        outcome = cc.compare_asserted(ours, record, i, note, expected)
        return outcome if outcome is not True else csv_null_like(field, cell)
    if "memo pointer" in note:
        if ftype == "M":
            return "memo block number: the CSV holds the memo text"
        return same_cell(cell, memo_reference_cell(field, record, i))
    if note == "bytes":
        return cc.decode_q(cell).hex() == expected
    if isinstance(expected, bool):
        return cc.logical(cell) is expected
    if ftype == "Y":
        if isinstance(expected, str):
            return cell == expected
        return currency_ok(cell, decimal.Decimal(str(expected)), field["decimals"])
    if isinstance(expected, (int, float)):
        if ftype in ("I", "+"):
            return re.fullmatch(r"-?\d+", cell) is not None and int(cell) == expected
        if ftype in ("B", "O"):
            return double_ok(cell, expected)
        return is_trimmed(cell) and numbers_equal(cell, expected)
    if ftype == "D":
        return date_of(cell) == expected
    if ftype in ("T", "@"):
        when = date_time_of(cell)
        return when is not None and when.strftime("%Y-%m-%d %H:%M:%S") == expected
    # Text: the other readers trim C values; a C value keeps its leading blanks in the CSV.
    return cell.strip(" ") == read_back(expected, ftype == "C").strip(" ")


def check_csv_against_asserts(unit, ours, asserts, rows):
    """Mirrors check_corpus.check_upstream_asserts for the values (the header facts are the reader's)."""
    columns = {i: c for c, i in enumerate(exported_columns(ours))}
    live = [n for n, r in enumerate(ours["records"]) if r["flag"] != "2A"]
    for n, expected_record in enumerate(asserts.get("records", [])):
        if n >= len(live):
            unit.fail(f"asserted record {n} missing (ours has {len(live)} live records)")
            break
        index = live[n]
        if rows[index] is None:
            unit.skip("record line did not split into its columns (reported)")
            continue
        for key, expected in expected_record.items():
            i, note = cc.assert_target(ours, key)
            if i is None:
                unit.fail(f"asserted field {key!r} not found")
                continue
            if i not in columns:
                unit.skip("_NullFlags system field (excluded)")
                continue
            cell = rows[index][columns[i]]
            outcome = compare_asserted_cell(ours, ours["records"][index], i, note, expected, cell)
            tally(unit, outcome, f"asserted record {n} (record {index}) {key}", cell, expected, "asserted")


# ---------------------------------------------------------------- driver


def check_table(root, workdir, tabrix, dump, table, docs, asserts):
    unit = cc.Unit(table)
    path = os.path.join(root, table)
    ours, error = cc.run_dump(dump, path)
    if ours is None:
        unit.fail(error)
        return unit
    if not ours["ok"]:
        unit.fail(f"does not open: {ours['error']}")
        return unit
    doc = docs.get(table)
    source = path if table.lower().endswith(".dbf") else dbf_alias(path, ours, workdir)
    for ext in FORMATS:
        result, text = run_tabrix(tabrix, source, f"out.{ext}", workdir)
        check_exit(unit, ext, result, ours)
        if text is None:
            unit.fail(f"{ext}: no output written")
            continue
        if ext == "sdf":
            check_sdf(unit, text, ours)
            continue
        rows = check_delimited(unit, ext, text, ours, doc)
        if ext != "csv" or rows is None:
            continue
        if doc is not None:
            check_csv_against_dbfread(unit, root, table, ours, doc, rows)
        if table in cc.SIBLINGS:
            sibling = cc.SIBLINGS[table]
            check_csv_against_dbfread(unit, root, sibling, ours, docs[sibling], rows,
                                      source=f"dbfread of {sibling}")
        table_asserts = cc.asserts_for(asserts, table)
        if table_asserts is not None:
            check_csv_against_asserts(unit, ours, table_asserts, rows)
    return unit


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True, help="path of the tabrix executable")
    parser.add_argument("--dump", required=True, help="path of the table_dump executable")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--only", help="check only tables whose path contains this text")
    parser.add_argument("--verbose", action="store_true", help="list every table with its counts")
    args = parser.parse_args()
    # Memos of several hundred kilobytes are single CSV values.
    csv.field_size_limit(sys.maxsize)
    source = cc.corpus_folder(args.corpus)
    tabrix = os.path.abspath(args.tabrix)
    dump = os.path.abspath(args.dump)

    skipped_tables = []
    with tempfile.TemporaryDirectory(prefix="tabrix-corpus-outputs-") as temp:
        root = os.path.join(temp, "corpus")
        workdir = os.path.join(temp, "work")
        cc.copy_corpus(source, root)
        os.mkdir(workdir)
        docs, asserts = cc.expectation_files(root)
        units = []
        for table in cc.find_tables(root):
            if args.only and args.only not in table:
                continue
            if table in cc.UNREADABLE:
                skipped_tables.append((table, f"refused by the reader ({cc.UNREADABLE[table]})"))
            else:
                units.append(check_table(root, workdir, tabrix, dump, table, docs, asserts))

    skipped = collections.Counter()
    for unit in units:
        skipped.update(unit.skipped)
        if args.verbose:
            reasons = "; ".join(f"{n} {r}" for r, n in unit.skipped.items())
            print(f"{'FAIL' if unit.failures else 'ok  '} {unit.name}: {unit.compared} compared"
                  + (f", skipped {reasons}" if reasons else ""))
        if unit.failures:
            print(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
            for message in unit.failures[:cc.MAX_MESSAGES]:
                print(f"    {message}")
            if len(unit.failures) > cc.MAX_MESSAGES:
                print(f"    ... and {len(unit.failures) - cc.MAX_MESSAGES} more")
    for table, reason in skipped_tables:
        print(f"skipped table {table}: {reason}")
    print(f"values compared: {sum(u.compared for u in units)}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    failed = sum(1 for u in units if u.failures)
    print(f"{len(units) - failed} passed, {failed} failed")
    return 1 if failed or not units else 0


if __name__ == "__main__":
    sys.exit(main())
