#!/usr/bin/python3
"""Converts the fixture tables and every readable table of the third-party
corpus to the four DBF levels and reads each output back with independent
readers.

    /usr/bin/python3 check_dbf_outputs.py --tabrix PATH/tabrix --dump PATH/table_dump \
        --corpus PATH/corpus --fixtures PATH/tests/data/golden

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. The
tables are copied to a temporary folder first. Every table runs as `tabrix TABLE out.dbf /LEVEL /EXPORTALL`
for /DBASE3, /DBASE4, /VFP and /dbase7, so deleted records are written too.

Each table is one unit; it fails when any check finds a mismatch:
  - the conversion exits 0 (1 only with the warning about a source that holds
    fewer records than its header counts, the warning about memo values that
    could not be read, or, for dBase III, the report of memos cut at a 0x1A
    byte, which that memo format ends at); the memo warning comes exactly for
    the tables whose records point at memos their memo file lacks;
  - our reader (table_dump) reads every output: the same records with the same
    deletion flags, the exported fields, the level's version byte and header
    length ("DBWINUS0" at 32 for level 7);
  - dBase III, dBase IV and Visual FoxPro outputs: python3-dbfread gives the
    source's values and memo texts. The source's values are dbfread's reading
    of the source where dbfread reads it (not level 7), otherwise table_dump's
    text of it; memos are table_dump's reading of the source's memo file;
  - dBase III and Visual FoxPro outputs: python3-dbf reads every record and
    agrees with dbfread;
  - level 7 outputs (no independent reader knows them): table_dump's text of
    every value equals its text of the source's value.
Conversions lossy by definition are compared accordingly and counted: a
date-time in dBase III keeps its date; a dBase III memo ends at its first 0x1A.
"""
import argparse
import collections
import datetime
import decimal
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

import dbf
import dbfread

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import check_corpus as cc  # noqa: E402
import check_corpus_outputs as cco  # noqa: E402
from memo_gap import memo_file_lacks_memos  # noqa: E402
from null_flags import numbered_by_position  # noqa: E402
from tabrix_env import isolated  # noqa: E402

LEVELS = (("DBASE3", "dBase III"), ("DBASE4", "dBase IV"), ("VFP", "Visual FoxPro"), ("dbase7", "level 7"))
MEMO_TYPES = ("M", "G", "P", "W")
LOSSY_DATE_TIME = "date-time to dBase III date (time dropped by definition)"
LOSSY_MEMO_CUT = "dBase III memo cut at its first 0x1A"


def lives_in_memo(field):
    return field["type"] in MEMO_TYPES or (field["type"] == "B" and field["length"] != 8)


def exported(ours, level=None):
    """Exported fields; level 7 leaves out fields of no bytes, whose descriptors its readers drop."""
    return [i for i, f in enumerate(ours["fields"])
            if not f["excluded"] and not (level == "dbase7" and f["length"] == 0)]


def latin1(text):
    return text.encode("latin-1")


def memo_bytes(ours_record, i):
    memo = ours_record["memos"].get(str(i))
    if memo is None or memo["text"] is None:
        return b""
    return latin1(memo["text"])


def as_bytes(value):
    if value is None:
        return b""
    return value if isinstance(value, bytes) else latin1(value)


def rounded(when):
    """A date-time rounded to the second, as the reader shows it."""
    if when.microsecond >= 500000:
        when += datetime.timedelta(seconds=1)
    return when.replace(microsecond=0)


def logical_of(text):
    if text[:1] in ("T", "t", "Y", "y"):
        return True
    if text[:1] in ("F", "f", "N", "n"):
        return False
    return None


def number_of(text):
    text = text.strip(" ")
    if text == "":
        return None
    try:
        return float(text.replace(",", "."))
    except ValueError:
        return "invalid"


def date_of_text(text):
    digits = text.replace("-", "").strip(" ")
    if digits.strip("0") == "":
        return None
    try:
        return datetime.date(int(digits[:4]), int(digits[4:6]), int(digits[6:8]))
    except ValueError:
        return "invalid"


# ---------------------------------------------------------------- reading tables


def read_dbfread(path):
    """(fields, records in physical order with their deletion flag) or raises."""
    # dbfread wants a memo file beside any table with a B field, even the
    # doubles of Visual FoxPro; a memo it does not find reads as None, which
    # the memo comparison catches.
    table = dbfread.DBF(path, encoding="latin-1", load=False, ignore_missing_memofile=True)
    live = list(table.records)
    deleted = list(table.deleted)
    return table.fields, live, deleted


