#!/usr/bin/python3
"""Loads the SQL scripts of real tables into real database servers and checks
that the rows loaded are the records of the table.

    /usr/bin/python3 check_sql_scripts.py --tabrix PATH/tabrix --writer PATH/write_sql_script \
        --dump PATH/table_dump --corpus PATH/corpus --fixtures PATH/tests/data/golden

TABRIX_CORPUS, when set, names the corpus folder instead of --corpus.

The checker starts its own PostgreSQL 15 and MariaDB servers in a temporary
folder (unix sockets only, no network) and stops them at the end, also when a
check fails. Every readable table of the corpus (copied to the temporary
folder first, as the corpus checks do) and every fixture table of the golden
cases is converted three times:

  - `tabrix TABLE out.sql /HDR /POSTGRESQL /rowid`, loaded into PostgreSQL
    (read back in ROWID order: PostgreSQL fills gaps in earlier pages, so
    the physical order is not the order of the INSERTs);
  - `tabrix TABLE out.sql /HDR /MYSQL /go:50`, loaded into MariaDB (whose
    client runs "Go" as its own command);
  - the Ansi script (write_sql_script, with the ROWID column and the column
    names in every INSERT), loaded into PostgreSQL after a table of that name
    was created, since the Ansi DROP TABLE has no IF EXISTS.

Each script must load without an error (psql -v ON_ERROR_STOP=1; the mariadb
client stops at the first error). The rows loaded must be the records the
reader walks, deleted ones left out, in count, order and value. The expected
values come from table_dump (the reader's text of every field, which the
corpus checks compare with python3-dbfread), turned into what the column must
hold:
  - C: up to the first zero byte, line breaks as spaces, trailing blanks
    dropped (a Char column pads them back; both sides are compared without);
  - V, Q, G, P, W and dBase binary memo references: the same text, trimmed on
    both sides;
  - M: the memo with CR, LF, tab and zero bytes as spaces, exactly;
  - N, F: the number rounded to the column's scale, or NULL for a blank or a
    text that is no number ("****", damaged digits);
  - I, +: the integer; Y: the amount (the reader shows 4 or 2 decimals, the
    column holds 4); B, O: the double, compared as the reader prints it (six
    decimals), NULL for inf and nan;
  - D: the date, NULL when blank, zero or no calendar date;
  - T, @: the date-time to the second, NULL when empty;
  - L: true for T, t, Y, y, false for F, f, N, n, NULL otherwise;
  - any field whose null flag is set (Visual FoxPro): NULL.
The databases hold text as Unicode (PostgreSQL UTF8, MariaDB utf8mb4), as is
usual now, so every script must say what its bytes are in. The scripts of a
table are in the Windows page its mark names (Windows-1252 for a table
without a mark, as the checks run in the C locale). Each load runs with that
page as the client's encoding, the encoding the PostgreSQL and MySQL scripts
declare themselves and the one the Ansi script, which declares none, is in;
the values are read back in that page and compared as bytes, so a value the
server converted wrongly differs. MySQL has no character set for the pages
1253, 1254, 1255, 1258 and 874 (its greek, latin5, hebrew and tis620 read
some bytes differently): those scripts declare nothing and load through a
latin1 client, which keeps every byte, so only the bytes are compared there.
A table whose text holds bytes its page leaves undefined (cp850.dbf: DOS
text under the Windows-1252 mark) cannot be held as Unicode: PostgreSQL
refuses it, rightly, so its PostgreSQL scripts load into a SQL_ASCII
database, which keeps the bytes as they are, and the table is listed.
Tables the reader refuses are listed, not checked.
"""
import argparse
import concurrent.futures
import decimal
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import check_corpus as cc  # noqa: E402
import check_corpus_outputs as cco  # noqa: E402
from memo_gap import memo_file_lacks_memos  # noqa: E402
from tabrix_env import isolated  # noqa: E402

PG_BIN = "/usr/lib/postgresql/15/bin"

