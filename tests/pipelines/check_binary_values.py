"""Binary values kept byte for byte with /KEEPBINARY: the general, picture and
blob memos and the varbinary fields of the corpus tables, written as
PostgreSQL and MySQL scripts, loaded into real servers (started in a
temporary folder, as the SQL script checks do) and read back as hex; and
written as CSV (hex) and XML (base64). The reference is python3-dbfread,
taught to read the memo of W and P fields as it reads G memos.

Usage: check_binary_values.py TABRIX CORPUS
"""
import base64
import csv
import glob
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import dbfread

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "sql"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from check_sql_scripts import MariaDb, Postgres  # noqa: E402
from tabrix_env import isolated  # noqa: E402

TABRIX, CORPUS = sys.argv[1], sys.argv[2]
csv.field_size_limit(sys.maxsize)
BINARY = ("G", "P", "W", "Q")
failures = []
compared = {"postgresql": 0, "mysql": 0, "csv": 0, "xml": 0}


class BinaryParser(dbfread.FieldParser):
    """dbfread reads G memos as bytes; W (blob) and P (picture) memos are the same kind of memo."""

    def parseW(self, field, data):
        return self.parseG(field, data)

    def parseP(self, field, data):
        return self.parseG(field, data)

    def parseQ(self, field, data):
        return data  # the whole field; the value is a prefix of it


def binary_tables():
    for doc_path in sorted(glob.glob(os.path.join(CORPUS, "**", "*.dbfread.json"), recursive=True)):
        with open(doc_path, encoding="utf-8") as f:
            doc = json.load(f)
        fields = doc["dbfread"].get("fields", [])
        table = os.path.join(os.path.dirname(doc_path), doc["file"])
        if (doc.get("dbfread_values_usable") and table.lower().endswith(".dbf")
                and any(f["type"] in BINARY for f in fields) and doc["header"]["record_count"] > 0):
            yield table


def expected_values(table):
    """Per record (all of them, in file order), the binary fields' bytes by name."""
    dbf = dbfread.DBF(table, parserclass=BinaryParser, encoding="latin-1", ignore_missing_memofile=True)
    names = [f.name for f in dbf.fields if f.type in BINARY]
    kinds = {f.name: f.type for f in dbf.fields}
    live, deleted = iter(list(dbf)), iter(list(dbf.deleted))
    with open(table, "rb") as f:
        data = f.read()
    records = []
    for n in range(dbf.header.numrecords):
        start = dbf.header.headerlen + n * dbf.header.recordlen
        record = next(deleted if data[start:start + 1] == b"*" else live)
        records.append({name: record[name] or b"" for name in names})
    return names, kinds, records


def same(kind, expected, ours):
    if ours is None:
        return None  # a NULL flag dbfread does not read
    return expected.startswith(ours) if kind == "Q" else ours == expected


def tally(where, table, name, kind, expected, ours):
    verdict = same(kind, expected, ours)
    if verdict is False:
        failures.append(f"{table} {name} ({where}): expected {expected[:24].hex()}..., ours {ours[:24].hex()}...")
    elif verdict:
        compared[where] += 1


def run(*args):
    return subprocess.run([TABRIX, *args], capture_output=True, env=isolated(os.environ), timeout=120)


def check_text_outputs(table, names, kinds, records, work):
    output = os.path.join(work, "b.csv")
    run(table, output, "/KEEPBINARY", "/EXPORTALL", "/HDR")
    with open(output, newline="", encoding="latin-1") as f:
        rows = list(csv.DictReader(f))
    output = os.path.join(work, "b.xml")
    run(table, output, "/KEEPBINARY", "/EXPORTALL")
    elements = ElementTree.parse(output).getroot().find("Records")
    for record, row, element in zip(records, rows, list(elements)):
        for name in names:
            tally("csv", table, name, kinds[name], record[name], bytes.fromhex(row[name]))
            cell = element.find(name)
            value = None if cell.get("null") == "true" else base64.b64decode(cell.text or "")
            tally("xml", table, name, kinds[name], record[name], value)


def check_servers(tables, work):
    pg, my = Postgres(work), MariaDb(work)
    try:
        pg.start()
        my.start()
        for number, (table, names, kinds, records) in enumerate(tables):
            database = f"t{number}"
            # SQL_ASCII keeps the bytes of text the page leaves undefined; only the binary columns are read.
            pg.psql("postgres", "-c", f"CREATE DATABASE {database} ENCODING 'SQL_ASCII' TEMPLATE template0",
                    transaction=False)
            script = os.path.join(work, "pg.sql")
            run(table, script, "/KEEPBINARY", "/POSTGRESQL", "/HDR", "/rowid", "/EXPORTALL")
            name = created_name(script)
            # Every cell begins with V (a value) or is N (NULL): a row of empty values is no empty line.
            hexed = ",".join(f"coalesce('V' || encode({n.lower()}, 'hex'), 'N')" for n in names)
            result = pg.psql(database, "-f", script, "-c", f"COPY (SELECT {hexed} FROM {name} ORDER BY rowid) TO STDOUT",
                             encoding="WIN1252")
            compare_rows("postgresql", table, names, kinds, records, result)
            script = os.path.join(work, "my.sql")
            run(table, script, "/KEEPBINARY", "/MYSQL", "/HDR", "/rowid", "/EXPORTALL")
            hexed = ",".join(f"IFNULL(CONCAT('V',HEX(`{n}`)),'N')" for n in names)
            with open(script, "rb") as f:
                body = f.read()
            query = f"\nSELECT {hexed} FROM {created_name(script)} ORDER BY ROWID;\n".encode()
            result = my.client(f"CREATE DATABASE {database};\nUSE {database};\n".encode() + body + query, None)
            compare_rows("mysql", table, names, kinds, records, result)
    finally:
        pg.stop()
        my.stop()


def created_name(script):
    with open(script, "rb") as f:
        text = f.read().decode("latin-1")
    start = text.index("CREATE TABLE ") + len("CREATE TABLE ")
    return text[start:text.index(" ", start)]


def compare_rows(where, table, names, kinds, records, result):
    if result.returncode != 0:
        failures.append(f"{table} ({where}): {result.stderr.decode('latin-1').strip()[:300]}")
        return
    lines = result.stdout.decode("latin-1").split("\n")[:-1]
    if len(lines) != len(records):
        failures.append(f"{table} ({where}): {len(lines)} rows for {len(records)} records")
    for record, line in zip(records, lines):
        for name, cell in zip(names, line.split("\t")):
            tally(where, table, name, kinds[name], record[name], None if cell == "N" else bytes.fromhex(cell[1:]))


def main():
    work = tempfile.mkdtemp(prefix="tabrix-binary-")
    os.chmod(work, 0o755)  # the PostgreSQL server runs as its own user
    try:
        tables = []
        for table in binary_tables():
            names, kinds, records = expected_values(table)
            check_text_outputs(table, names, kinds, records, work)
            tables.append((table, names, kinds, records))
        check_servers(tables, work)
    finally:
        shutil.rmtree(work, True)
    print(f"{len(tables)} tables; binary values equal: " + ", ".join(f"{k} {v}" for k, v in compared.items()))
    for line in failures[:40]:
        print("FAIL", line)
    return 1 if failures or min(compared.values()) == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
