#!/usr/bin/python3
"""Converts every readable table of the third-party corpus, and every fixture
table, with the tabrix command line, reads the delimited outputs back with
Python's csv module (and a sample with LibreOffice Calc) and compares every
cell with python3-dbfread's value of that record.

    /usr/bin/python3 check_corpus_outputs.py --tabrix PATH/tabrix --dump PATH/table_dump \\
        --corpus PATH/corpus --fixtures PATH/tests/data/golden [--soffice soffice]

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. The
tables are copied to a temporary folder first (opening a table creates its
missing memo file). Every run is in the C locale (dates read MM/DD/YYYY) with
settings of its own, so no run inherits another's switches, and with
/EXPORTALL, so every record is written, the deleted ones too; table_dump says
how many records the reader walks. The runs of RUNS together give each
delimiter (",", ";", "|", tab) with and without /HDR, /savelb, /ALLQUOTAS and
/utf8. The fixtures' expected values are read with python3-dbfread here.

Each table is one unit; it fails when any check finds a mismatch:
  - every run exits 0, or 1 with the "header counts N records, the file holds
    M" warning when the file holds fewer records than its header says;
  - every delimited output parses with the csv module into the names row (with
    /HDR: the exported fields of the independent header parse, in order) and
    one row per walked record, each with the table's column count; the last
    record has no line break after it;
  - SDF holds one fixed-width line ended by CR LF per walked record;
  - every cell equals dbfread's value (and the upstream asserts) as text:
    dates MM/DD/YYYY, character values without trailing blanks and with line
    breaks as spaces, memos with tabs as spaces and line breaks kept only with
    /savelb. No value is skipped for holding a quote, the delimiter or a line
    break;
  - the sample LibreOffice Calc opens (one call for all) reads the same cells
    as the csv module.
Text is compared in the Windows code page the table's mark names (a DOS
page's text translated to it), or as stored in Windows-1252 without a mark.
The command line takes only sources named .dbf, so a .dbc table runs as a copy
under a .dbf name. The damaged tables the reader refuses are skipped and listed.
"""
import argparse
import collections
import concurrent.futures
import csv
import datetime
import decimal
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

import dbfread

# The checker beside this file; the source tree gets no compiled copy of it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_corpus as cc  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from memo_gap import memo_file_lacks_memos  # noqa: E402

NUMERIC_TYPES = ("N", "F", "I", "+", "Y", "B", "O")

# Widths of the SDF columns whose text is not the stored bytes; the stored
# types take their field length, every other type adds nothing.
SDF_WIDTHS = {"T": 19, "@": 19, "I": 10, "+": 10, "Y": 20, "O": 21}

# Bytes the Windows-1252 code page leaves undefined: UTF-8 output shows them as '?'.
CP1252_UNDEFINED = frozenset("\x81\x8d\x8f\x90\x9d")

# How many tables LibreOffice opens, and the largest output it is given.
CALC_SAMPLE = 40
CALC_MAX_BYTES = 1 << 20
CALC_MAX_COLUMNS = 1000


class Run:
    """One conversion of a table: the output's name and the switches."""

    def __init__(self, output, *switches):
        self.output = output
        self.switches = switches
        self.label = " ".join((output,) + switches)
        self.ext = output.rsplit(".", 1)[1]
        words = [s.upper() for s in switches]
        separator = next((s[len("/SEP"):] for s in switches if s.upper().startswith("/SEP")), None)
        self.delimiter = {"PIPE": "|", "TAB": "\t", "SPACE": " "}.get(
            (separator or "").upper(), separator) or ("\t" if self.ext == "tsv" else ",")
        self.hdr = "/HDR" in words
        self.savelb = "/SAVELB" in words
        self.utf8 = "/UTF8" in words
        # CSV writes B and O doubles with eleven decimals, TXT and TSV with six.
        self.double_places = 11 if self.ext == "csv" else 6


RUNS = (
    Run("out.csv", "/HDR"),
    Run("out.txt"),
    Run("out.tsv", "/HDR", "/savelb"),
    Run("out.sdf"),
    Run("semicolon.csv", "/SEP;", "/HDR", "/savelb", "/utf8"),
    Run("pipe.csv", "/SEPPIPE", "/ALLQUOTAS", "/savelb"),
    Run("tab.csv", "/SEPTAB", "/ALLQUOTAS", "/HDR", "/utf8"),
    # The output LibreOffice opens for the sample.
    Run("calc.csv", "/HDR", "/savelb", "/utf8"),
)
CALC_RUN = RUNS[-1]


