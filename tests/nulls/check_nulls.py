#!/usr/bin/python3
"""NULL values of Visual FoxPro tables through every output family, read back
by independent readers and loaded into PostgreSQL and MariaDB.

    /usr/bin/python3 check_nulls.py --tabrix PATH/tabrix

The tables are written byte by byte (make_null_tables.py). Each output must
show NULL exactly where the table holds it and a value everywhere else: an
empty delimited, HTML, SDF or spreadsheet value, JSON null, an XML element
with null="true", SQL NULL, a set null flag in a Visual FoxPro output (read by
python3-dbf) and a blank field in a dBase III output (read by dbfread).
"""
import argparse
import csv
import html.parser
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "sql"))
import make_null_tables as tables  # noqa: E402
from check_sql_scripts import MariaDb, Postgres  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

import dbf  # noqa: E402
import dbfread  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def convert(args, folder, table, output, *switches):
    path = os.path.join(folder, output)
    result = subprocess.run([args.tabrix, os.path.join(folder, table), path, *switches], capture_output=True,
                            env=isolated(dict(os.environ, LANG="C", LC_ALL="C")))
    check(result.returncode == 0, f"{table} -> {output} {switches}: exit {result.returncode} {result.stderr!r}")
    with open(path, "rb") as f:
        return f.read()


def cases():
    """(table, field names, records, per value: NULL, per value: shown empty in text outputs)."""
    for name, fields, records in (("nulls_all.dbf", tables.ALL_FIELDS, tables.ALL_RECORDS),
                                  ("nulls_var.dbf", tables.VAR_FIELDS, tables.VAR_RECORDS)):
        nulls = [[v is None for v in r] for r in records]
        empty = [[v is None or v == "" for v in r] for r in records]
        yield name, [f[0] for f in fields], [f[1] for f in fields], records, nulls, empty


def check_text_outputs(args, folder, name, titles, kinds, records, nulls, empty):
    # A blank date and an empty date-time have no value either: they stay bare
    # in delimited outputs, cells without data, and NULL in SQL.
    bare = [[v is None or (k in "DT" and v == "") for v, k in zip(r, kinds)] for r in records]
    for ext, delimiter in ((".csv", ","), (".tsv", "\t"), (".txt", ",")):
        text = convert(args, folder, name, "out" + ext, "/HDR").decode("latin-1")
        rows = list(csv.reader(io.StringIO(text), delimiter=delimiter))
        check(rows[0] == titles, f"{name}{ext}: titles {rows[0]}")
        check([[v == "" for v in r] for r in rows[1:]] == empty, f"{name}{ext}: empty values {rows[1:]}")
    # Enclosing every value still leaves NULL bare, unlike an empty text.
    lines = convert(args, folder, name, "quoted.csv", "/ALLQUOTAS").decode("latin-1").split("\r\n")
    # An empty date-time is enclosed there; a blank date is not.
    quoted_bare = [[v is None or (k == "D" and v == "") for v, k in zip(r, kinds)] for r in records]
    for line, row_bare in zip(lines, quoted_bare):
        values = line.split(",")
        check([v == "" for v in values] == row_bare, f"{name} /ALLQUOTAS: {line!r}")

    records = json.loads(convert(args, folder, name, "out.json"))
    check([[r[t] is None for t in titles] for r in records] == nulls, f"{name}.json: {records}")

    xml_bytes = convert(args, folder, name, "out.xml")
    lint = subprocess.run(["xmllint", "--noout", os.path.join(folder, "out.xml")], capture_output=True)
    check(lint.returncode == 0, f"{name}.xml: xmllint {lint.stderr!r}")
    root = ET.fromstring(xml_bytes.lstrip(b"\xef\xbb\xbf"))
    xml_nulls = [[e.get("null") == "true" and not e.text for e in rec if e.tag in titles]
                 for rec in root.iter("Record")]
    check(xml_nulls == nulls, f"{name}.xml: null elements {xml_nulls}")

    spreadsheet = convert(args, folder, name, "out.xls", "/ASXML", "/HDR")
    ns = {"ss": "urn:schemas-microsoft-com:office:spreadsheet"}
    rows = ET.fromstring(spreadsheet.lstrip(b"\xef\xbb\xbf")).findall(".//ss:Row", ns)[1:]
    cells = [[c.find("ss:Data", ns) is None for c in row.findall("ss:Cell", ns)] for row in rows]
    check(cells == bare, f"{name}.xls: cells without data {cells}")

    class Cells(html.parser.HTMLParser):
        def __init__(self):
            super().__init__()
            self.rows, self.cell = [], None

        def handle_starttag(self, tag, attrs):
            if tag == "tr":
                self.rows.append([])
            elif tag == "td":
                self.cell = ""

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data

        def handle_endtag(self, tag):
            if tag == "td":
                self.rows[-1].append(self.cell.strip())
                self.cell = None

    page = Cells()
    page.feed(convert(args, folder, name, "out.htm").decode("latin-1"))
    body = [r for r in page.rows if r]
    check([[v == "" for v in r] for r in body] == empty, f"{name}.htm: cells {body}")


