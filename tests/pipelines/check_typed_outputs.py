"""Every readable corpus table as JSON lines and as a SQLite database, read back
by Python's json and sqlite3 modules and compared, value by value and type by
type, with python3-dbfread's records kept beside the corpus. Then batches into
one database: a table each, a damaged table reported and the others kept, an
existing database refused without /addtoexist and added to with it.

Usage: check_typed_outputs.py TABRIX CORPUS
"""
import base64
import datetime
import glob
import json
import math
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

TABRIX, CORPUS = sys.argv[1], sys.argv[2]
BINARY_TYPES = ("G", "P", "W", "Q")
failures = []
counts = {"tables": 0, "values": 0, "skipped": 0, "refused": 0}


def run(*args):
    return subprocess.run([TABRIX, *args], capture_output=True, env=isolated(os.environ), timeout=120)


def usable_tables():
    """(table path, dbfread document) for every table whose dbfread values the corpus trusts."""
    for doc_path in sorted(glob.glob(os.path.join(CORPUS, "**", "*.dbfread.json"), recursive=True)):
        with open(doc_path, encoding="utf-8") as f:
            doc = json.load(f)
        caveats = " ".join(doc.get("caveats", []))
        if not doc.get("dbfread_values_usable") or not doc["dbfread"].get("ok") or "framing drifts" in caveats:
            continue
        table = os.path.join(os.path.dirname(doc_path), doc["file"])
        # dBase level 7 doubles dbfread reads as others.
        level7 = int(doc["header"]["version_byte"], 16) & 7 == 4
        if table.lower().endswith(".dbf") and os.path.exists(table) and not level7:
            yield table, doc, "DBT with block size" in caveats


def same_value(field, expected, ours, memo_caveat, sqlite):
    """True, False, or None when dbfread's value cannot decide (its fallbacks, a caveat)."""
    ftype = field["type"]
    if isinstance(expected, dict) and not ({"hex", "decimal"} & expected.keys()):
        return None  # dbfread's fallbacks (raw bytes, latin-1 text, a failed number)
    if ftype in BINARY_TYPES or (ftype == "B" and isinstance(expected, dict)):
        want = bytes.fromhex(expected["hex"]) if isinstance(expected, dict) else b""
        return ours is not None and ours == want if want else ours in (None, b"")
    if ftype == "O":
        return None  # dbfread reads O as a plain double, not in its dBase level 7 form
    if isinstance(expected, str) and (not expected.isascii() or "\0" in expected.rstrip("\0")):
        return None  # code pages, and text after a zero byte: the corpus checks decide those
    if ftype == "M":
        if memo_caveat or isinstance(expected, dict):
            return None
        mine, theirs = (ours or "").strip(" \t\r\n\0"), (expected or "").strip(" \t\r\n\0")
        # dbfread reads some dBase IV memos past their end.
        return True if mine == theirs else None if theirs.startswith(mine) else False
    if expected is None:
        return ours is None or ours == "" or (None if ftype == "C" else False)
    if isinstance(expected, bool):
        # SQLite has no boolean: a logical is 1 or 0.
        return ours == int(expected) and type(ours) is int if sqlite else ours is expected
    if isinstance(expected, dict) and "decimal" in expected:
        return isinstance(ours, (int, float, str)) and float(ours) == float(expected["decimal"])
    if isinstance(expected, int):
        # A whole number in a column with decimals is a REAL in SQLite.
        whole = type(ours) is int or (sqlite and field.get("decimal_count", 0) > 0 and isinstance(ours, float))
        return whole and ours == expected
    if isinstance(expected, float):
        return isinstance(ours, (int, float)) and not isinstance(ours, bool) and math.isclose(
            ours, expected, rel_tol=1e-12, abs_tol=1e-12)
    if ftype in ("D", "T", "@") and isinstance(expected, str):
        if not isinstance(ours, str) or len(expected) < 19:
            return ours == expected
        # Date-times are written to the second; dbfread keeps the stored milliseconds.
        apart = datetime.datetime.fromisoformat(ours) - datetime.datetime.fromisoformat(expected)
        return abs(apart.total_seconds()) < 1
    if ftype == "V" and isinstance(expected, str):
        # dbfread does not know the length byte of a short varchar: it reads the whole field.
        return isinstance(ours, str) and expected.startswith(ours) and ours == ours.strip()
    if isinstance(expected, str):
        return isinstance(ours, str) and ours == expected.strip(" \0")
    return None  # dbfread's value is of no type this field has


def compare(source, doc, rows, memo_caveat, sqlite):
    fields = [f for f in doc["dbfread"]["fields"] if f["name"].upper() != "_NULLFLAGS"]
    nullable = len(fields) < len(doc["dbfread"]["fields"])
    # dbfread keeps one value of fields sharing a name.
    repeated = {f["name"] for f in fields if [g["name"] for g in fields].count(f["name"]) > 1}
    # dbfread reads a last record the file holds only in part; the walk stops before it.
    present = doc["header"].get("checks", {}).get("records_physically_present")
    records = doc["dbfread"]["records"][:present]
    if len(rows) != len(records):
        failures.append(f"{source}: {len(rows)} rows, dbfread read {len(records)}")
        return
    for record, row in zip(records, rows):
        if record.get("_skipped_by_dbfread"):
            counts["skipped"] += len(row)
            continue
        for f, ours in zip(fields, row):
            expected = record.get(f["name"])
            if f["type"] in BINARY_TYPES + ("B",) and not sqlite and isinstance(ours, str):
                ours = base64.b64decode(ours)
            # dbfread does not read the null flags: a NULL of ours it shows as a blank value.
            verdict = (None if (nullable and ours is None) or f["name"] in repeated
                       else same_value(f, expected, ours, memo_caveat, sqlite))
            if verdict is None:
                counts["skipped"] += 1
            elif verdict:
                counts["values"] += 1
            else:
                failures.append(f"{source} record {record['_index']} {f['name']} ({f['type']}): "
                                f"dbfread {expected!r}, ours {ours!r}")