# ---------------------------------------------------------------- running tabrix


def run_tabrix(tabrix, table, run, workdir):
    """One conversion in the C locale with settings of its own (a run saves its
    switches as the next run's defaults); returns the result and the output's bytes."""
    path = os.path.join(workdir, run.output)
    settings = os.path.join(workdir, "settings.reg")
    for stale in (path, settings):
        if os.path.exists(stale):
            os.remove(stale)
    env = dict(os.environ, LANG="C", LC_ALL="C", TABRIX_SETTINGS=settings)
    words = [tabrix, table, run.output, *run.switches, "/EXPORTALL"]
    result = subprocess.run(words, cwd=workdir, env=env, capture_output=True, timeout=120)
    data = None
    if os.path.exists(path):
        with open(path, "rb") as f:
            data = f.read()
    return result, data


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


def check_exit(unit, run, result, ours, memos_lost=False):
    """Exit 0, or 1 with the warnings that apply: the one naming both counts for a table that holds
    fewer records than counted, and the one about memo values exactly when memos_lost (an output
    that writes memo text of a table whose memo file lacks memos its records point at)."""
    label = getattr(run, "label", run)
    stderr = result.stderr.decode("latin-1")
    lost_warning = re.search(r"\d+ memo values? could not be read", stderr) is not None
    if lost_warning != memos_lost:
        unit.fail(f"{label}: the warning about memo values that "
                  f"could not be read is {'given' if lost_warning else 'missing'}; stderr {stderr.strip()[:300]!r}")
    if ours["isShort"]:
        warning = (f"the header counts {ours['headerRecordCount']} records, "
                   f"the file holds {ours['recordCount']}")
        if result.returncode != 1 or warning not in stderr:
            unit.fail(f"{label}: exit {result.returncode}, expected 1 with "
                      f"{warning!r}; stderr {stderr.strip()!r}")
    elif result.returncode != (1 if memos_lost else 0):
        unit.fail(f"{label}: exit {result.returncode}; stderr {stderr.strip()!r}")


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


# Each DOS code page with the Windows page of the same script, which tables
# marked with the DOS page are written in.
WINDOWS_PAGE_OF_DOS = {"cp437": "cp1252", "cp850": "cp1252", "cp852": "cp1250", "cp857": "cp1254",
                       "cp860": "cp1252", "cp861": "cp1252", "cp863": "cp1252", "cp865": "cp1252",
                       "cp866": "cp1251", "cp737": "cp1253"}


def text_pages(path):
    """(stored, written): the code page the table's mark names and the
    Windows page its text is written in; None for a table without a mark of
    a Windows or DOS page, whose text is written as stored and read as
    Windows-1252."""
    with open(path, "rb") as f:
        header = f.read(32)
    if len(header) < 32 or header[29] == 0:
        return None
    stored = dbfread.codepages.codepages.get(header[29], ("",))[0]
    if not stored.startswith("cp"):
        return None
    return stored, WINDOWS_PAGE_OF_DOS.get(stored, stored)


def as_written(data, pages):
    """Stored text bytes as the outputs write them: DOS text in its Windows page
    ('?' for characters that page lacks)."""
    if pages is None or pages[0] == pages[1]:
        return data
    return data.decode(pages[0]).encode(pages[1], errors="replace")


def output_text(unit, run, data, pages):
    """The output as text whose characters are the bytes of the table's Windows
    code page (latin-1), as the expected values are; UTF-8 output must begin
    with its byte order mark and is turned back into that page's bytes."""
    if not run.utf8:
        return data.decode("latin-1")
    if not data.startswith(b"\xef\xbb\xbf"):
        unit.fail(f"{run.label}: no UTF-8 byte order mark")
        return None
    try:
        return data[3:].decode("utf-8").encode(pages[1] if pages else "cp1252").decode("latin-1")
    except UnicodeError as e:
        unit.fail(f"{run.label}: not UTF-8 of {pages[1] if pages else 'cp1252'} text: {e}")
        return None