# The names the servers know the Windows pages by.
POSTGRESQL_ENCODINGS = {f"cp{n}": f"WIN{n}" for n in (874, *range(1250, 1259))}
POSTGRESQL_ENCODINGS.update(cp932="SJIS", cp936="GBK", cp949="UHC", cp950="BIG5")
MYSQL_CHARSETS = {"cp1250": "cp1250", "cp1251": "cp1251", "cp1252": "latin1", "cp1256": "cp1256",
                  "cp1257": "cp1257", "cp932": "cp932", "cp936": "gbk", "cp949": "euckr", "cp950": "big5"}
MAX_MESSAGES = 10


# ---------------------------------------------------------------- servers


def as_postgres():
    """initdb and the server refuse root: run them as the postgres user then."""
    return ["runuser", "-u", "postgres", "--"] if os.geteuid() == 0 else []


class Postgres:
    def __init__(self, temp):
        self.dir = os.path.join(temp, "pg")
        os.mkdir(self.dir)
        if os.geteuid() == 0:
            shutil.chown(self.dir, "postgres")
        self.data = os.path.join(self.dir, "data")
        self.started = False

    def start(self):
        subprocess.run(as_postgres() + [f"{PG_BIN}/initdb", "-D", self.data, "-A", "trust", "-U", "postgres",
                                        "-E", "UTF8", "--locale=C", "--no-sync"],
                       check=True, capture_output=True)
        options = (f"-c listen_addresses='' -c unix_socket_directories={self.dir} -c fsync=off "
                   "-c synchronous_commit=off -c full_page_writes=off")
        subprocess.run(as_postgres() + [f"{PG_BIN}/pg_ctl", "-D", self.data, "-l", os.path.join(self.dir, "log"),
                                        "-o", options, "-w", "start"], check=True, capture_output=True)
        self.started = True

    def stop(self):
        if self.started:
            subprocess.run(as_postgres() + [f"{PG_BIN}/pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop"],
                           capture_output=True)
            self.started = False

    def psql(self, database, *args, transaction=True, encoding="UTF8"):
        # One transaction per load: the INSERTs need no commit each.
        command = ["psql", "-X", "-q", *(["-1"] if transaction else []), "-h", self.dir, "-U", "postgres",
                   "-d", database, "-v", "ON_ERROR_STOP=1", *args]
        return subprocess.run(command, capture_output=True, timeout=300,
                              env=dict(os.environ, PGCLIENTENCODING=encoding))


class MariaDb:
    def __init__(self, temp):
        self.dir = os.path.join(temp, "my")
        os.mkdir(self.dir)
        self.data = os.path.join(self.dir, "data")
        self.socket = os.path.join(self.dir, "sock")
        self.server = None

    def start(self):
        user = ["--user=root"] if os.geteuid() == 0 else []
        subprocess.run(["mariadb-install-db", "--no-defaults", f"--datadir={self.data}", *user,
                        "--auth-root-authentication-method=normal", "--skip-test-db"],
                       check=True, capture_output=True)
        with open(os.path.join(self.dir, "log"), "wb") as log:
            self.server = subprocess.Popen(
                ["mariadbd", "--no-defaults", f"--datadir={self.data}", f"--socket={self.socket}",
                 "--skip-networking", *user, f"--pid-file={self.dir}/pid", "--innodb-flush-log-at-trx-commit=0",
                 "--innodb-buffer-pool-size=64M", "--character-set-server=utf8mb4",
                 "--collation-server=utf8mb4_general_ci"],
                stdout=log, stderr=subprocess.STDOUT)
        deadline = time.time() + 60
        while time.time() < deadline:
            if self.server.poll() is not None:
                raise RuntimeError(f"mariadbd exited with {self.server.returncode}; see {self.dir}/log")
            probe = socket.socket(socket.AF_UNIX)
            try:
                probe.connect(self.socket)
                break
            except OSError:
                time.sleep(0.2)
            finally:
                probe.close()
        else:
            raise RuntimeError("mariadbd did not start within 60 seconds")


    def stop(self):
        if self.server is not None and self.server.poll() is None:
            self.server.terminate()
            try:
                self.server.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        self.server = None

    def client(self, script, database, charset="latin1"):
        command = ["mariadb", "--no-defaults", f"--socket={self.socket}", "-u", "root",
                   f"--default-character-set={charset}", "--batch", "--skip-column-names"]
        if database:
            command.append(database)
        return subprocess.run(command, input=script, capture_output=True, timeout=300)


