#!/usr/bin/python3
"""Compares what the reader makes of every table of the third-party corpus with
the expected values stored beside each table.

    /usr/bin/python3 check_corpus.py --dump PATH/table_dump --corpus PATH/corpus

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus. The
corpus is copied to a temporary folder first: opening a table creates its
missing memo file, and the repository's copy must stay untouched.

Each table is one unit; it fails when any check finds a mismatch:
  - the three tables damaged beyond reading fail to open with an error; all
    others open, and the record walk agrees with the header and the file;
  - field names, types, lengths and offsets agree with the header parse in
    NAME.dbfread.json (its own parser, which knows the dBase 7 layout);
  - values agree with the python3-dbfread records in NAME.dbfread.json where
    they are usable and mean the same as ours;
  - values agree with NAME.upstream-asserts.json (hand-transcribed asserts of
    other readers' unit tests: the only independent values for dBase 7);
  - values agree with the repository's own CSV files where they map plainly.
Comparisons that dbfread's known limits make meaningless are skipped and
counted by reason; the counts are printed at the end.
"""
import argparse
import collections
import csv
import datetime
import decimal
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from null_flags import null_fields  # noqa: E402

# Tables the MANIFEST describes as unreadable: they must be refused.
UNREADABLE = {
    "dans-knaw-dans-dbf-lib/dbase3plus/fileExceptions/EMPTY.DBF": "1-byte file",
    "infused-dbf/dbase_02.dbf": "dBase II layout",
    "yellowfeather-dbfdatareader/FolderRoot.dbf": "unknown field type '7'",
    "tmontaigu-dbase-rs/stations_with_deleted.dbf": "record length 1016 below the 1017 bytes of its fields",
}

# Tables dbfread cannot read (dBase 7, a missing header terminator) or reads
# wrongly (DBT blocks of 64 bytes), and a table with the same records that it
# reads well: the same data saved by the same program in another format, or
# the same file before its header was damaged. Fields are matched by name.
SIBLINGS = {
    "emelhu-ndbfreaderex/BDE_TEST_7_64.dbf": "emelhu-ndbfreaderex/BDE_TEST_3_512.dbf",
    "emelhu-ndbfreaderex/BDE_TEST_7_1024.dbf": "emelhu-ndbfreaderex/BDE_TEST_3_512.dbf",
    "emelhu-ndbfreaderex/BDE_TEST_7_2048.dbf": "emelhu-ndbfreaderex/BDE_TEST_3_512.dbf",
    "emelhu-ndbfreaderex/BDE_TEST_4_64.dbf": "emelhu-ndbfreaderex/BDE_TEST_3_512.dbf",
    "albfernandez-javadbf/bug-77-no-header-record-terminator/continents-null-header-record-terminator.dbf":
        "albfernandez-javadbf/continents.dbf",
    "albfernandez-javadbf/bug-77-no-header-record-terminator/continents_no_header_record_terminator.dbf":
        "albfernandez-javadbf/continents.dbf",
    "lais-huol-dbf_reader/dbase3_invalid_terminator.dbf": "lais-huol-dbf_reader/dbase3.dbf",
}

MAX_MESSAGES = 25


class Unit:
    """The outcome of one table: mismatches, and comparisons skipped by reason."""

    def __init__(self, name):
        self.name = name
        self.failures = []
        self.skipped = collections.Counter()
        self.compared = 0

    def fail(self, message):
        self.failures.append(message)

    def skip(self, reason):
        self.skipped[reason] += 1


# ---------------------------------------------------------------- corpus files


def corpus_folder(argument):
    """The corpus folder, or exits with a message when it does not exist."""
    override = os.environ.get("TABRIX_CORPUS")
    folder = override or argument
    if not folder or not os.path.isdir(folder):
        source = "TABRIX_CORPUS" if override else "--corpus"
        sys.exit(f"corpus check FAILED: the corpus folder {folder!r} ({source}) does not exist; "
                 "the repository holds it in tests/data/corpus; TABRIX_CORPUS may name another")
    return folder


def copy_corpus(source, target):
    """Copies the corpus into target and makes the copy writable, as a user's folder is."""
    shutil.copytree(source, target)
    for root, dirs, files in os.walk(target):
        for name in dirs + files:
            path = os.path.join(root, name)
            os.chmod(path, os.stat(path).st_mode | 0o200)