def parse_delimited(unit, run, text, ours, doc, records):
    """The rows the csv module reads from a delimited output: the names row is
    checked and dropped; returns one row per walked record (None for a row
    without the table's column count), or None when the file has no such shape."""
    ncols = len(exported_columns(ours))
    try:
        rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=run.delimiter))
    except csv.Error as e:
        unit.fail(f"{run.label}: the csv module refuses the file: {e}")
        return None
    # The last record has no line break after it, so an empty file or one that
    # ends with a line break ends with an empty record line, which the csv
    # module does not count.
    if records and (text == "" or text.endswith(("\r", "\n"))):
        rows.append([])
    expected_rows = records + (1 if run.hdr else 0)
    if len(rows) != expected_rows:
        unit.fail(f"{run.label}: {len(rows)} rows, expected {expected_rows} "
                  f"({records} records{' and the names' if run.hdr else ''})")
        return None
    # An empty line is no value in a table without columns and one empty value else.
    rows = [row if row or ncols == 0 else [""] for row in rows]
    if run.hdr:
        names, rows = rows[0], rows[1:]
        wanted = expected_names(ours, doc)
        if run.utf8:
            wanted = ["".join("?" if c in CP1252_UNDEFINED else c for c in name) for name in wanted]
        if names != wanted:
            at = next((k for k, (a, b) in enumerate(zip(names, wanted)) if a != b), min(len(names), len(wanted)))
            unit.fail(f"{run.label}: names row of {len(names)} names, expected {len(wanted)}; from name {at}: "
                      f"{names[at:at + 3]}, expected {wanted[at:at + 3]}")
    checked = []
    for n, row in enumerate(rows):
        if len(row) != ncols:
            unit.fail(f"{run.label}: record {n}: {len(row)} values, expected {ncols}: {row[:6]!r}")
            row = None
        checked.append(row)
    return checked


def sdf_width(field):
    """The width of a field's column in SDF lines; 0 for a field they leave out."""
    if field["type"] in ("C", "D", "F", "L", "N"):
        return field["length"]
    if field["type"] == "B" and field["length"] == 8:
        return 21
    return SDF_WIDTHS.get(field["type"], 0)


def check_sdf(unit, text, ours):
    """One fixed-width line per record, each ended by CR LF; returns the lines
    cut into the cells of the right-aligned columns (leading blanks removed;
    None for the other columns and for numbers that fill their column), or
    None when the lines have the wrong length."""
    columns = [ours["fields"][i] for i in exported_columns(ours)]
    width = sum(sdf_width(f) for f in columns)
    records = len(ours["records"])
    if len(text) != records * (width + 2):
        unit.fail(f"sdf: {len(text)} bytes, expected {records} lines of {width} characters and CR LF")
        return None
    rows = []
    for n in range(records):
        end = n * (width + 2) + width
        if text[end:end + 2] != "\r\n":
            unit.fail(f"sdf: record {n} does not end with CR LF at byte {end}: {text[end:end + 2]!r}")
            return None
        row, at = [], end - width
        for f in columns:
            cell = text[at:at + sdf_width(f)]
            at += sdf_width(f)
            if f["type"] not in SDF_WIDTHS and not (f["type"] == "B" and f["length"] == 8):
                cell = None
            elif f["type"] not in ("T", "@") and not cell.startswith(" "):
                unit.skip("SDF number as wide as its column: a longer one is cut there")
                cell = None
            row.append(cell.lstrip(" ") if cell is not None else None)
        rows.append(row)
    return rows


# ---------------------------------------------------------------- expected cells


class Differs:
    """A mismatch with the whole expected cell, so that the message can show
    where a long value first differs."""

    def __init__(self, expected):
        self.expected = expected


def same_cell(cell, expected, run):
    if expected is None:
        return False
    if cell == expected:
        return True
    if run.utf8 and any(c in CP1252_UNDEFINED for c in expected):
        return "a byte Windows-1252 does not define (UTF-8 output shows '?')"
    return Differs(expected)


def character_text(expected, encoding, pages):
    """dbfread's C value as text, bytes as written in the table's Windows page
    as latin-1 characters: up to the first zero byte, line breaks as spaces
    (one record per line), without trailing blanks (leading ones stay). None
    when it does not encode."""
    if isinstance(expected, dict):
        text = as_written(expected["text_latin1"].encode("latin-1"), pages).decode("latin-1")
    else:
        try:
            text = as_written(expected.encode(encoding), pages).decode("latin-1")
        except UnicodeEncodeError:
            return None
    return cut_at_zero(text).replace("\r", " ").replace("\n", " ").rstrip(" ")