# ---------------------------------------------------------------- scripts


def write_script(args, dialect, table, output, workdir):
    """The script of one dialect; the result of the run and the script's bytes."""
    if os.path.exists(output):
        os.remove(output)
    if dialect == "ansi":
        command = [args.writer, "ansi", table, output, "rowid", "names"]
    else:
        command = [args.tabrix, table, output, "/HDR"]
        command += ["/POSTGRESQL", "/rowid"] if dialect == "postgresql" else ["/MYSQL", "/go:50"]
    result = subprocess.run(command, cwd=workdir, capture_output=True, timeout=120,
                            env=isolated(dict(os.environ, LANG="C", LC_ALL="C")))
    script = None
    if os.path.exists(output):
        with open(output, "rb") as f:
            script = f.read()
    return result, script


def created_table_name(script):
    match = re.search(rb" CREATE TABLE (.*) \(\r\n", script)
    return match.group(1) if match else None


COPY_ESCAPES = {"b": "\b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v", "\\": "\\"}


def unescape_copy(text):
    """A field of PostgreSQL's COPY text format: \\N is NULL, backslash escapes undone."""
    if text == "\\N":
        return None
    return re.sub(r"\\(.)", lambda m: COPY_ESCAPES.get(m.group(1), m.group(1)), text)


def load_postgres(pg, database, script_path, name, ansi, page):
    """Loads a script with the client in the table's page; the rows of its
    table in ROWID order (text as that page's bytes), or the error text."""
    steps = []
    if ansi:
        quoted = name.decode("latin-1")
        steps += ["-c", f"DROP TABLE IF EXISTS {quoted}; CREATE TABLE {quoted} (placeholder integer)"]
    steps += ["-f", script_path, "-c", f"COPY (SELECT * FROM {name.decode('latin-1')} ORDER BY rowid) TO STDOUT"]
    result = pg.psql(database, *steps, encoding=POSTGRESQL_ENCODINGS[page])
    if result.returncode != 0:
        return None, result.stderr.decode("latin-1").strip()
    lines = result.stdout.decode("latin-1").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [[unescape_copy(v) for v in line.split("\t")] for line in lines], None


def mysql_quoted(name):
    return "`" + name.replace("`", "``") + "`"


def load_mariadb(my, database, script, name, titles, page):
    """Loads a script and reads every column back as hex text of the table's
    page (NULL as N), so no value can be mistaken for a separator or for NULL."""
    if titles:
        columns = ",".join(f"IF({mysql_quoted(t)} IS NULL,'N',CONCAT('V',HEX(CAST({mysql_quoted(t)} AS CHAR))))"
                           for t in titles)
    else:
        columns = "1"
    query = f"\nSELECT {columns} FROM {name.decode('latin-1')};\n".encode("latin-1")
    # One transaction per load: the INSERTs need no commit each.
    result = my.client(b"SET autocommit=0;\n" + script + b"\nCOMMIT;" + query, database,
                       MYSQL_CHARSETS.get(page, "latin1"))
    if result.returncode != 0:
        return None, result.stderr.decode("latin-1").strip()
    rows = []
    for line in result.stdout.decode("latin-1").split("\n"):
        if line == "":
            continue
        row = []
        for cell in line.split("\t"):
            row.append(None if cell == "N" else bytes.fromhex(cell[1:]).decode("latin-1"))
        rows.append(row)
    return rows, None


# ---------------------------------------------------------------- expected values

NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


def cut_at_zero(text):
    return text.split("\0", 1)[0]


def spaced(text):
    return text.replace("\r", " ").replace("\n", " ")


def calendar_date(text):
    """'YYYY-MM-DD' when the text names a day of the calendar from year 1, else None."""
    m = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)", text)
    if not m:
        return None
    year, month, day = map(int, m.groups())
    if year < 1 or not 1 <= month <= 12:
        return None
    days = [31, 29 if (year % 4 == 0 and year % 100 != 0) or year % 400 == 0 else 28,
            31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month - 1]
    return text if 1 <= day <= days else None


