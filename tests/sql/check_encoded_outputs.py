#!/usr/bin/python3
"""Outputs that declare their encoding, read by the programs they are meant for.

    /usr/bin/python3 check_encoded_outputs.py --tabrix PATH/tabrix --corpus PATH/corpus

A small table with Cyrillic text (code page 1251), one with Chinese text (936)
and one with Japanese text (932) are written with python3-dbf (the Chinese and
Japanese ones hold characters whose second byte is a backslash, 0x5C, next to
backslashes of their own); tabrix reads them with TABRIX_ANSI_CP set
to that page. Checked:
  - the PostgreSQL script without /utf8 loads into a database created with
    UTF8, and the MySQL script into a MariaDB database of utf8mb4; the texts
    read back as UTF-8 equal the texts written;
  - LibreOffice (headless, converting to UTF-8 text) shows the texts of the
    HTML page, in the table's page and with /utf8, and of the RTF document;
  - Python's XML parser reads the texts from the XML output and from the
    SpreadsheetML one (/ASXML), whose declarations name their encoding;
  - the MySQL script of the corpus's dbase_30.dbf, whose character columns
    pass InnoDB's row limit, loads into latin1 and utf8mb4 databases, with
    and without /utf8.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

import dbf

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
import check_corpus as cc  # noqa: E402
from check_sql_scripts import MariaDb, Postgres, unescape_copy  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

TABLES = {
    1251: ("cyrillic", ["амбулаторно", "Ёлка и ёжик", "д'Артаньян", "ЮЖНЫЙ ФИЛИАЛ"]),
    936: ("chinese", ["测试中文", "北京市海淀区", "上海 'A' 路", "中华人民共和国", "誠 籠 C:\\数据\\"]),
    932: ("japanese", ["表示", "ソフト 'A'", "C:\\予定\\能力", "十\\"]),
}

failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL {message}")


def write_table(folder, name, page, texts):
    """NAME C(30), N N(3): the texts in the page, the code-page mark cleared
    so that the page comes from TABRIX_ANSI_CP."""
    path = os.path.join(folder, f"{name}.dbf")
    table = dbf.Table(path, "NAME C(30); N N(3,0)", codepage=f"cp{page}")
    table.open(dbf.READ_WRITE)
    for n, text in enumerate(texts, 1):
        table.append((text, n))
    table.close()
    with open(path, "r+b") as f:
        f.seek(29)
        f.write(b"\0")
    return path


def tabrix(args, page, *words):
    env = isolated(dict(os.environ, LANG="C", LC_ALL="C", TABRIX_ANSI_CP=str(page), TABRIX_OEM_CP="437"))
    result = subprocess.run([args.tabrix, *words], capture_output=True, timeout=120, env=env)
    if result.returncode != 0:
        fail(f"tabrix {' '.join(words)}: exit {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result.returncode == 0


def check_postgres(pg, script, texts, what):
    result = pg.psql("utf8db", "-f", script, "-c", "SET client_encoding TO 'UTF8'",
                     "-c", "COPY (SELECT name FROM cyrillic_or_chinese ORDER BY n) TO STDOUT")
    if result.returncode != 0:
        fail(f"{what}: PostgreSQL refused the script: {result.stderr.decode(errors='replace')[:300]}")
        return
    loaded = [unescape_copy(line).rstrip(" ") for line in result.stdout.decode("utf-8").split("\n") if line]
    if loaded != texts:
        fail(f"{what}: PostgreSQL holds {loaded}, expected {texts}")


def check_mariadb(my, script_path, texts, what):
    with open(script_path, "rb") as f:
        script = f.read()
    query = b"\nSET NAMES utf8mb4;\nSELECT HEX(name) FROM cyrillic_or_chinese ORDER BY n;\n"
    result = my.client(script + query, "utf8db")
    if result.returncode != 0:
        fail(f"{what}: MariaDB refused the script: {result.stderr.decode(errors='replace')[:300]}")
        return
    loaded = [bytes.fromhex(line).decode("utf-8") for line in result.stdout.decode().split("\n") if line]
    if loaded != texts:
        fail(f"{what}: MariaDB holds {loaded}, expected {texts}")


def libreoffice_texts(pages, folder):
    """Every page converted to UTF-8 text by LibreOffice in one call."""
    out = os.path.join(folder, "txt")
    profile = "file://" + os.path.join(folder, "lo-profile")
    result = subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to",
                             "txt:Text (encoded):UTF8", "--outdir", out, *pages],
                            capture_output=True, timeout=300)
    texts = {}
    for page in pages:
        converted = os.path.join(out, os.path.splitext(os.path.basename(page))[0] + ".txt")
        if os.path.exists(converted):
            with open(converted, "rb") as f:
                texts[page] = f.read().decode("utf-8-sig", errors="replace")
        else:
            fail(f"LibreOffice did not convert {page}: {result.stderr.decode(errors='replace')[:300]}")
    return texts


def check_xml_texts(path, texts):
    """Every text is the whole text of an element of the parsed document."""
    try:
        shown = {(e.text or "").strip() for e in ElementTree.parse(path).iter()}
    except ElementTree.ParseError as error:
        fail(f"{path}: does not parse: {error}")
        return
    for text in texts:
        if text not in shown:
            fail(f"{path}: no element holds {text!r}")


def check_wide_table(args, my, folder):
    source = os.path.join(cc.corpus_folder(args.corpus), "infused-dbf")
    for name in ("dbase_30.dbf", "dbase_30.fpt"):
        shutil.copy(os.path.join(source, name), folder)
    table = os.path.join(folder, "dbase_30.dbf")
    for utf8 in ([], ["/utf8"]):
        script = os.path.join(folder, f"wide{len(utf8)}.sql")
        if not tabrix(args, 1252, table, script, "/HDR", "/MYSQL", *utf8):
            continue
        with open(script, "rb") as f:
            text = f.read()
        for database in ("latin1db", "utf8db"):
            result = my.client(text + b"\nSELECT COUNT(*) FROM dbase_30;\n", database)
            what = f"dbase_30.dbf {' '.join(utf8) or 'ANSI'} script in {database}"
            if result.returncode != 0:
                fail(f"{what}: {result.stderr.decode(errors='replace')[:300]}")
            elif result.stdout.split() != [b"34"]:
                fail(f"{what}: holds {result.stdout!r} records, expected 34")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    args = parser.parse_args()
    args.tabrix = os.path.abspath(args.tabrix)
    temp = tempfile.mkdtemp(prefix="tabrix-encoded-")
    os.chmod(temp, 0o755)
    pg, my = Postgres(temp), MariaDb(temp)
    try:
        pg.start()
        my.start()
        pg.psql("postgres", "-c", "CREATE DATABASE utf8db ENCODING 'UTF8' TEMPLATE template0", transaction=False)
        my.client(b"CREATE DATABASE utf8db CHARACTER SET utf8mb4; CREATE DATABASE latin1db CHARACTER SET latin1;",
                  None)
        pages = {}
        for page, (name, texts) in TABLES.items():
            folder = os.path.join(temp, name)
            os.mkdir(folder)
            # Both scripts name their table after the file: one name for the read-back queries.
            table = write_table(folder, "cyrillic_or_chinese", page, texts)
            for dialect in ("POSTGRESQL", "MYSQL"):
                script = os.path.join(folder, f"{dialect}.sql")
                if tabrix(args, page, table, script, "/HDR", f"/{dialect}"):
                    check = check_postgres if dialect == "POSTGRESQL" else check_mariadb
                    check(pg if dialect == "POSTGRESQL" else my, script, texts, f"{name} {dialect} script")
            for utf8 in ([], ["/utf8"]):
                page_path = os.path.join(temp, f"{name}{len(utf8)}.htm")
                if tabrix(args, page, table, page_path, *utf8):
                    pages[page_path] = texts
            document = os.path.join(temp, f"{name}_rtf.rtf")
            if tabrix(args, page, table, document):
                pages[document] = texts
            for output, words in (("out.xml", []), ("out.xls", ["/ASXML"])):
                path = os.path.join(folder, output)
                if tabrix(args, page, table, path, *words):
                    check_xml_texts(path, texts)
        for page_path, shown in libreoffice_texts(list(pages), temp).items():
            for text in pages[page_path]:
                if text not in shown:
                    fail(f"{os.path.basename(page_path)}: LibreOffice does not show {text!r}: {shown[:300]!r}")
        check_wide_table(args, my, temp)
    finally:
        pg.stop()
        my.stop()
        shutil.rmtree(temp, ignore_errors=True)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