def distinct_golden_cases(folder):
    """The golden cases below folder whose input table.dbf differs from every
    earlier case's, in name order: each fixture table is converted once."""
    seen, cases = set(), []
    for case in sorted(os.listdir(folder)):
        path = os.path.join(folder, case, "table.dbf")
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        if digest not in seen:
            seen.add(digest)
            cases.append(case)
    return cases


def odd_tables(manifest_path):
    """Paths the MANIFEST lists one by one among the odd and malformed files.

    The section's first bullet (tables without the 0x1A end mark) is not a
    per-table entry: those files are legal and their counts are compared."""
    odd = set()
    in_section = False
    with open(manifest_path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("## "):
                in_section = line.startswith("## Odd")
            elif in_section:
                m = re.match(r"- `([^`]+)`:", line)
                if m:
                    odd.add(m.group(1))
    return odd


def find_tables(root):
    """Relative paths of all *.dbf and *.dbc files, sorted."""
    tables = []
    for folder, _, files in os.walk(root):
        for name in files:
            if name.lower().endswith((".dbf", ".dbc")):
                tables.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(tables)


def expectation_files(root):
    """Maps a table's relative path to its dbfread and upstream-assert JSON documents."""
    dbfread, asserts = {}, {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            if name.endswith(".dbfread.json"):
                with open(path, encoding="utf-8") as f:
                    doc = json.load(f)
                dbfread[os.path.relpath(os.path.join(folder, doc["file"]), root)] = doc
            elif name.endswith(".upstream-asserts.json"):
                with open(path, encoding="utf-8") as f:
                    asserts[os.path.relpath(path[: -len(".upstream-asserts.json")], root).lower()] = json.load(f)
    return dbfread, asserts


def asserts_for(asserts, table):
    return asserts.get(os.path.splitext(table)[0].lower())


def run_dump(dump, path):
    result = subprocess.run([dump, path], capture_output=True, timeout=120)
    if result.returncode != 0:
        return None, f"table_dump exited with {result.returncode}: {result.stderr.decode(errors='replace')}"
    dump = json.loads(result.stdout.decode("ascii"))
    # Each record lists the fields that hold NULL, as the table's own null flags say.
    nulls = null_fields(path) if dump.get("ok") else None
    for n, record in enumerate(dump.get("records", [])):
        record["nulls"] = nulls[n] if nulls and n < len(nulls) else set()
    return dump, None


# ---------------------------------------------------------------- helpers


def raw(text):
    """The bytes of a byte-transparent string from table_dump."""
    return text.encode("latin-1")


def is_level7_layout(header):
    return "level 7" in header.get("layout", "")


def field_index(ours, name):
    for i, f in enumerate(ours["fields"]):
        if f["name"].lower() == name.lower():
            return i
    return None


def memo_kind(version):
    """What the memo fields of dbfread mean for this version byte."""
    if version in (0x30, 0x31, 0x32, 0xF5):
        return "fpt"
    # dbfread reads a .dbt with the dBase III rules only for version 0x83.
    return "dbt3" if version == 0x83 else "dbt4"


def parse_number(text):
    """Our N/F text as a number: None when blank, or when filled with '*' (the
    mark of a value that did not fit when written; the reader passes the
    characters through as stored)."""
    text = text.strip()
    if not text.strip("*"):
        return None
    try:
        return int(text)
    except ValueError:
        return float(text)


def parse_date(text):
    """Our YYYY-MM-DD text as an ISO date: None for a blank or all-zero date."""
    if text.replace("-", "").strip(" 0") == "":
        return None
    return datetime.date(int(text[0:4]), int(text[5:7]), int(text[8:10])).isoformat()


def parse_datetime(text):
    """Our "Y-MM-DD HH:MM:SS" date-time, or None when empty."""
    if not text:
        return None
    m = re.fullmatch(r"(\d+)-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)", text)
    return datetime.datetime(*map(int, m.groups())) if m else text


def logical(letter):
    if letter in ("T", "t", "Y", "y"):
        return True
    if letter in ("F", "f", "N", "n"):
        return False
    if letter in ("?", " ", ""):
        return None
    return ("invalid", letter)


def currency_expected(amount, decimals):
    """The amount as our reader shows it: 4 decimals, or rounded half away from zero to 2."""
    if decimals == 4:
        return amount
    return amount.quantize(decimal.Decimal("0.01"), rounding=decimal.ROUND_HALF_UP)


def decode_q(text):
    """Our Q text (two characters per byte, '0' plus each nibble) back to bytes."""
    return bytes((ord(text[i]) - 48) << 4 | (ord(text[i + 1]) - 48) for i in range(0, len(text), 2))


def null_like(ours, record, i):
    """Whether our value is what a NULL (or an absent value) leaves in the record."""
    ftype = ours["fields"][i]["type"]
    value = record["values"][i]
    if ftype in ("M", "G") or (ftype == "B" and ours["fields"][i]["length"] != 8):
        return memo_bytes(record, i) == b""
    stripped = value.strip(" ")
    if ftype in ("I", "+", "Y", "B", "O", "N", "F"):
        return stripped == "" or parse_number(stripped) == 0
    return stripped in ("", "?")


# ---------------------------------------------------------------- checks


def check_open(unit, table, ours):
    """Unreadable tables are refused with a reason; every other table opens."""
    if table in UNREADABLE:
        if ours["ok"]:
            unit.fail(f"opened, but it must be refused ({UNREADABLE[table]})")
        elif not ours["error"]:
            unit.fail("refused without an error text")
        return False
    if not ours["ok"]:
        unit.fail(f"does not open: {ours['error']}")
        return False
    return True


def expected_walk(header):
    """Records the walk must yield: those the file holds whole, but only the
    counted ones when the end mark follows them (some writers pad it to a
    whole record, others leave stale records behind it)."""
    checks = header["checks"]
    present = checks["records_physically_present"]
    if present > header["record_count"] and checks["eof_mark_at_expected_end"]:
        return header["record_count"]
    return present


def check_walk(unit, table, ours, doc, odd):
    """The walk yields recordCount records; counts agree with the header and the file."""
    records = ours["records"]
    if len(records) != ours["recordCount"]:
        unit.fail(f"walk yielded {len(records)} records, recordCount says {ours['recordCount']}")
    if ours["isShort"] != (ours["recordCount"] < ours["headerRecordCount"]):
        unit.fail(f"isShort {ours['isShort']} with {ours['recordCount']} of {ours['headerRecordCount']} records")
    if doc is None or "checks" not in doc["header"]:
        return
    header = doc["header"]
    if ours["headerRecordCount"] != header["record_count"]:
        unit.fail(f"header record count {ours['headerRecordCount']}, expected {header['record_count']}")
    walk = expected_walk(header)
    if ours["recordCount"] != walk:
        unit.fail(f"{ours['recordCount']} records walked, expected {walk} "
                  f"(header count {header['record_count']}, {header['checks']['records_physically_present']} in the file)")
    # The deletion flags of the records the header counts, as the file holds them.
    counted = records[: header["record_count"]]
    flags = dict(collections.Counter(r["flag"] for r in counted))
    expected = {k.upper(): v for k, v in header["checks"]["flag_bytes_in_header_count"].items()}
    if flags != expected:
        unit.fail(f"flag bytes {flags}, the file holds {expected}")
    # dbfread frames records up to 0x1A or the end of the file; the odd tables
    # are where that legitimately differs from the walk.
    read = doc["dbfread"].get("records_read")
    if table not in odd and doc["dbfread_values_usable"] and read is not None and read != ours["recordCount"]:
        unit.fail(f"{ours['recordCount']} records walked, dbfread read {read}")


def expected_fields(header):
    """The field list our reader must build from the independent header parse.

    Rules of the reader that differ from a plain descriptor list:
      - dBase 7: descriptors of length 0 are dropped;
      - C fields take the decimals byte as the high byte of their length, unless
        the record length adds up only without it (Excel writes decimals on C
        fields); their decimal count then reads 0;
      - every field is kept inside the record length (damaged tables);
      - offsets are the running sum from 1, whatever a Visual FoxPro descriptor
        stores (some writers store them without the deletion flag);
      - the _NullFlags system field is kept but excluded."""
    fields = [dict(f) for f in header["fields"]]
    if is_level7_layout(header):
        fields = [f for f in fields if f["length"] != 0]
    record_length = header["record_length"]
    high = 1 + sum(f["length"] + (256 * f["decimals"] if f["type"] == "C" else 0) for f in fields)
    low = 1 + sum(f["length"] for f in fields)
    low_bytes_only = record_length != 0 and high != record_length and low == record_length
    if record_length == 0:
        record_length = high
    offset = 1
    expected = []
    for f in fields:
        length = f["length"]
        decimals = f["decimals"]
        if f["type"] == "C":
            if not low_bytes_only:
                length += 256 * decimals
            decimals = 0
        start = min(offset, record_length)
        expected.append({
            "name": f["name"], "type": f["type"], "length": min(length, record_length - start),
            "decimals": decimals, "offset": start, "excluded": f["name"].lower() == "_nullflags",
        })
        offset += length
    return expected


def check_memo_file(unit, ours, doc):
    """The memo file the reader opened is the table's own (the one dbfread was given)."""
    if doc.get("memo") is None or ours["memo"] is None:
        return
    opened = os.path.basename(ours["memo"]["path"])
    if opened.lower() != doc["memo"]["file"].lower():
        unit.fail(f"memo file {opened} opened, the table's memo file is {doc['memo']['file']}")


def check_fields(unit, ours, doc):
    """Field list and header lengths agree with the independent header parse."""
    header = doc["header"]
    if "fields" not in header:
        unit.fail(f"header parse has no fields ({header.get('error')})")
        return
    for key, ours_key in (("header_length", "headerLength"), ("record_length", "recordLength")):
        if header[key] and ours[ours_key] != header[key]:
            unit.fail(f"{ours_key} {ours[ours_key]}, header says {header[key]}")
    expected = expected_fields(header)
    got = ours["fields"]
    if len(got) != len(expected):
        unit.fail(f"{len(got)} fields, expected {len(expected)}: "
                  f"{[f['name'] for f in got]} vs {[f['name'] for f in expected]}")
        return
    for g, e in zip(got, expected):
        for key in ("name", "type", "length", "decimals", "offset", "excluded"):
            if g[key] != e[key]:
                unit.fail(f"field {e['name']}: {key} {g[key]!r}, expected {e[key]!r}")


# ------------------------------------------------- values against dbfread


def dbfread_skips(doc):
    """Field types and record ranges where the caveats say dbfread's values are wrong."""
    caveats = " | ".join(doc["caveats"] + [str(n) for n in doc["dbfread"].get("notes", [])])
    return {
        # dbfread reads dBase IV/7 memo blocks as 512 bytes whatever the header says.
        "memo": "DBT with block size" in caveats,
        # Field lengths that do not add up: dbfread frames every record after the first wrongly.
        "drift": "framing drifts" in caveats,
    }


def compare_text(expected, ours_bytes, encoding):
    """dbfread's decoded text (or its latin-1 fallback) against our bytes."""
    if isinstance(expected, dict) and "text_latin1" in expected:
        return expected["text_latin1"] == ours_bytes.decode("latin-1")
    try:
        return expected == ours_bytes.decode(encoding)
    except UnicodeDecodeError:
        return False


def compare_memo(expected, memo, context):
    """A memo: dbfread's text or bytes against the memo our reader read."""
    have = b"" if memo["text"] is None else raw(memo["text"])
    if expected is None:
        # No memo: block 0, a block outside the file, or a missing memo file.
        return have == b""
    if isinstance(expected, dict) and "hex" in expected:
        want = bytes.fromhex(expected["hex"])
    elif isinstance(expected, dict) and "text_latin1" in expected:
        want = expected["text_latin1"].encode("latin-1")
    else:
        want = expected.encode(context["encoding"])
    if context["memo_kind"] == "dbt4":
        # dbfread takes the stored length, which counts the 8-byte block
        # header, as the text length: it reads 8 bytes past the memo, then cuts
        # at the first 0x1F. So dbfread's text must be what lies at the block,
        # and ours that text less the 8 bytes dbfread reads too many.
        start = memo["block"] * 512
        block = context["memo_bytes"][start:]
        stored = int.from_bytes(block[4:8], "little")
        read_by_dbfread = block[8:8 + stored]
        return want == read_by_dbfread.split(b"\x1f", 1)[0] and have == read_by_dbfread[:max(stored - 8, 0)]
    return want == have


def matching_field(unit, names, ours, dbf_fields, name, index, source):
    """Index of our field for a reference value's field name, or None when
    the value is not comparable (a system name, a missing field, a field the
    reference reads with another length)."""
    if name.startswith("_") and name not in names:
        return None
    i = names.get(name)
    if i is None:
        unit.fail(f"record {index}: {source} field {name!r} not among ours")
        return None
    field = ours["fields"][i]
    if dbf_fields[name]["type"] == field["type"] and dbf_fields[name]["length"] != field["length"]:
        unit.skip("field of another length in dbfread (C length high byte, field cut to the record)")
        return None
    return i


def compare_value(field, expected, value, memo, context):
    """One value against dbfread's; returns True, False, or a skip reason."""
    ftype = field["type"]
    if isinstance(expected, dict) and "invalid_hex" in expected:
        return "dbfread could not decode the value"
    encoding = context["encoding"]
    if ftype == "C":
        # The reader ends a value at its first zero byte; dbfread strips only trailing ones.
        if isinstance(expected, str):
            expected = expected.split("\0", 1)[0].rstrip(" ")
        elif "text_latin1" in expected:
            expected = {"text_latin1": expected["text_latin1"].split("\0", 1)[0].rstrip(" ")}
        return compare_text(expected, raw(value).rstrip(b" "), encoding)
    if ftype in ("N", "F"):
        try:
            number = parse_number(value)
        except ValueError:
            return False
        return number == expected if expected is None or number is None else float(number) == float(expected)
    if ftype == "D":
        try:
            return parse_date(value) == expected
        except ValueError:
            return False
    if ftype == "L":
        return logical(value) == expected
    if ftype in ("I", "+"):
        return int(value) == expected
    if ftype == "Y":
        return decimal.Decimal(value) == currency_expected(decimal.Decimal(expected["decimal"]), field["decimals"])
    if ftype == "T":
        if expected is None:
            return value == ""
        when = datetime.datetime.fromisoformat(expected)
        # The reader rounds milliseconds to the nearest second.
        if when.microsecond >= 500000:
            when += datetime.timedelta(seconds=1)
        return parse_datetime(value) == when.replace(microsecond=0)
    if ftype == "O":
        return "O double: dbfread reads it as a plain little-endian double, not the dBase 7 form"
    if ftype == "B" and field["length"] == 8:
        return f"{expected:.6f}" == value
    if ftype in ("M", "G", "B"):
        if context["skips"]["memo"]:
            return "DBT block size other than 512 (dbfread reads 512)"
        return compare_memo(expected, memo, context)
    if ftype == "W":
        # Unknown to dbfread (raw bytes); the reader shows the bytes up to the first zero.
        return raw(value) == bytes.fromhex(expected["raw_hex"]).split(b"\0", 1)[0]
    if ftype in ("V", "Q"):
        return "varchar/varbinary: dbfread returns the whole field with its length byte"
    if ftype == "0":
        return "_NullFlags system field (excluded)"
    if ftype == "@":
        return "timestamp: dBase 7 only"
    return f"type {ftype!r} not compared"


def whole_records(header):
    """Records the file holds whole after the header."""
    return max(header["file_size"] - header["header_length"], 0) // header["record_length"]


def memo_file_bytes(root, table, doc):
    """The memo file dbfread read for this table (empty when there is none)."""
    if not doc.get("memo"):
        return b""
    with open(os.path.join(root, os.path.dirname(table), doc["memo"]["file"]), "rb") as f:
        return f.read()


def check_values_against_dbfread(unit, root, table, ours, doc, source="dbfread"):
    """Every record dbfread framed correctly agrees with ours, field by field.

    doc is the table's own dbfread document, or that of a sibling table with
    the same records (source then names it in messages)."""
    if not doc["dbfread_values_usable"] or not doc["dbfread"].get("ok"):
        unit.skip("dbfread output not usable (dBase 7, dBase II or failed)")
        return
    skips = dbfread_skips(doc)
    encoding = doc["dbfread"]["encoding"]
    context = {
        "encoding": encoding,
        # dbfread chooses the memo format by the version byte in the file.
        "memo_kind": memo_kind(int(doc["header"]["version_byte"], 16)),
        "memo_bytes": memo_file_bytes(root, table, doc),
        "skips": skips,
    }
    # dbfread decodes field names with the table's encoding; ours are bytes.
    names = {raw(f["name"]).decode(encoding, errors="replace"): i for i, f in enumerate(ours["fields"])}
    dbf_fields = {f["name"]: f for f in doc["dbfread"]["fields"]}
    records = ours["records"]
    for rec in doc["dbfread"]["records"]:
        index = rec.get("_index")
        if index is None or (skips["drift"] and index > 0):
            unit.skip("record framed wrongly by dbfread (field lengths do not add up)")
            continue
        if index >= len(records):
            # dbfread also frames a partial record at the end of the file; the
            # walk yields only whole records.
            if index >= whole_records(doc["header"]):
                unit.skip("partial record at the end of the file")
            else:
                unit.fail(f"record {index}: {source} has it, the walk ends at {len(records)}")
            continue
        mine = records[index]
        if rec.get("_skipped_by_dbfread"):
            if mine["flag"] != rec["_flag_hex"].upper():
                unit.fail(f"record {index}: flag {mine['flag']}, expected {rec['_flag_hex']}")
            continue
        if (mine["flag"] == "2A") != rec["_deleted"]:
            unit.fail(f"record {index}: flag {mine['flag']}, {source} deleted={rec['_deleted']}")
        for name, expected in rec.items():
            i = matching_field(unit, names, ours, dbf_fields, name, index, source)
            if i is None:
                continue
            field = ours["fields"][i]
            outcome = compare_value(field, expected, mine["values"][i], mine["memos"].get(str(i)), context)
            if isinstance(outcome, str):
                unit.skip(outcome)
            elif outcome:
                unit.compared += 1
            else:
                shown = mine["memos"][str(i)]["text"] if str(i) in mine["memos"] else mine["values"][i]
                unit.fail(f"record {index} {name} ({field['type']}): ours {shown[:120]!r}, "
                          f"{source} {str(expected)[:120]!r}")


# ------------------------------------------------- values against upstream asserts


def check_assert_header(unit, ours, asserts):
    """Header facts asserted upstream: counts, lengths and the column list."""
    header = asserts.get("header", {})
    checks = (("record_count", "headerRecordCount"), ("header_length", "headerLength"),
              ("record_length", "recordLength"))
    for key, ours_key in checks:
        if key in header and ours[ours_key] != header[key]:
            unit.fail(f"asserted {key} {header[key]}, ours {ours[ours_key]}")
    count = header.get("column_count", header.get("field_count"))
    if count is not None and count != len(ours["fields"]):
        unit.fail(f"asserted {count} columns, ours {len(ours['fields'])}")
    for column in asserts.get("columns", []):
        i = field_index(ours, column["name"])
        if i is None:
            unit.fail(f"asserted column {column['name']} missing")
            continue
        field = ours["fields"][i]
        for key, ours_key in (("type", "type"), ("length", "length"), ("byte_pos", "offset")):
            if key in column and field[ours_key] != column[key]:
                unit.fail(f"column {column['name']}: asserted {key} {column[key]}, ours {field[ours_key]}")
        # A C field's decimals byte is its high length byte, so the reader reports 0.
        if "decimals" in column and field["type"] != "C" and field["decimals"] != column["decimals"]:
            unit.fail(f"column {column['name']}: asserted decimals {column['decimals']}, ours {field['decimals']}")
    types = asserts.get("columns_types_in_order")
    if types is not None and [t.split()[0] for t in types] != [f["type"] for f in ours["fields"]]:
        unit.fail(f"asserted column types {types}, ours {[f['type'] for f in ours['fields']]}")


def assert_target(ours, key):
    """The field an assert key names ("field_6_currency", "bio (trimmed)", "varbinary_bytes")."""
    m = re.match(r"field_(\d+)", key)
    if m:
        return int(m.group(1)), ""
    base, _, note = key.partition(" (")
    i = field_index(ours, base)
    if i is None and base.endswith("_bytes"):
        return field_index(ours, base[: -len("_bytes")]), "bytes"
    return i, note.rstrip(")")


def memo_bytes(record, i):
    memo = record["memos"].get(str(i))
    return b"" if memo is None or memo["text"] is None else raw(memo["text"])


def compare_asserted(ours, record, i, note, expected):
    """One asserted value against ours; True, False, or a skip reason."""
    field = ours["fields"][i]
    ftype = field["type"]
    value = record["values"][i]
    if isinstance(expected, dict) and "memo_block_pointer" in expected:
        memo = record["memos"][str(i)]
        length = expected["length"]
        if memo_kind(ours["version"]) != "fpt":
            # In a dBase IV/7 memo file the stored length, which the assert
            # gives, counts the 8-byte block header.
            length -= 8
        data = memo_bytes(record, i)
        ok = memo["block"] == expected["memo_block_pointer"] and len(data) == length
        if expected.get("kind") == "PNG image":
            ok = ok and data.startswith(b"\x89PNG") and data.endswith(b"IEND\xaeB`\x82")
        return ok
    if ftype == "W":
        return "blob (W): the reader shows its raw bytes, not the memo"
    if expected is None:
        # The reader does not apply _NullFlags: a NULL shows the blank or zero
        # bytes stored for it, as does an empty value of a table without them.
        has_null_flags = any(f["type"] == "0" for f in ours["fields"])
        if ftype in ("N", "F", "L", "M", "G", "B", "C", "D") or has_null_flags:
            return null_like(ours, record, i)
        return False
    if "memo pointer" in note:
        return record["memos"][str(i)]["block"] == expected
    if ftype in ("M", "B") and field["length"] != 8:
        # The asserted memo texts are ASCII.
        text = memo_bytes(record, i).decode("latin-1")
        if "CRLF->LF" in note:
            text = text.replace("\r\n", "\n")
        text = text.strip()
        return text.startswith(expected) if "starts" in note else text == expected
    if note == "bytes":
        return decode_q(value).hex() == expected
    if isinstance(expected, bool):
        return logical(value) is expected
    if ftype == "Y":
        amount = decimal.Decimal(str(expected))
        if isinstance(expected, str):
            return value == expected
        return decimal.Decimal(value) == currency_expected(amount, field["decimals"])
    if isinstance(expected, (int, float)):
        if ftype in ("I", "+"):
            return int(value) == expected
        if ftype in ("B", "O"):
            return f"{expected:.6f}" == value
        return parse_number(value) is not None and float(parse_number(value)) == float(expected)
    # Text: the other readers trim C values.
    return value.strip(" ") == expected


def check_upstream_asserts(unit, ours, asserts):
    """Every asserted value that maps onto a field agrees with ours."""
    check_assert_header(unit, ours, asserts)
    live = [r for r in ours["records"] if r["flag"] != "2A"]
    for n, expected_record in enumerate(asserts.get("records", [])):
        if n >= len(live):
            unit.fail(f"asserted record {n} missing (ours has {len(live)} live records)")
            break
        for key, expected in expected_record.items():
            i, note = assert_target(ours, key)
            if i is None:
                unit.fail(f"asserted field {key!r} not found")
                continue
            outcome = compare_asserted(ours, live[n], i, note, expected)
            if isinstance(outcome, str):
                unit.skip(outcome)
            elif outcome:
                unit.compared += 1
            else:
                shown = live[n]["memos"].get(str(i), {}).get("text") or live[n]["values"][i]
                unit.fail(f"asserted record {n} {key}: expected {expected!r}, ours {shown[:120]!r}")


# ------------------------------------------------- values against repository CSV files


# CSV files of the source repository, written by its own reader: the CSV and
# the code page that reader decoded the table's text with.
REPO_CSV = {
    "yellowfeather-dbfdatareader/dbase_31.dbf": ("yellowfeather-dbfdatareader/dbase_31.csv", "cp1252"),
    # No code page mark; the repository's reader took Windows-1251.
    "yellowfeather-dbfdatareader/MS__KHDM.DBF": ("yellowfeather-dbfdatareader/MS__KHDM.csv", "cp1251"),
    # C values with zero bytes inside: the text ends at the first one.
    "yellowfeather-dbfdatareader/dbase_03_nullchar.dbf":
        ("yellowfeather-dbfdatareader/dbase_03_nullchar.csv", "ascii"),
    "yellowfeather-dbfdatareader/foxpro_currency_01.dbf":
        ("yellowfeather-dbfdatareader/foxpro_currency_01.csv", "cp1252"),
    "yellowfeather-dbfdatareader/tl_2019_01_place.dbf":
        ("yellowfeather-dbfdatareader/tl_2019_01_place.csv", "ascii"),
}


def compare_csv_value(field, value, text):
    """One CSV cell against our value: numbers numerically, text trimmed."""
    if field["type"] in ("N", "F", "I", "Y", "B", "O", "+"):
        mine = value.strip()
        if text == "":
            # An empty cell is a NULL; the reader shows the blank or zero stored for it.
            return mine == "" or decimal.Decimal(mine) == 0
        return mine != "" and decimal.Decimal(mine) == decimal.Decimal(text)
    return value.strip(" ") == text


def check_repo_csv(unit, root, table, ours):
    """Every cell of the repository's CSV agrees with our value of its column."""
    csv_path, encoding = REPO_CSV[table]
    with open(os.path.join(root, csv_path), encoding="utf-8-sig", newline="") as f:
        rows = list(csv.reader(f))
    header, rows = rows[0], rows[1:]
    live = [r for r in ours["records"] if r["flag"] != "2A"]
    if len(rows) != len(live):
        unit.fail(f"{csv_path}: {len(rows)} rows, ours {len(live)} live records")
    for n, (row, record) in enumerate(zip(rows, live)):
        for column, text in zip(header, row):
            i = field_index(ours, column)
            if i is None or ours["fields"][i]["type"] == "0":
                continue
            value = raw(record["values"][i]).decode(encoding)
            if compare_csv_value(ours["fields"][i], value, text):
                unit.compared += 1
            else:
                unit.fail(f"{csv_path} row {n} {column}: expected {text!r}, ours {value!r}")


# ---------------------------------------------------------------- driver


def check_table(root, dump, table, docs, asserts, odd):
    unit = Unit(table)
    ours, error = run_dump(dump, os.path.join(root, table))
    if ours is None:
        unit.fail(error)
        return unit
    if not check_open(unit, table, ours):
        return unit
    doc = docs.get(table)
    check_walk(unit, table, ours, doc, odd)
    if doc is None:
        unit.fail("no .dbfread.json beside the table")
    else:
        check_fields(unit, ours, doc)
        check_memo_file(unit, ours, doc)
        check_values_against_dbfread(unit, root, table, ours, doc)
    if table in SIBLINGS:
        sibling = SIBLINGS[table]
        check_values_against_dbfread(unit, root, sibling, ours, docs[sibling],
                                     source=f"dbfread of {sibling}")
    table_asserts = asserts_for(asserts, table)
    if table_asserts is not None:
        check_upstream_asserts(unit, ours, table_asserts)
    if table in REPO_CSV:
        check_repo_csv(unit, root, table, ours)
    return unit


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True, help="path of the table_dump executable")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--only", help="check only tables whose path contains this text")
    parser.add_argument("--verbose", action="store_true", help="list every table with its counts")
    args = parser.parse_args()
    source = corpus_folder(args.corpus)

    with tempfile.TemporaryDirectory(prefix="tabrix-corpus-") as temp:
        root = os.path.join(temp, "corpus")
        copy_corpus(source, root)
        odd = odd_tables(os.path.join(root, "MANIFEST.md"))
        docs, asserts = expectation_files(root)
        tables = [t for t in find_tables(root) if not args.only or args.only in t]
        units = [check_table(root, args.dump, t, docs, asserts, odd) for t in tables]

    skipped = collections.Counter()
    for unit in units:
        skipped.update(unit.skipped)
        if args.verbose:
            reasons = "; ".join(f"{n} {r}" for r, n in unit.skipped.items())
            print(f"{'FAIL' if unit.failures else 'ok  '} {unit.name}: {unit.compared} compared"
                  + (f", skipped {reasons}" if reasons else ""))
        if unit.failures:
            print(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
            for message in unit.failures[:MAX_MESSAGES]:
                print(f"    {message}")
            if len(unit.failures) > MAX_MESSAGES:
                print(f"    ... and {len(unit.failures) - MAX_MESSAGES} more")
    print(f"values compared: {sum(u.compared for u in units)}")
    for reason, count in skipped.most_common():
        print(f"skipped {count}: {reason}")
    failed = sum(1 for u in units if u.failures)
    print(f"{len(units) - failed} passed, {failed} failed")
    return 1 if failed or not units else 0


if __name__ == "__main__":
    sys.exit(main())