def column_scale(field):
    if field["type"] == "N" and field["decimals"] == 0 and field["length"] <= 9:
        return 0
    return field["decimals"]


def as_written(text, pages):
    """Stored text (bytes as latin-1 characters) as the script writes it: in the table's Windows page."""
    return cco.as_written(text.encode("latin-1"), pages).decode("latin-1")


def expected_value(field, record, i, level7, pages):
    """What the column of field i must hold for this record: (kind, value)."""
    ftype = field["type"]
    value = record["values"][i]
    if i in record["nulls"]:
        return "exact", None
    if ftype == "C":
        return "text", spaced(cut_at_zero(as_written(value, pages))).rstrip(" ")
    if ftype == "M":
        memo = record["memos"].get(str(i))
        text = "" if memo is None or memo["text"] is None else as_written(memo["text"], pages)
        return "exact", re.sub(r"[\r\n\t\0]", " ", text)
    if ftype in ("N", "F"):
        text = value.strip(" ")
        if not NUMBER.fullmatch(text):
            return "number", None
        quantum = decimal.Decimal(1).scaleb(-column_scale(field))
        return "number", decimal.Decimal(text).quantize(quantum, rounding=decimal.ROUND_HALF_UP)
    if ftype in ("I", "+"):
        return "number", decimal.Decimal(value)
    if ftype == "Y":
        return "currency", decimal.Decimal(value)
    if ftype == "O" or (ftype == "B" and field["length"] == 8):
        return "double", None if value.lstrip("-") in ("inf", "nan") else value
    if ftype == "D":
        return "date", calendar_date(value)
    if ftype in ("T", "@"):
        if ftype == "T" and field["length"] == 14 and not level7:
            value = value.replace(".", ":")
        if value == "":
            return "timestamp", None
        day, _, clock = value.partition(" ")
        ok = calendar_date(day) and re.fullmatch(r"([01]\d|2[0-3]):[0-5]\d:[0-5]\d", clock)
        return "timestamp", value if ok else None
    if ftype == "L":
        letter = value[:1]
        return "logical", True if letter and letter in "TtYy" else False if letter and letter in "FfNn" else None
    return "trimmed", spaced(cut_at_zero(value)).strip(" ")


def same_value(kind, expected, loaded):
    """True when the loaded text (None for NULL) holds the expected value."""
    if expected is None or loaded is None:
        return expected is None and loaded is None
    if kind == "text":
        return loaded.rstrip(" ") == expected
    if kind == "trimmed":
        return loaded.strip(" ") == expected
    if kind == "exact":
        return loaded == expected
    if kind == "number":
        return decimal.Decimal(loaded) == expected
    if kind == "currency":
        places = -expected.as_tuple().exponent
        return decimal.Decimal(loaded).quantize(decimal.Decimal(1).scaleb(-places),
                                                rounding=decimal.ROUND_HALF_UP) == expected
    if kind == "double":
        return f"{float(loaded):.6f}" == expected
    if kind == "date":
        return loaded in (expected, expected + " 00:00:00")
    if kind == "timestamp":
        return loaded == expected
    if kind == "logical":
        return loaded in (("t", "1") if expected else ("f", "0"))
    return False


# ---------------------------------------------------------------- one table


def check_rows(unit, where, ours, rows, rowid, pages):
    fields = ours["fields"]
    columns = [i for i, f in enumerate(fields) if not f["excluded"]]
    records = [r for r in ours["records"] if r["flag"] != "2A"]
    if len(rows) != len(records):
        unit.fail(f"{where}: {len(rows)} rows loaded, expected {len(records)} records")
        return
    for n, (row, record) in enumerate(zip(rows, records)):
        if rowid:
            if not row or row[0] != str(n + 1):
                unit.fail(f"{where}: row {n}: ROWID {row[:1]}, expected {n + 1}")
            row = row[1:]
        if len(row) != len(columns):
            unit.fail(f"{where}: row {n}: {len(row)} values, expected {len(columns)}")
            continue
        for loaded, i in zip(row, columns):
            kind, expected = expected_value(fields[i], record, i, ours["level7"], pages)
            if same_value(kind, expected, loaded):
                unit.compared += 1
            else:
                unit.fail(f"{where}: row {n} {fields[i]['name']} ({fields[i]['type']}): loaded "
                          f"{str(loaded)[:80]!r}, expected {str(expected)[:80]!r}")