def check_table(table, doc, memo_caveat, work):
    counts["tables"] += 1
    lines, database = os.path.join(work, "t.jsonl"), os.path.join(work, "t.sqlite")
    for path in (lines, database):
        if os.path.exists(path):
            os.remove(path)
    result = run(table, lines, "/EXPORTALL")
    if not os.path.exists(lines) and not run(table, os.path.join(work, "t.csv")).returncode == 0:
        counts["refused"] += 1  # the reader refuses the table for every output
        return
    if not os.path.exists(lines):
        failures.append(f"{table}: no JSON lines output ({result.stderr.decode(errors='replace').strip()})")
        return
    with open(lines, encoding="utf-8") as f:
        objects = [json.loads(line) for line in f]
    compare(table + " (jsonl)", doc, [list(o.values()) for o in objects], memo_caveat, False)
    result = run(table, database, "/EXPORTALL")
    if not doc["dbfread"]["fields"]:
        if os.path.exists(database) or result.returncode != 1:
            failures.append(f"{table}: a table without columns made a database")
        return
    if not os.path.exists(database):
        failures.append(f"{table}: no database ({result.stderr.decode(errors='replace').strip()})")
        return
    with sqlite3.connect(database) as db:
        (name,) = db.execute("SELECT name FROM sqlite_master WHERE type = 'table'").fetchone()
        rows = db.execute(f'SELECT * FROM "{name}" ORDER BY rowid').fetchall()
        names = [c[0] for c in db.execute(f'SELECT * FROM "{name}"').description]
    if objects and len(objects[0]) != len(names):
        failures.append(f"{table}: {len(objects[0])} JSON keys for {len(names)} columns")
    if objects and names != list(objects[0].keys()):
        failures.append(f"{table}: database columns {names}, JSON keys {list(objects[0].keys())}")
    compare(table + " (sqlite)", doc, [list(r) for r in rows], memo_caveat, True)


def check_batches(tables, work):
    """Three good tables and a damaged one into one database, then the rules for an existing one."""
    folder = os.path.join(work, "batch")
    os.makedirs(folder)
    plain = [t for t, doc, _ in tables if not {f["type"] for f in doc["dbfread"]["fields"]} & set("MGBPW")]
    for table in plain[:3]:
        shutil.copy(table, os.path.join(folder, f"{len(os.listdir(folder))}-{os.path.basename(table)}"))
    with open(os.path.join(folder, "damaged.dbf"), "wb") as f:
        f.write(b"\x03\x01\x01\x01\xff\xff\x00\x00")
    database = os.path.join(work, "all.db")
    result = run(os.path.join(folder, "*.dbf"), database)
    if result.returncode != 1 or b"damaged.dbf" not in result.stderr:
        failures.append(f"batch with a damaged table: exit {result.returncode}, {result.stderr!r}")
    with sqlite3.connect(database) as db:
        names = sorted(n for (n,) in db.execute("SELECT name FROM sqlite_master WHERE type = 'table'"))
    expected = sorted("t_" + os.path.splitext(n)[0].replace("-", "_").replace(" ", "_")
                      for n in os.listdir(folder) if n != "damaged.dbf")
    if names != expected:
        failures.append(f"batch tables {names}, expected {expected}")
    os.remove(os.path.join(folder, "damaged.dbf"))
    with open(database, "rb") as f:
        before = f.read()
    result = run(os.path.join(folder, "*.dbf"), database)
    with open(database, "rb") as f:
        if result.returncode == 0 or f.read() != before:
            failures.append("a second batch into an existing database without /addtoexist was not refused")
    result = run(os.path.join(folder, "*.dbf"), database, "/addtoexist")
    with sqlite3.connect(database) as db:
        again = sorted(n for (n,) in db.execute("SELECT name FROM sqlite_master WHERE type = 'table'"))
    if result.returncode != 0 or again != sorted(names + [n + "_2" for n in names]):
        failures.append(f"/addtoexist: exit {result.returncode}, tables {again}")
    # A failed job leaves no database behind.
    lone = os.path.join(work, "lone.sqlite")
    with open(os.path.join(work, "damaged.dbf"), "wb") as f:
        f.write(b"\x03\x01\x01\x01\xff\xff\x00\x00")
    run(os.path.join(work, "damaged.dbf"), lone)
    if os.path.exists(lone) or glob.glob(os.path.join(work, ".lone.sqlite*")):
        failures.append("a failed job left a database or its staged file")


def main():
    tables = list(usable_tables())
    work = tempfile.mkdtemp(prefix="tabrix-typed-")
    try:
        for table, doc, memo_caveat in tables:
            check_table(table, doc, memo_caveat, work)
        check_batches(tables, work)
    finally:
        shutil.rmtree(work, True)
    print(f"{counts['tables']} tables ({counts['refused']} refused by the reader), {counts['values']} values equal, "
          f"{counts['skipped']} left to the corpus checks")
    for line in failures[:int(os.environ.get("SHOW", "60"))]:
        print("FAIL", line)
    if failures:
        print(f"{len(failures)} failures")
    return 1 if failures or counts["values"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