def check_sql(args, folder, name, titles, kinds, records, pg, my):
    expected = [[v is None or (k in "DT" and v == "") for v, k in zip(r, kinds)] for r in records]
    columns = ", ".join(f"({t} IS NULL)::int" for t in titles)
    script = os.path.join(folder, "pg.sql")
    convert(args, folder, name, "pg.sql", "/HDR", "/POSTGRESQL", "/rowid")
    table = name[:-4]
    pg.psql("postgres", "-c", f"DROP TABLE IF EXISTS {table}")
    result = pg.psql("postgres", "-f", script, "-A", "-t", "-c", f"SELECT {columns} FROM {table} ORDER BY rowid")
    check(result.returncode == 0, f"{name} PostgreSQL: {result.stderr!r}")
    loaded = [[v == "1" for v in line.split("|")] for line in result.stdout.decode().split()]
    check(loaded == expected, f"{name} PostgreSQL nulls {loaded}")

    script = convert(args, folder, name, "my.sql", "/HDR", "/MYSQL")
    query = f"\nSELECT {', '.join(f'{t} IS NULL' for t in titles)} FROM {table};\n".encode()
    result = my.client(b"CREATE DATABASE IF NOT EXISTS n; USE n;\n" + script + query, None)
    check(result.returncode == 0, f"{name} MariaDB: {result.stderr!r}")
    loaded = [[v == "1" for v in line.split("\t")] for line in result.stdout.decode().splitlines()]
    check(loaded == expected, f"{name} MariaDB nulls {loaded}")


def check_dbf_outputs(args, folder):
    name, records = "nulls_all.dbf", tables.ALL_RECORDS
    # python3-dbf numbers the null bits by field position, which on a table
    # whose every field is nullable is the same numbering.
    for table_name in (name, "vfp.dbf"):
        if table_name == "vfp.dbf":
            convert(args, folder, name, "vfp.dbf", "/VFP")
        table = dbf.Table(os.path.join(folder, table_name))
        table.open()
        read = [[r[i] is dbf.Null for i in range(len(table.field_names))] for r in table]
        table.close()
        check(read == [[v is None for v in r] for r in records], f"python3-dbf reads {table_name}: {read}")
    convert(args, folder, name, "base3.dbf", "/DBASE3")
    rows = list(dbfread.DBF(os.path.join(folder, "base3.dbf")))
    blank = [all(v in (None, "") for v in r.values()) for r in rows]
    check(blank == [False, True, False], f"dbfread reads the dBase III output: {rows}")
    sdf = convert(args, folder, name, "out.sdf").decode("latin-1").split("\r\n")
    check(sdf[1].strip() == "" and sdf[0].strip() and sdf[2].strip(), f"SDF lines {sdf}")
    # The null flags a Visual FoxPro output keeps are its own: they follow
    # its columns, where the varchar columns take no length bit any more.
    convert(args, folder, "nulls_var.dbf", "var_vfp.dbf", "/VFP")
    again = json.loads(convert(args, folder, "var_vfp.dbf", "again.json"))
    check([[v is None for v in r.values()] for r in again] == [[v is None for v in r] for r in tables.VAR_RECORDS],
          f"nulls_var through a Visual FoxPro output: {again}")


def check_filters(args, folder):
    def kept(*switches):
        text = convert(args, folder, "nulls_all.dbf", "kept.csv", *switches).decode("latin-1")
        return [row[2] for row in csv.reader(io.StringIO(text))][1:]  # NCOUNT: 42, NULL, 0

    # NULL is "Empty" (as a zero number is), differs from every value, and is
    # neither above nor below one.
    check(kept("/HDR", "/FILTER2:NAMT:Empty") == ["", "0"], "NULL passes Empty")
    check(kept("/HDR", "/FILTER2:NCOUNT:>=0") == ["42", "0"], "NULL is not >= 0")
    check(kept("/HDR", "/FILTER2:NDAY:!=Empty") == ["42"], "NULL is not !=Empty")
    check(kept("/HDR", "/FILTER2:NAMT:!=5") == ["42", "", "0"], "NULL differs from 5")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tabrix", required=True)
    args = parser.parse_args()
    args.tabrix = os.path.abspath(args.tabrix)
    temp = tempfile.mkdtemp(prefix="tabrix-nulls-")
    os.chmod(temp, 0o755)
    folder = os.path.join(temp, "tables")
    os.mkdir(folder)
    tables.write_all(folder)
    pg, my = Postgres(temp), MariaDb(temp)
    try:
        for name, titles, kinds, records, nulls, empty in cases():
            check_text_outputs(args, folder, name, titles, kinds, records, nulls, empty)
        check_dbf_outputs(args, folder)
        check_filters(args, folder)
        pg.start()
        my.start()
        for name, titles, kinds, records, _, _ in cases():
            check_sql(args, folder, name, titles, kinds, records, pg, my)
    finally:
        pg.stop()
        my.stop()
        shutil.rmtree(temp, ignore_errors=True)
    for message in failures:
        print("FAIL", message)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