def check_exit(unit, where, result, ours, memos_lost):
    """Exit 0, or 1 with the warnings of a table that holds fewer records than it counts or points at
    memos its memo file lacks (each warning exactly when it applies)."""
    stderr = result.stderr.decode("latin-1")
    warnings = []
    if ours["isShort"]:
        warnings.append(f"the header counts {ours['headerRecordCount']} records, the file holds {ours['recordCount']}")
    lost_warning = re.search(r"\d+ memo values? could not be read", stderr) is not None
    if lost_warning != memos_lost:
        unit.fail(f"{where}: the warning about memo values that could not be read is "
                  f"{'given' if lost_warning else 'missing'}; stderr {stderr.strip()!r}")
    if warnings or memos_lost:
        if result.returncode != 1 or any(w not in stderr for w in warnings):
            unit.fail(f"{where}: exit {result.returncode}, expected 1 with {warnings!r}; stderr {stderr.strip()!r}")
    elif result.returncode != 0:
        unit.fail(f"{where}: exit {result.returncode}; stderr {stderr.strip()!r}")


def unique_titles(titles):
    """Column names as the scripts write them: a name repeating an earlier one
    (without regard to case) gets _2, _3 and so on."""
    unique_ones = []
    for title in titles:
        unique, n = title, 2
        while unique.lower() in (u.lower() for u in unique_ones):
            unique, n = f"{title}_{n}", n + 1
        unique_ones.append(unique)
    return unique_ones


class Worker:
    """One of the checkers that run side by side, each with its own folder
    and its own database in both servers (tables of several corpus folders
    share names)."""

    def __init__(self, temp, number, pg, my):
        self.pg, self.my = pg, my
        self.database = f"tabrix{number}"
        self.workdir = os.path.join(temp, f"work{number}")
        os.mkdir(self.workdir)
        for database, encoding in ((self.database, "UTF8"), (self.database + "ascii", "SQL_ASCII")):
            result = pg.psql("postgres", "-c", f"CREATE DATABASE {database} ENCODING '{encoding}' TEMPLATE template0",
                             transaction=False)
            if result.returncode != 0:
                raise RuntimeError(result.stderr.decode("latin-1"))
        result = my.client(f"CREATE DATABASE {self.database} CHARACTER SET utf8mb4;".encode(), None)
        if result.returncode != 0:
            raise RuntimeError(result.stderr.decode("latin-1"))


def undefined_in_page(ours, pages, page):
    """True when some text of the table, as the scripts write it, holds a byte the page does not define."""
    texts = [v for r in ours["records"] for v in r["values"] if isinstance(v, str)]
    texts += [m["text"] for r in ours["records"] for m in r["memos"].values() if m and m["text"] is not None]
    try:
        for text in texts:
            as_written(text, pages).encode("latin-1").decode(page)
    except UnicodeDecodeError:
        return True
    return False