def in_physical_order(ours, live, deleted):
    """dbfread's live and deleted lists merged in the order of the walk; None when they do not add up."""
    flags = [r["flag"] == "2A" for r in ours["records"]]
    if len(live) + len(deleted) != len(flags) or sum(flags) != len(deleted):
        return None
    live_it, deleted_it = iter(live), iter(deleted)
    return [next(deleted_it) if d else next(live_it) for d in flags]


def run_tabrix(tabrix, source, output, switch):
    for ext in (".dbf", ".dbt", ".fpt"):
        path = os.path.splitext(output)[0] + ext
        if os.path.exists(path):
            os.remove(path)
    env = isolated(dict(os.environ, LANG="C", LC_ALL="C"))
    return subprocess.run([tabrix, source, output, "/" + switch, "/EXPORTALL"], env=env, capture_output=True,
                          timeout=120)


# ---------------------------------------------------------------- expected values


def expected_from_text(field, text, memo, level):
    """What dbfread must read from the output for a source value known only by
    its text in table_dump (level 7 sources, or tables dbfread cannot read)."""
    ftype = field["type"]
    if lives_in_memo(field):
        return ("memo", memo)
    if ftype in ("C", "V", "Q"):
        return ("eq", text.rstrip(" "))
    if ftype in ("N", "F"):
        return ("num", number_of(text))
    if ftype == "D":
        return ("eq", date_of_text(text))
    if ftype == "L":
        return ("eq", logical_of(text))
    if ftype in ("I", "+"):
        return ("num", float(text))
    if ftype in ("O", "B"):
        return ("double_text", text)
    if ftype == "Y":
        return ("currency_text", decimal.Decimal(text))
    if ftype in ("T", "@"):
        if text == "":
            return ("eq", None)
        when = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
        return ("eq", when.date()) if level == "DBASE3" else ("datetime", when)
    return None


def expected_from_dbfread(field, value, text, memo, level):
    """What dbfread must read from the output, from its reading of the source."""
    ftype = field["type"]
    if lives_in_memo(field):
        return ("memo", memo)
    if ftype in ("V", "Q", "O", "@") or (ftype == "T" and field["length"] != 8):
        # dbfread reads these wrongly in the source (full varchar, little-endian O and @).
        return expected_from_text(field, text, memo, level)
    if ftype in ("N", "F", "I", "+", "Y"):
        return ("num", None if value is None else float(value))
    if ftype == "B":
        return ("double", value)
    if ftype == "T":
        if value is None:
            return ("eq", None)
        return ("eq", rounded(value).date()) if level == "DBASE3" else ("eq", value)
    if ftype in ("C", "D", "L"):
        return ("eq", value)
    return None


def matches(kind, expected, actual, level):
    """True, or False; memos follow the output level's memo reader in dbfread."""
    if kind == "eq":
        return actual == expected
    if kind == "num":
        if expected is None or actual is None:
            return expected is None and actual is None
        return expected != "invalid" and float(actual) == expected
    if kind == "double":
        if expected is None or (isinstance(expected, float) and not math.isfinite(expected)):
            return actual is None or (isinstance(actual, float) and not math.isfinite(actual))
        return actual is not None and float(actual) == expected
    if kind == "currency_text":
        places = -expected.as_tuple().exponent
        return actual is not None and round(decimal.Decimal(repr(float(actual))), places) == expected
    if kind == "double_text":
        return actual is not None and f"{float(actual):.6f}" == expected
    if kind == "datetime":
        return actual is not None and rounded(actual) == expected
    if kind == "memo":
        got = as_bytes(actual)
        if level == "DBASE3":
            return got == expected.split(b"\x1a", 1)[0]
        if level == "DBASE4":
            # dbfread reads a dBase IV memo 8 bytes too long and cuts it at 0x1F.
            want = expected.split(b"\x1f", 1)[0]
            if b"\x1f" in expected:
                return got == want
            return got[:len(want)] == want and len(got) <= len(want) + 8
        return got == expected
    return False


# ---------------------------------------------------------------- checks


class Check:
    def __init__(self, name):
        self.unit = cc.Unit(name)
        self.lossy = collections.Counter()

    def tally(self, ok, what):
        if ok is True:
            self.unit.compared += 1
        elif isinstance(ok, str):
            self.unit.skip(ok)
        else:
            self.unit.fail(what)