def memo_cell(data, run, pages):
    """A memo's bytes as written, as text: tabs as spaces, line breaks kept with /savelb and spaces without."""
    text = as_written(data, pages).decode("latin-1").replace("\t", " ")
    return text if run.savelb else text.replace("\r", " ").replace("\n", " ")


def other_cell(data):
    """Raw bytes of other types (W): up to the first zero byte, trimmed on both sides."""
    return cut_at_zero(data.decode("latin-1")).strip(" ")


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


def double_ok(cell, expected, places):
    """B and O: the double printed with the output's number of decimals."""
    return decimals_ok(cell, places) and decimal.Decimal(cell) == decimal.Decimal(f"{expected:.{places}f}")


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
    output shows "Gen" or "Memo" when the field names a block, else nothing."""
    if record["memos"][str(i)]["block"] == 0:
        return ""
    return "Gen" if field["type"] == "G" else "Memo"


# ---------------------------------------------------------------- values against dbfread


def compare_dbfread_cell(field, expected, cell, record, i, context):
    """One cell as the csv module read it against dbfread's value; True,
    False, or a skip reason.

    The types and skips follow check_corpus.compare_value. A memo is first
    matched with the memo the reader read by that function (which also undoes
    dbfread's dBase IV length quirk), and those bytes are what the cell must
    hold as text."""
    if i in record["nulls"]:
        return cell.strip(" ") == ""  # NULL: an empty value (blanks in SDF)
    ftype = field["type"]
    run = context["run"]
    if isinstance(expected, dict) and "invalid_hex" in expected:
        return "dbfread could not decode the value"
    if ftype == "C":
        return same_cell(cell, character_text(expected, context["encoding"], context["pages"]), run)
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
        return double_ok(cell, expected, run.double_places)
    memo = record["memos"].get(str(i))
    if ftype == "W":
        return same_cell(cell, other_cell(bytes.fromhex(expected["raw_hex"])), run)
    outcome = cc.compare_value(field, expected, record["values"][i], memo, context)
    if ftype in ("M", "G", "B") and outcome is True:
        if ftype == "M":
            return same_cell(cell, memo_cell(cc.memo_bytes(record, i), run, context["pages"]), run)
        return same_cell(cell, memo_reference_cell(field, record, i), run)
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
        unit.fail(f"{where}: cell {cell[start:start + 120]!r}, expected {want[start:start + 120]!r} "
                  f"(from character {start}; lengths {len(cell)} and {len(want)})")
    else:
        unit.fail(f"{where}: cell {cell[:120]!r}, {source} {str(expected)[:120]!r}")


def check_cells_against_dbfread(unit, run, root, table, ours, doc, rows, source="dbfread"):
    """Mirrors check_corpus.check_values_against_dbfread, cell by cell of one output."""
    if not doc["dbfread_values_usable"] or not doc["dbfread"].get("ok"):
        unit.skip("dbfread output not usable (dBase 7, dBase II or failed)")
        return
    encoding = doc["dbfread"]["encoding"]
    context = {
        "encoding": encoding,
        "memo_kind": cc.memo_kind(int(doc["header"]["version_byte"], 16)),
        "memo_bytes": cc.memo_file_bytes(root, table, doc),
        "skips": cc.dbfread_skips(doc),
        "run": run,
        "pages": unit.pages,
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
            if cell is None:
                continue
            outcome = compare_dbfread_cell(field, expected, cell, record, i, context)
            tally(unit, outcome, f"{run.label}: record {index} {name} ({field['type']})", cell, expected, source)


# ---------------------------------------------------------------- values against upstream asserts


def null_like_cell(field, cell):
    """What a NULL (or an absent value) shows: the blank or zero stored for it."""
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


def compare_asserted_cell(run, ours, record, i, note, expected, cell, pages):
    """One asserted value against its cell; True, False, or a skip reason.

    The branches follow check_corpus.compare_asserted. Asserts about a memo as
    a whole (block and length, a trimmed text or its start) are first matched
    with the memo the reader read by that function; the cell must hold those
    bytes as text."""
    if i in record["nulls"]:
        return cell.strip(" ") == ""  # NULL: an empty value (blanks in SDF)
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
            return same_cell(cell, memo_cell(cc.memo_bytes(record, i), run, pages), run)
        return same_cell(cell, memo_reference_cell(field, record, i), run)
    if ftype == "W":
        return "blob (W): the reader shows its raw bytes, not the memo"
    if expected is None:
        outcome = cc.compare_asserted(ours, record, i, note, expected)
        return outcome if outcome is not True else null_like_cell(field, cell)
    if "memo pointer" in note:
        if ftype == "M":
            return "memo block number: the output holds the memo text"
        return same_cell(cell, memo_reference_cell(field, record, i), run)
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
            return double_ok(cell, expected, run.double_places)
        return is_trimmed(cell) and numbers_equal(cell, expected)
    if ftype == "D":
        return date_of(cell) == expected
    if ftype in ("T", "@"):
        when = date_time_of(cell)
        return when is not None and when.strftime("%Y-%m-%d %H:%M:%S") == expected
    # Text: the other readers trim C values; a C value keeps its leading blanks in the output.
    return cell.strip(" ") == expected.strip(" ")


def check_cells_against_asserts(unit, run, ours, asserts, rows):
    """Mirrors check_corpus.check_upstream_asserts for the values (the header facts are the reader's).
    A None cell is a column the output leaves out."""
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
            if cell is None:
                continue
            outcome = compare_asserted_cell(run, ours, ours["records"][index], i, note, expected, cell, unit.pages)
            tally(unit, outcome, f"{run.label}: asserted record {n} (record {index}) {key}", cell, expected,
                  "asserted")


# ---------------------------------------------------------------- fixture tables


def json_value(value):
    """A dbfread value in the encoding of the corpus's NAME.dbfread.json files."""
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.isoformat()
    if isinstance(value, decimal.Decimal):
        return {"decimal": str(value)}
    if isinstance(value, bytes):
        return {"hex": value.hex()}
    return value


def fixture_doc(path):
    """What the corpus's NAME.dbfread.json holds, read now with python3-dbfread
    from a fixture table: its records in physical order (deleted ones too, as
    the /EXPORTALL runs write them), text byte for byte as latin-1."""
    table = dbfread.DBF(path, encoding="latin-1", ignore_missing_memofile=True)
    live, deleted = iter(list(table)), iter(list(table.deleted))
    with open(path, "rb") as f:
        data = f.read()
    records = []
    for n in range(table.header.numrecords):
        start = table.header.headerlen + n * table.header.recordlen
        record = next(deleted if data[start:start + 1] == b"*" else live)
        records.append({"_index": n, **{k: json_value(v) for k, v in record.items()}})
    memo = table.memofilename
    return {
        "header": {"version_byte": f"0x{table.header.dbversion:02X}"},
        "memo": {"file": os.path.basename(memo)} if memo else None,
        "caveats": [],
        "dbfread_values_usable": True,
        "dbfread": {"ok": True, "encoding": "latin-1", "records": records,
                    "fields": [{"name": f.name, "type": f.type, "length": f.length} for f in table.fields]},
    }


def copy_fixtures(golden, target):
    """The golden cases' distinct input tables, copied with their memo files; returns their relative paths."""
    tables = []
    for case in cc.distinct_golden_cases(golden):
        os.makedirs(os.path.join(target, case))
        for name in os.listdir(os.path.join(golden, case)):
            if name.lower().startswith("table."):
                shutil.copy(os.path.join(golden, case, name), os.path.join(target, case, name))
        tables.append(os.path.join(case, "table.dbf"))
    return tables


# ---------------------------------------------------------------- LibreOffice Calc


def calc_cells(path):
    """The cells of the first sheet of an XLSX workbook, row by row, as text."""
    ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
    with zipfile.ZipFile(path) as book:
        strings = []
        if "xl/sharedStrings.xml" in book.namelist():
            for item in ElementTree.fromstring(book.read("xl/sharedStrings.xml")).findall("m:si", ns):
                strings.append(xlsx_text("".join(t.text or "" for t in item.iter(f"{{{ns['m']}}}t"))))
        sheet = ElementTree.fromstring(book.read("xl/worksheets/sheet1.xml"))
    rows = {}
    for row in sheet.iter(f"{{{ns['m']}}}row"):
        cells = {}
        for cell in row.findall("m:c", ns):
            column = 0
            for letter in re.match(r"[A-Z]+", cell.get("r")).group(0):
                column = column * 26 + ord(letter) - ord("A") + 1
            value = cell.find("m:v", ns)
            inline = cell.find("m:is", ns)
            if cell.get("t") == "s":
                text = strings[int(value.text)]
            elif inline is not None:
                text = xlsx_text("".join(t.text or "" for t in inline.iter(f"{{{ns['m']}}}t")))
            else:
                text = value.text if value is not None else ""
            cells[column - 1] = text
        rows[int(row.get("r")) - 1] = cells
    return rows


def xlsx_text(text):
    """A cell's text: XLSX writes control characters as _xHHHH_."""
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def calc_form(text):
    """A cell as a spreadsheet holds it: a line break as LF, no zero bytes."""
    return text.replace("\r\n", "\n").replace("\r", "\n").replace("\0", "")


def check_with_calc(soffice, sample, folder):
    """Opens every sampled CSV in LibreOffice Calc (one call, every column read
    as text) and compares its cells with the rows the csv module read.
    sample maps a table to the path of its output and those rows."""
    if not sample:
        return []
    columns = max(len(rows[0]) for _, rows in sample.values())
    # Comma, double quote, UTF-8, from line 1, every column as text.
    formats = "/".join(f"{c}/2" for c in range(1, columns + 1))
    profile = "file://" + os.path.join(folder, "profile")
    books = os.path.join(folder, "books")
    paths = [path for path, _ in sample.values()]
    result = subprocess.run([soffice, "--headless", "--norestore", f"-env:UserInstallation={profile}",
                             f"--infilter=CSV:44,34,76,1,{formats}", "--convert-to", "xlsx", "--outdir", books]
                            + paths, capture_output=True, timeout=600)
    failures = []
    for table, (path, rows) in sample.items():
        book = os.path.join(books, os.path.splitext(os.path.basename(path))[0] + ".xlsx")
        if not os.path.exists(book):
            failures.append(f"{table}: LibreOffice wrote no workbook (exit {result.returncode}: "
                            f"{result.stderr.decode(errors='replace').strip()[:200]})")
            continue
        cells = calc_cells(book)
        if max(cells, default=-1) >= len(rows):
            failures.append(f"{table}: LibreOffice reads {max(cells) + 1} rows, the csv module {len(rows)}")
        for n, row in enumerate(rows):
            # The sample is UTF-8 output; the csv module's rows hold its Windows-1252 bytes.
            got = [calc_form(cells.get(n, {}).get(c, "")).encode("cp1252", errors="replace").decode("latin-1")
                   for c in range(len(row))]
            extra = [c for c in cells.get(n, {}) if c >= len(row)]
            want = [calc_form(v) for v in row]
            if got != want or extra:
                at = next((c for c in range(len(row)) if got[c] != want[c]), len(row))
                failures.append(f"{table}: row {n}: LibreOffice {got[at:at + 2]!r}{' and more columns' if extra else ''}"
                                f", the csv module {want[at:at + 2]!r} (column {at})")
                break
    return failures


# ---------------------------------------------------------------- driver


def check_table(root, workdir, tabrix, dump, table, doc, siblings, asserts):
    """Every run of one table; returns the unit and, for the Calc sample, the
    path of its calc output with the csv module's rows (names row first)."""
    unit = cc.Unit(table)
    path = os.path.join(root, table)
    ours, error = cc.run_dump(dump, path)
    if ours is None:
        unit.fail(error)
        return unit, None
    if not ours["ok"]:
        unit.fail(f"does not open: {ours['error']}")
        return unit, None
    os.makedirs(workdir)
    unit.pages = text_pages(path)
    source = path if table.lower().endswith(".dbf") else dbf_alias(path, ours, workdir)
    records = len(ours["records"])
    calc = None
    # SDF lines hold no memo text, so only the other outputs can lose some.
    memos_lost = memo_file_lacks_memos(path, deleted_too=True)
    for run in RUNS:
        result, data = run_tabrix(tabrix, source, run, workdir)
        check_exit(unit, run, result, ours, memos_lost and run.ext != "sdf")
        if data is None:
            unit.fail(f"{run.label}: no output written")
            continue
        text = output_text(unit, run, data, unit.pages)
        if text is None:
            continue
        if run.ext == "sdf":
            rows = check_sdf(unit, text, ours)
        else:
            rows = parse_delimited(unit, run, text, ours, doc, records)
        if rows is None:
            continue
        if doc is not None:
            check_cells_against_dbfread(unit, run, root, table, ours, doc, rows)
        for sibling, sibling_doc in siblings:
            check_cells_against_dbfread(unit, run, root, sibling, ours, sibling_doc, rows,
                                        source=f"dbfread of {sibling}")
        if asserts is not None:
            check_cells_against_asserts(unit, run, ours, asserts, rows)
        if run is CALC_RUN and None not in rows:
            names = next(csv.reader(io.StringIO(text, newline="")))
            kept = os.path.join(os.path.dirname(workdir), table.replace(os.sep, "__") + ".csv")
            shutil.copyfile(os.path.join(workdir, run.output), kept)
            calc = (kept, [names] + rows)
    shutil.rmtree(workdir)
    return unit, calc


def calc_sample(candidates):
    """The tables LibreOffice opens: those whose output holds an enclosed value
    first (a quote, the delimiter or a line break inside a value), then others,
    each small enough for one quick call."""
    fitting = {t: c for t, c in candidates.items()
               if os.path.getsize(c[0]) <= CALC_MAX_BYTES and len(c[1][0]) <= CALC_MAX_COLUMNS}

    def enclosed(table):
        with open(fitting[table][0], "rb") as f:
            return b'"' in f.read()

    ordered = sorted(fitting, key=lambda t: (not enclosed(t), t))
    return {t: fitting[t] for t in ordered[:CALC_SAMPLE]}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True, help="path of the tabrix executable")
    parser.add_argument("--dump", required=True, help="path of the table_dump executable")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--fixtures", required=True, help="the golden cases folder (tests/data/golden)")
    parser.add_argument("--soffice", default="soffice", help="the LibreOffice program")
    parser.add_argument("--only", help="check only tables whose path contains this text")
    parser.add_argument("--verbose", action="store_true", help="list every table with its counts")
    args = parser.parse_args()
    # Memos of several hundred kilobytes are single values.
    csv.field_size_limit(sys.maxsize)
    source = cc.corpus_folder(args.corpus)
    tabrix = os.path.abspath(args.tabrix)
    dump = os.path.abspath(args.dump)
    soffice = shutil.which(args.soffice)
    if soffice is None:
        sys.exit(f"output check FAILED: LibreOffice ({args.soffice}) not found; install libreoffice-calc-nogui")

    skipped_tables = []
    with tempfile.TemporaryDirectory(prefix="tabrix-corpus-outputs-") as temp:
        root = os.path.join(temp, "corpus")
        work = os.path.join(temp, "work")
        cc.copy_corpus(source, root)
        docs, asserts = cc.expectation_files(root)
        jobs = []
        for table in cc.find_tables(root):
            if args.only and args.only not in table:
                continue
            if table in cc.UNREADABLE:
                skipped_tables.append((table, f"refused by the reader ({cc.UNREADABLE[table]})"))
                continue
            siblings = [(cc.SIBLINGS[table], docs[cc.SIBLINGS[table]])] if table in cc.SIBLINGS else []
            jobs.append((root, table, docs.get(table), siblings, cc.asserts_for(asserts, table)))
        fixtures = os.path.join(temp, "fixtures")
        for table in copy_fixtures(args.fixtures, fixtures):
            if not args.only or args.only in table:
                jobs.append((fixtures, table, fixture_doc(os.path.join(fixtures, table)), [], None))

        # Two tables at a time: the conversions of one overlap the reading of the other's outputs.
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(
                lambda n_job: check_table(n_job[1][0], os.path.join(work, str(n_job[0])), tabrix, dump,
                                          *n_job[1][1:]),
                enumerate(jobs)))
        units = [unit for unit, _ in results]
        sample = calc_sample({unit.name: calc for unit, calc in results if calc is not None})
        calc_failures = check_with_calc(soffice, sample, os.path.join(temp, "calc"))

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
    for message in calc_failures:
        print(f"FAIL LibreOffice: {message}")
    print(f"LibreOffice Calc read {len(sample)} outputs, {len(calc_failures)} differ")
    print(f"values compared: {sum(u.compared for u in units)}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    failed = sum(1 for u in units if u.failures)
    print(f"{len(units) - failed} passed, {failed} failed")
    return 1 if failed or calc_failures or not units or not sample else 0


if __name__ == "__main__":
    sys.exit(main())