def check_table(args, worker, name, path):
    workdir = worker.workdir
    unit = cc.Unit(name)
    unit.not_compared = None
    unit.note = None
    ours, error = cc.run_dump(args.dump, path)
    if ours is None or not ours["ok"]:
        unit.fail(error or f"does not open: {ours['error']}")
        return unit
    output = os.path.join(workdir, "out.sql")
    memos_lost = memo_file_lacks_memos(path)
    if not any(not f["excluded"] for f in ours["fields"]):
        # No database but PostgreSQL holds a table without columns: the script stays empty.
        result, script = write_script(args, "mysql", path, output, workdir)
        check_exit(unit, "mysql", result, ours, memos_lost)
        if script != b"":
            unit.fail(f"no column, but the script is not empty: {script[:200]!r}")
        unit.not_compared = "no column: the script is empty"
        return unit
    titles = unique_titles([f["name"] for f in ours["fields"] if not f["excluded"]])
    if not path.lower().endswith(".dbf"):
        # The command line takes tables named .dbf only.
        path = cco.dbf_alias(path, ours, workdir)
    # Text is written in the Windows page the table's mark names.
    pages = cco.text_pages(path)
    page = pages[1] if pages else "cp1252"
    pg_database = worker.database
    if undefined_in_page(ours, pages, page):
        pg_database += "ascii"
        unit.note = f"text not in {page}: its PostgreSQL loads checked in a SQL_ASCII database"
    for dialect in ("postgresql", "mysql", "ansi"):
        result, script = write_script(args, dialect, path, output, workdir)
        check_exit(unit, dialect, result, ours, memos_lost)
        if script is None:
            unit.fail(f"{dialect}: no script written")
            continue
        table = created_table_name(script)
        if table is None:
            unit.fail(f"{dialect}: no CREATE TABLE line")
            continue
        if dialect == "mysql":
            rows, error = load_mariadb(worker.my, worker.database, script, table, titles, page)
        else:
            rows, error = load_postgres(worker.pg, pg_database, output, table, dialect == "ansi", page)
        if error is not None:
            unit.fail(f"{dialect}: the script did not load: {error[:300]}")
            continue
        check_rows(unit, dialect, ours, rows, dialect != "mysql", pages)
    return unit


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tabrix", required=True)
    parser.add_argument("--writer", required=True, help="path of write_sql_script")
    parser.add_argument("--dump", required=True, help="path of table_dump")
    parser.add_argument("--corpus", help="corpus folder (TABRIX_CORPUS overrides)")
    parser.add_argument("--fixtures", required=True, help="folder of the golden cases")
    parser.add_argument("--only", help="check only tables whose path contains this text")
    args = parser.parse_args()
    source = cc.corpus_folder(args.corpus)
    for tool in ("tabrix", "writer", "dump"):
        setattr(args, tool, os.path.abspath(getattr(args, tool)))

    temp = tempfile.mkdtemp(prefix="tabrix-sql-")
    # The servers run as their own user, which must reach its folders.
    os.chmod(temp, 0o755)
    pg, my = Postgres(temp), MariaDb(temp)
    units, refused = [], []
    try:
        pg.start()
        my.start()
        root = os.path.join(temp, "corpus")
        cc.copy_corpus(source, root)
        tables = []
        for case in cc.distinct_golden_cases(args.fixtures):
            name, folder = f"fixture {case}", os.path.join(args.fixtures, case)
            if args.only and args.only not in name:
                continue
            copy = os.path.join(temp, "fixtures", os.path.basename(folder))
            shutil.copytree(folder, copy)
            tables.append((name, os.path.join(copy, "table.dbf")))
        for table in cc.find_tables(root):
            if table in cc.UNREADABLE:
                refused.append((table, cc.UNREADABLE[table]))
                continue
            path = os.path.join(root, table)
            tables.append((table, path))
        tables = [(name, path) for name, path in tables if not args.only or args.only in name]
        workers = [Worker(temp, n, pg, my) for n in range(max(1, min(2, os.cpu_count() or 1)))]

        def run(worker):
            return [(n, check_table(args, worker, name, path))
                    for n, (name, path) in enumerate(tables) if n % len(workers) == workers.index(worker)]

        with concurrent.futures.ThreadPoolExecutor(len(workers)) as pool:
            done = [unit for share in pool.map(run, workers) for unit in share]
        units = [unit for _, unit in sorted(done, key=lambda pair: pair[0])]
    finally:
        pg.stop()
        my.stop()
        shutil.rmtree(temp, ignore_errors=True)

    for unit in units:
        if unit.failures:
            print(f"FAIL {unit.name}: {len(unit.failures)} mismatches")
            for message in unit.failures[:MAX_MESSAGES]:
                print(f"    {message}")
    for unit in units:
        if unit.not_compared:
            print(f"not compared: {unit.name} ({unit.not_compared})")
    for unit in units:
        if unit.note:
            print(f"note: {unit.name} ({unit.note})")
    for table, reason in refused:
        print(f"not checked, refused by the reader: {table} ({reason})")
    failed = sum(1 for u in units if u.failures)
    print(f"values compared: {sum(u.compared for u in units)}")
    print(f"{len(units) - failed} tables loaded and matched, {failed} failed")
    return 1 if failed or not units else 0


if __name__ == "__main__":
    sys.exit(main())