def check_exit(check, level, result, ours, memos_lost):
    stderr = result.stderr.decode("latin-1")
    lost_warning = re.search(r"\d+ memo values? could not be read", stderr) is not None
    if lost_warning != memos_lost:
        check.unit.fail(f"{level}: the warning about memo values that could not be read is "
                        f"{'given' if lost_warning else 'missing'}: {stderr.strip()[:300]}")
        return False
    if result.returncode == 0:
        return True
    allowed = (ours["isShort"] and "the header counts" in stderr) or lost_warning
    if level == "DBASE3" and "where a dBase III memo ends" in stderr:
        check.lossy[LOSSY_MEMO_CUT] += 1
        allowed = True
    if result.returncode != 1 or not allowed:
        check.unit.fail(f"{level}: exit {result.returncode}: {stderr.strip()[:300]}")
        return False
    return True


def check_structure(check, level, out, ours):
    """Our reader's view of the output: records, flags, fields, header."""
    if not out["ok"]:
        check.unit.fail(f"{level}: our reader refuses the output: {out['error']}")
        return False
    columns = exported(ours, level)
    # A Visual FoxPro output of a table with NULL values ends with its own null flags field.
    flags_field = level == "VFP" and any(f["excluded"] for f in ours["fields"]) and bool(out.get("fields")) \
        and out["fields"][-1]["excluded"]
    n = len(columns) + flags_field
    version = out["version"]
    layout_length = {"DBASE3": 32 * n + 33, "DBASE4": 32 * n + 33, "VFP": 32 * n + 296, "dbase7": 48 * n + 69}[level]
    versions = {"DBASE3": (0x03, 0x83), "DBASE4": (0x43, 0x8B), "VFP": (0x30,), "dbase7": (0x04, 0x8C)}[level]
    if version not in versions:
        check.unit.fail(f"{level}: version byte {version:#04x}")
    if out["headerLength"] != layout_length:
        check.unit.fail(f"{level}: header length {out['headerLength']}, expected {layout_length}")
    if len(out["fields"]) != n:
        check.unit.fail(f"{level}: {len(out['fields'])} fields, expected {n}")
        return False
    flags = [r["flag"] == "2A" for r in ours["records"]]
    if [r["flag"] == "2A" for r in out["records"]] != flags or out["isShort"]:
        check.unit.fail(f"{level}: {len(out['records'])} records, expected {len(flags)} with the same deletion flags")
        return False
    for k, i in enumerate(columns):
        want = ours["fields"][i]["name"][:10] if level != "dbase7" else ours["fields"][i]["name"]
        got = out["fields"][k]["name"]
        if got != want and not got.startswith(want[: len(got) - 2]):
            check.unit.fail(f"{level}: field {k} named {got!r}, expected {want!r}")
    return True


def check_level7(check, out, ours):
    """Level 7 output against the source, both as our reader's text."""
    columns = exported(ours, "dbase7")
    for n, (src, got) in enumerate(zip(ours["records"], out["records"])):
        for k, i in enumerate(columns):
            field = ours["fields"][i]
            what = f"dbase7: record {n} {field['name']} ({field['type']})"
            if field["type"] in ("W", "P"):
                check.unit.skip("W and P memos: no independent reading of the source")
                continue
            if lives_in_memo(field):
                memo = got["memos"].get(str(k))
                check.tally(memo is not None and as_bytes(memo["text"]) == memo_bytes(src, i), what)
                continue
            want, have = src["values"][i], got["values"][k]
            if i in src["nulls"]:
                # NULL: level 7 has none, so the field is blank (binary fields read as zero).
                check.tally(have.strip(" -:") in ("", "0", "0.0000", "0.000000"), f"{what}: NULL read as {have[:80]!r}")
                continue
            if field["type"] == "Y":
                ok = (want == "" and have.strip() == "") or (
                    have.strip() != "" and round(decimal.Decimal(have.strip()), len(want.split(".")[-1]))
                    == decimal.Decimal(want))
            elif field["type"] in ("N", "F", "I", "+"):
                # Integers of other levels enter level 7 as N(11).
                ok = have.strip(" ") == want.strip(" ")
            else:
                ok = have.rstrip(" ") == want.rstrip(" ")
            check.tally(ok, f"{what}: {have[:80]!r}, expected {want[:80]!r}")


def check_memos_by_our_reader(check, level, out, ours):
    """Every memo of the output, read by our reader, is the source's memo (cut at
    0x1A in dBase III)."""
    columns = exported(ours)
    for n, (src, got) in enumerate(zip(ours["records"], out["records"])):
        for k, i in enumerate(columns):
            field = ours["fields"][i]
            if not lives_in_memo(field) or field["type"] in ("W", "P"):
                continue
            want = memo_bytes(src, i)
            if level == "DBASE3":
                want = want.split(b"\x1a", 1)[0]
            memo = got["memos"].get(str(k))
            have = as_bytes(memo["text"]) if memo is not None else None
            check.tally(have == want, f"{level}: our reader, record {n} memo {field['name']}: "
                                      f"{str(have)[:80]!r}, expected {str(want)[:80]!r}")


def check_with_dbfread(check, level, path, ours, source_records, source_error):
    # dbfread reads every dBase IV memo file in blocks of 512 bytes; a copied
    # memo file of other blocks is checked by our reader only.
    memo_blocks_512 = not (level == "DBASE4" and ours["version"] == 0x8B and ours["memo"] is not None
                           and ours["memo"]["blockSize"] != 512)
    """dBase III, dBase IV and Visual FoxPro outputs through dbfread."""
    try:
        fields, live, deleted = read_dbfread(path)
    except Exception as e:  # noqa: BLE001 - any refusal is the finding
        damaged_flags = any(r["flag"] not in ("20", "2A") for r in ours["records"])
        if source_error is not None and type(e).__name__ == source_error[0] and str(e) == source_error[1]:
            check.unit.skip("dbfread refuses the source's own values the same way")
        elif damaged_flags and isinstance(e, ValueError):
            # The output marks them active, as every other output treats them.
            check.unit.skip("records with a damaged deletion flag, which dbfread passes over in the source, "
                            "hold values it refuses")
        else:
            check.unit.fail(f"{level}: dbfread cannot read the output: {type(e).__name__}: {e}")
        return None
    records = in_physical_order(ours, live, deleted)
    if records is None:
        check.unit.fail(f"{level}: dbfread reads {len(live)} live and {len(deleted)} deleted records")
        return None
    columns = exported(ours)
    names = [f.name for f in fields]
    for n, record in enumerate(records):
        values = list(record.values())
        src = ours["records"][n]
        for k, i in enumerate(columns):
            field = ours["fields"][i]
            memo = memo_bytes(src, i)
            if field["type"] == "W" or field["type"] == "P":
                check.unit.skip("W and P memos: no independent reading of the source")
                continue
            if source_records is not None:
                expected = expected_from_dbfread(field, list(source_records[n].values())[i], src["values"][i], memo, level)
            else:
                expected = expected_from_text(field, src["values"][i], memo, level)
            if expected is None:
                check.unit.skip(f"type {field['type']} not compared")
                continue
            if expected[0] == "memo" and not memo_blocks_512:
                check.unit.skip("dBase IV memo file of blocks other than 512 bytes, copied whole: dbfread reads 512")
                continue
            actual = values[k]
            if i in src["nulls"]:
                # NULL: a blank field (zero bytes where binary), whatever the source stores under its flag.
                check.tally(actual in (None, "", b"") or (actual == 0 and actual is not False),
                            f"{level}: record {n} {names[k]}: NULL read as {str(actual)[:80]!r}")
                continue
            ok = matches(expected[0], expected[1], actual, level)
            if ok and level == "DBASE3" and field["type"] in ("T", "@") and expected[1] is not None:
                check.lossy[LOSSY_DATE_TIME] += 1
            if ok and level == "DBASE3" and expected[0] == "memo" and b"\x1a" in expected[1]:
                check.lossy[LOSSY_MEMO_CUT] += 1
            check.tally(ok, f"{level}: record {n} {names[k]} ({field['type']}): {str(actual)[:80]!r}, "
                            f"expected {str(expected[1])[:80]!r}")
    return records


def normal(value):
    """python-dbf's value in dbfread's terms (text as bytes, numbers as floats)."""
    if isinstance(value, str):
        return value.encode("cp437").rstrip(b"\0 ")
    if isinstance(value, bytes):  # character fields with the binary flag
        return value.rstrip(b"\0 ")
    if isinstance(value, (int, float, decimal.Decimal)) and not isinstance(value, bool):
        return float(value)
    return value


def python_dbf_limit(ours):
    """Why python3-dbf cannot read a table with these fields, or None."""
    for f in ours["fields"]:
        if f["type"] == "C" and f["length"] > 255:
            return "python3-dbf reads no character field above 255 bytes"
        if (f["type"] == "D" and f["length"] != 8) or (f["type"] == "L" and f["length"] != 1):
            return "python3-dbf reads dates of 8 bytes and logicals of 1 only"
    return None


def read_python_dbf(path):
    """Every record of a table as python3-dbf reads it (code page 437 maps every byte)."""
    table = dbf.Table(path, codepage="cp437")
    table.open(dbf.READ_ONLY)
    try:
        names = list(table.field_names)
        kinds = [chr(table.field_info(name).field_type) for name in names]
        rows = [[row[k] for k in range(len(names))] for row in table]
    finally:
        table.close()
    return names, kinds, rows


def check_with_python_dbf(check, level, path, records, ours, source):
    """python3-dbf reads every record and agrees with dbfread on the plain types."""
    limit = python_dbf_limit(ours)
    if not numbered_by_position(path):
        limit = "python3-dbf numbers null flags by field position, not by nullable field"
    if limit:
        check.unit.skip(limit)
        return
    try:
        names, kinds, rows = read_python_dbf(path)
    except Exception as e:  # noqa: BLE001 - any refusal is the finding
        failure = (type(e).__name__, str(e).replace(path, ""))
        try:
            read_python_dbf(source)
            source_failure = None
        except Exception as s:  # noqa: BLE001
            source_failure = (type(s).__name__, str(s).replace(source, ""))
        if source_failure is not None and source_failure[0] == failure[0]:
            check.unit.skip("python3-dbf refuses the source's own values the same way")
        else:
            check.unit.fail(f"{level}: python3-dbf cannot read the output: {failure[0]}: {failure[1][:200]}")
        return
    if len(rows) != len(records):
        check.unit.fail(f"{level}: python3-dbf reads {len(rows)} records, dbfread {len(records)}")
        return
    for n, (row, record) in enumerate(zip(rows, records)):
        values = list(record.values())
        for k, name in enumerate(names):
            if kinds[k] not in ("C", "N", "F", "D", "L", "I", "Y"):
                continue
            got, want = normal(row[k]), values[k]
            if kinds[k] == "C":
                want = latin1(want or "").rstrip(b"\0 ")
                got = got or b""
            elif isinstance(want, (int, float, decimal.Decimal)) and not isinstance(want, bool):
                want = float(want)
            if kinds[k] == "D" and not isinstance(got, datetime.date):
                got = None
            if kinds[k] == "L" and got is not None:
                got = bool(got)
            check.tally(got == want, f"{level}: python3-dbf record {n} {name}: {str(got)[:80]!r}, dbfread {str(want)[:80]!r}")


def check_table(root, workdir, tabrix, dump, table):
    check = Check(table)
    path = os.path.join(root, table)
    ours, error = cc.run_dump(dump, path)
    if ours is None or not ours["ok"]:
        check.unit.fail(error or f"does not open: {ours['error']}")
        return check
    source = path if table.lower().endswith(".dbf") else cco.dbf_alias(path, ours, workdir)
    source_records, source_error = None, None
    if not ours["level7"]:
        try:
            fields, live, deleted = read_dbfread(source)
            source_records = in_physical_order(ours, live, deleted)
            # dbfread keeps one value per name: a table with repeated names is read by ours.
            if len(fields) != len(ours["fields"]) or len({f.name for f in fields}) != len(fields):
                source_records = None
            if source_records is None:
                check.unit.skip("dbfread frames the source otherwise: compared with our reading")
        except Exception as e:  # noqa: BLE001
            source_error = (type(e).__name__, str(e))
            check.unit.skip("dbfread cannot read the source: compared with our reading")
    memos_lost = memo_file_lacks_memos(path, deleted_too=True)
    for switch, _ in LEVELS:
        output = os.path.join(workdir, f"out_{switch}.dbf")
        result = run_tabrix(tabrix, source, output, switch)
        if not check_exit(check, switch, result, ours, memos_lost) or not os.path.exists(output):
            if os.path.exists(output) is False:
                check.unit.fail(f"{switch}: no output written")
            continue
        out, error = cc.run_dump(dump, output)
        if out is None:
            check.unit.fail(f"{switch}: {error}")
            continue
        if not check_structure(check, switch, out, ours):
            continue
        if switch == "dbase7":
            check_level7(check, out, ours)
            continue
        check_memos_by_our_reader(check, switch, out, ours)
        records = check_with_dbfread(check, switch, output, ours, source_records, source_error)
        if records is not None and switch in ("DBASE3", "VFP") and len(records) <= 5000:
            check_with_python_dbf(check, switch, output, records, ours, source)
    return check


def fixture_tables(folder, target):
    """The golden cases' distinct input tables, copied with their memo files."""
    tables = []
    for case in cc.distinct_golden_cases(folder):
        os.makedirs(os.path.join(target, case))
        for name in os.listdir(os.path.join(folder, case)):
            if name.lower().startswith("table."):
                shutil.copy(os.path.join(folder, case, name), os.path.join(target, case, name))
        tables.append(os.path.join(case, "table.dbf"))
    return tables


def extremes_table(target):
    """Visual FoxPro values at the ends of their ranges, written by python3-dbf."""
    os.makedirs(os.path.join(target, "extremes"))
    path = os.path.join(target, "extremes", "extremes.dbf")
    table = dbf.Table(path, "CNT I; PRICE Y; RATE B; STAMP T; NAME C(10); NOTE M", dbf_type="vfp",
                      codepage="cp1252")
    table.open(dbf.READ_WRITE)
    rows = [
        (-2147483647, decimal.Decimal("-922337203685477.5807"), -1.7976931348623157e308,
         datetime.datetime(1, 1, 1, 0, 0, 0), "first", "a\x1fb"),
        (2147483646, decimal.Decimal("922337203685477.5807"), 5e-324,
         datetime.datetime(9999, 12, 31, 23, 59, 59), "last", "x" * 600),
        (0, decimal.Decimal("0.0001"), 0.1, datetime.datetime(2024, 3, 5, 10, 20, 0), "", None),
    ]
    for row in rows:
        table.append(row)
    table.close()
    # python3-dbf refuses the outermost integers and currency amounts: set them in the bytes.
    with open(path, "r+b") as f:
        head = f.read(12)
        start, length = struct.unpack("<H", head[8:10])[0], struct.unpack("<H", head[10:12])[0]
        for n, (count, amount) in enumerate([(-2**31, -2**63), (2**31 - 1, None)]):
            f.seek(start + n * length + 1)
            f.write(struct.pack("<i", count) + (struct.pack("<q", amount) if amount is not None else b""))
    return [os.path.join("extremes", "extremes.dbf")]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--corpus")
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--only", help="check only tables whose path contains this text")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    corpus = cc.corpus_folder(args.corpus)
    tabrix, dump = os.path.abspath(args.tabrix), os.path.abspath(args.dump)

    checks = []
    skipped_tables = []
    with tempfile.TemporaryDirectory(prefix="tabrix-dbf-outputs-") as temp:
        root = os.path.join(temp, "tables")
        workdir = os.path.join(temp, "work")
        cc.copy_corpus(corpus, os.path.join(root, "corpus"))
        os.mkdir(workdir)
        tables = fixture_tables(args.fixtures, os.path.join(root, "fixtures"))
        tables = [os.path.join("fixtures", t) for t in tables]
        tables += [os.path.join("fixtures", t) for t in extremes_table(os.path.join(root, "fixtures"))]
        for table in cc.find_tables(os.path.join(root, "corpus")):
            if table in cc.UNREADABLE:
                skipped_tables.append((table, f"refused by the reader ({cc.UNREADABLE[table]})"))
            else:
                tables.append(os.path.join("corpus", table))
        for table in tables:
            if args.only and args.only not in table:
                continue
            checks.append(check_table(root, workdir, tabrix, dump, table))

    skipped = collections.Counter()
    lossy = collections.Counter()
    for check in checks:
        unit = check.unit
        skipped.update(unit.skipped)
        lossy.update(check.lossy)
        if args.verbose:
            print(f"{'FAIL' if unit.failures else 'ok  '} {unit.name}: {unit.compared} compared")
        if unit.failures:
            print(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
            for message in unit.failures[:cc.MAX_MESSAGES]:
                print(f"    {message}")
    for table, reason in skipped_tables:
        print(f"skipped table {table}: {reason}")
    print(f"values compared: {sum(c.unit.compared for c in checks)}")
    for reason, count in lossy.most_common():
        print(f"lossy by definition {count}: {reason}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    failed = sum(1 for c in checks if c.unit.failures)
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed or not checks else 0


if __name__ == "__main__":
    sys.exit(main())
