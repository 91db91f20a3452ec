#!/usr/bin/python3
"""End-to-end tests of the tabrix command line: the executable is run as a user
runs it, and its output files, standard output, standard error and exit code
are checked.

Usage: /usr/bin/python3 test_cli.py TABRIX FIXTURES [unittest arguments]

TABRIX is the built executable; FIXTURES is the folder holding clients.dbf and
clients.dbt. The other tables are written here with python3-dbf (Debian's
package, loaded by /usr/bin/python3 only), a DBF writer independent of Tabrix,
and read back with python3-dbfread where values are compared.
"""
import datetime
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

try:
    import dbf
    import dbfread
except ImportError as exc:
    sys.exit("python3-dbf and python3-dbfread must load in %s (%s); install the Debian packages"
             % (sys.executable, exc))

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import fresh_settings  # noqa: E402

TABRIX = ""
FIXTURES = ""

# The log time in the C locale: month first, '/' between the date parts.
LOG_TIME = r"(\d{2}/\d{2}/\d{4} \d{2}:\d{2}:\d{2})"
BANNER = "Tabrix v7.82\r\n"

ACCOUNTS_ROWS = [("alpha", 1, datetime.date(2024, 1, 2)),
                 ("gone", 9, datetime.date(2020, 5, 5)),
                 ("beta", 22, datetime.date(2023, 12, 31))]
ACCOUNTS_DELETED = {1}
SALES_ROWS = [("gamma", 3, None), ("epsilon", 40, datetime.date(1999, 9, 9))]


def write_table(path, rows, deleted=()):
    table = dbf.Table(path, "NAME C(10); QTY N(5,0); DAY D", dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    for index in deleted:
        dbf.delete(table[index])
    table.close()


def value_line(row, separator=","):
    name, qty, day = row
    return separator.join([name, str(qty), day.strftime("%m/%d/%Y") if day else ""])


def delimited_text(rows, deleted=(), separator=",", names=True):
    """What a delimited output of the test tables holds: CR LF lines, none after the last record."""
    lines = [separator.join(["NAME", "QTY", "DAY"])] if names else []
    lines += [value_line(row, separator) for i, row in enumerate(rows) if i not in deleted]
    return "\r\n".join(lines).encode("cp1252")


def raw_records(path):
    """The live records of a DBF file as stored, without their deletion flag."""
    with open(path, "rb") as f:
        data = f.read()
    count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
    records = []
    for i in range(count):
        record = data[header_length + i * record_length:header_length + (i + 1) * record_length]
        if record[:1] != b"*":
            records.append(record[1:])
    return records


def log_times(text):
    return [datetime.datetime.strptime(t, "%m/%d/%Y %H:%M:%S") for t in re.findall(LOG_TIME, text)]


def clock_minutes(start, end, fmt):
    """The texts fmt gives for every minute from start to end."""
    texts, moment = set(), start.replace(second=0, microsecond=0)
    while moment <= end:
        texts.add(moment.strftime(fmt))
        moment += datetime.timedelta(minutes=1)
    return texts


def clock_seconds(start, end, fmt):
    texts, moment = set(), start.replace(microsecond=0)
    while moment <= end:
        texts.add(moment.strftime(fmt))
        moment += datetime.timedelta(seconds=1)
    return texts


class Run:
    def __init__(self, completed, started, ended):
        self.code = completed.returncode
        self.out = completed.stdout.decode("latin-1")
        self.err = completed.stderr.decode("latin-1")
        self.started = started
        self.ended = ended
        # time() reads a coarse clock that may lag the start by a tick, across a second boundary.
        self.earliest = started.replace(microsecond=0) - datetime.timedelta(seconds=1)

    @property
    def err_lines(self):
        return self.err.splitlines()


class CliTest(unittest.TestCase):
    """Each test runs in a fresh folder that holds Accounts.dbf (one deleted record) and Sales.2024.DBF."""

    templates = None

    @classmethod
    def setUpClass(cls):
        cls.templates = tempfile.mkdtemp(prefix="tabrix-e2e-tables-")
        write_table(os.path.join(cls.templates, "Accounts.dbf"), ACCOUNTS_ROWS, ACCOUNTS_DELETED)
        write_table(os.path.join(cls.templates, "Sales.2024.DBF"), SALES_ROWS)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.templates, ignore_errors=True)

    def setUp(self):
        root = tempfile.mkdtemp(prefix="tabrix-e2e-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        self.dir = os.path.join(root, "work")
        # Settings go outside the working folder, so they never show up among its files.
        self.home = os.path.join(root, "home")
        os.mkdir(self.dir)
        os.mkdir(self.home)
        for name in ("Accounts.dbf", "Sales.2024.DBF"):
            shutil.copy2(os.path.join(self.templates, name), self.dir)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def files(self):
        found = set()
        for folder, _, names in os.walk(self.dir):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.dir))
        return found

    def tabrix(self, *args, env=None):
        environ = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
        environ.update(LANG="C", LC_ALL="C", HOME=self.home, XDG_CONFIG_HOME=self.home,
                       TABRIX_SETTINGS=fresh_settings())
        environ.update(env or {})
        started = datetime.datetime.now()
        completed = subprocess.run([TABRIX, *args], cwd=self.dir, env=environ, capture_output=True, timeout=120)
        return Run(completed, started, datetime.datetime.now())

    def assertConverted(self, run):
        self.assertEqual((run.code, run.err), (0, ""), run.out)

    def assertTimesWithin(self, run, text):
        times = log_times(text)
        self.assertTrue(times, text)
        for t in times:
            self.assertTrue(run.earliest <= t <= run.ended, (t, run.started, run.ended))


class Forms(CliTest):
    def test_single_table_to_each_text_format(self):
        accounts = delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED)
        expected = {"out.csv": accounts, "out.txt": accounts,
                    "out.tsv": delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, separator="\t")}
        for name, content in expected.items():
            with self.subTest(name):
                run = self.tabrix("Accounts.dbf", name, "/HDR")
                self.assertConverted(run)
                self.assertEqual(run.out, "")
                self.assertEqual(self.read(name), content)
        with self.subTest("out.sdf"):
            run = self.tabrix("Accounts.dbf", "out.sdf", "/HDR")
            self.assertConverted(run)
            self.assertEqual(self.read("out.sdf"),
                             b"".join(r + b"\r\n" for r in raw_records(self.path("Accounts.dbf"))))

    def test_names_line_only_with_hdr(self):
        run = self.tabrix("Accounts.dbf", "out.csv")
        self.assertConverted(run)
        self.assertEqual(self.read("out.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False))

    def test_sample_table_with_memos_matches_an_independent_reader(self):
        for name in ("clients.dbf", "clients.dbt"):
            shutil.copy2(os.path.join(FIXTURES, name), self.dir)
        run = self.tabrix("clients.dbf", "clients.csv", "/HDR")
        self.assertConverted(run)
        lines = self.read("clients.csv").decode("cp1252").split("\r\n")
        table = dbfread.DBF(self.path("clients.dbf"), encoding="cp1252")
        self.assertEqual(lines[0], ",".join(table.field_names))
        expected = []
        for r in table:  # dbfread leaves deleted records out, as the converter does by default
            notes = (r["NOTES"] or "").replace("\r", " ").replace("\n", " ")
            expected.append(",".join([str(r["ID"]), r["NAME"], r["CITY"], r["SINCE"].strftime("%m/%d/%Y"),
                                      "%.2f" % r["BALANCE"], "T" if r["ACTIVE"] else "F", notes]))
        self.assertEqual(lines[1:], expected)

    def test_quoted_pattern_appends_every_match_into_one_output(self):
        self.write("notes.txt", b"not a table")
        self.write("Accounts.dbf.bak", self.read("Accounts.dbf"))
        run = self.tabrix("*.dbf", "all.csv", "/HDR")
        self.assertConverted(run)
        self.assertEqual(self.read("all.csv"),
                         delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED) + b"\r\n" + delimited_text(SALES_ROWS))

    def test_pattern_appends_after_what_the_output_held(self):
        self.write("all.csv", b"kept\r\n")
        run = self.tabrix("S*.dbf", "all.csv")
        self.assertConverted(run)
        self.assertEqual(self.read("all.csv"), b"kept\r\n" + delimited_text(SALES_ROWS, names=False))

    def test_shell_expanded_tables_are_appended_in_the_order_given(self):
        run = self.tabrix("Sales.2024.DBF", "Accounts.dbf", "all.tsv", "/HDR")
        self.assertConverted(run)
        self.assertEqual(self.read("all.tsv"),
                         delimited_text(SALES_ROWS, separator="\t") + b"\r\n"
                         + delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, separator="\t"))

    def test_folder_form_writes_one_output_per_table(self):
        os.mkdir(self.path("out"))
        run = self.tabrix("*.dbf", "out", "/TOcsv")
        self.assertConverted(run)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["Accounts.csv", "Sales.csv"])
        self.assertEqual(self.read("out", "Accounts.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False))
        self.assertEqual(self.read("out", "Sales.csv"), delimited_text(SALES_ROWS, names=False))

    def test_folder_form_lowercases_the_extension(self):
        os.mkdir(self.path("out"))
        run = self.tabrix(self.path("S*.dbf"), self.path("out"), "/TOTXT")
        self.assertConverted(run)
        self.assertEqual(os.listdir(self.path("out")), ["Sales.txt"])

    def test_recurse_converts_subfolders_first_and_repeats_them_under_the_output(self):
        tables = ["tree/alpha/Side.dbf", "tree/sub/deeper/Deep.DBF", "tree/sub/Mid.dbf", "tree/Top.dbf"]
        for table in tables:
            os.makedirs(os.path.dirname(self.path(table)), exist_ok=True)
            shutil.copy2(self.path("Sales.2024.DBF"), self.path(table))
        self.write("tree/notes.txt", b"not a table")
        # The pattern only gives the folder: every table below it is taken.
        run = self.tabrix("tree/q*.dbf", "rout", "/TOcsv", "/recurse", "/LOG")
        self.assertConverted(run)
        outputs = ["rout/alpha/Side.csv", "rout/sub/deeper/Deep.csv", "rout/sub/Mid.csv", "rout/Top.csv"]
        self.assertEqual({f for f in self.files() if f.startswith("rout/")}, set(outputs))
        for output in outputs:
            self.assertEqual(self.read(output), delimited_text(SALES_ROWS, names=False))
        log = self.read("tabrix.log").decode()
        order = re.findall(r"source file: (\S+) out file:(\S+)\r\n", log)
        self.assertEqual(order, list(zip(tables, outputs)))

    def test_list_file_names_the_tables_in_its_order(self):
        self.write("tables.txt", b"Sales.2024.DBF   \r\nnotes.txt\r\n\r\nAccounts.dbf\n")
        os.mkdir(self.path("lo"))
        run = self.tabrix("/LIST:tables.txt", "lo", "/TOtxt", "/LOG")
        self.assertConverted(run)
        self.assertEqual(sorted(os.listdir(self.path("lo"))), ["Accounts.txt", "Sales.txt"])
        self.assertEqual(self.read("lo", "Sales.txt"), delimited_text(SALES_ROWS, names=False))
        order = re.findall(r"source file: (\S+) out file:", self.read("tabrix.log").decode())
        self.assertEqual(order, ["Sales.2024.DBF", "Accounts.dbf"])

    def test_command_file_runs_its_first_line(self):
        self.write("job.txt", b'"Accounts.dbf" "my out.csv" /HDR\r\nSales.2024.DBF second.csv\r\n')
        run = self.tabrix("@job.txt")
        self.assertConverted(run)
        self.assertEqual(self.read("my out.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED))
        self.assertFalse(os.path.exists(self.path("second.csv")))

    def test_missing_command_file_converts_nothing(self):
        before = self.files()
        run = self.tabrix("@nothere.txt")
        self.assertEqual(run.code, 2)
        self.assertIn("nothere.txt", run.err)
        self.assertEqual(self.files(), before)

    def test_version_and_help(self):
        run = self.tabrix("--version")
        self.assertEqual((run.code, run.out, run.err), (0, "Tabrix v7.82\n", ""))
        run = self.tabrix("--help")
        self.assertEqual((run.code, run.err), (0, ""))
        self.assertTrue(run.out.startswith("Tabrix v7.82\n"), run.out)
        self.assertIn("Usage: tabrix", run.out)
        for word in ("-h", "help"):
            self.assertEqual(self.tabrix(word).out, run.out, word)


class LogAndConsole(CliTest):
    def full_log(self, source, output, records):
        return (re.escape(BANNER)
                + LOG_TIME + re.escape(" source file: %s out file:%s\r\n" % (source, output))
                + LOG_TIME + re.escape(" Open file: %s:\r\n" % output)
                + LOG_TIME + re.escape(" saved %d records\r\n" % records))

    def test_log_in_the_current_folder(self):
        run = self.tabrix("Accounts.dbf", "out.csv", "/LOG")
        self.assertConverted(run)
        log = self.read("tabrix.log").decode()
        self.assertRegex(log, "^" + self.full_log("Accounts.dbf", "out.csv", 2) + "$")
        self.assertTimesWithin(run, log)

    def test_log_at_a_given_path(self):
        os.mkdir(self.path("logs"))
        run = self.tabrix("Sales.2024.DBF", "out.txt", "/LOG:" + self.path("logs", "run.log"))
        self.assertConverted(run)
        self.assertRegex(self.read("logs", "run.log").decode(), "^" + self.full_log("Sales.2024.DBF", "out.txt", 2) + "$")
        self.assertFalse(os.path.exists(self.path("tabrix.log")))

    def test_logappend_keeps_earlier_content_and_log_replaces_it(self):
        self.write("tabrix.log", b"earlier run\r\n")
        run = self.tabrix("Accounts.dbf", "out.csv", "/logappend")
        self.assertConverted(run)
        self.assertRegex(self.read("tabrix.log").decode(),
                         "^earlier run\r\n" + self.full_log("Accounts.dbf", "out.csv", 2) + "$")
        run = self.tabrix("Accounts.dbf", "out.csv", "/LOG")
        self.assertConverted(run)
        self.assertTrue(self.read("tabrix.log").startswith(BANNER.encode()))

    def test_loglevel_1_keeps_only_the_saved_line(self):
        # "/loglevel:1" begins with "/LOG", so it opens the default log by itself.
        run = self.tabrix("Accounts.dbf", "out.csv", "/loglevel:1")
        self.assertConverted(run)
        self.assertRegex(self.read("tabrix.log").decode(),
                         "^" + re.escape(BANNER) + LOG_TIME + re.escape(" saved 2 records\r\n") + "$")

    def test_tm_adds_the_elapsed_time(self):
        run = self.tabrix("Accounts.dbf", "out.csv", "/LOG", "/tm")
        self.assertConverted(run)
        log = self.read("tabrix.log").decode()
        self.assertRegex(log, "^" + self.full_log("Accounts.dbf", "out.csv", 2) + r"\ntime \d+ ms$")
        elapsed = int(re.search(r"time (\d+) ms", log).group(1))
        self.assertLessEqual(elapsed, (run.ended - run.started).total_seconds() * 1000 + 1)
        # "/tm" is matched in its exact case; "/TM" is reported as unknown.
        run = self.tabrix("Accounts.dbf", "out.csv", "/LOG", "/TM")
        self.assertEqual((run.code, run.err_lines), (0, ["Unknown switch /TM (did you mean /tm?)"]))
        self.assertNotIn("time ", self.read("tabrix.log").decode())

    def test_console_shows_banner_source_line_and_progress(self):
        run = self.tabrix("Accounts.dbf", "out.csv", "/console")
        self.assertConverted(run)
        self.assertTrue(run.out.startswith(BANNER), run.out)
        self.assertRegex(run.out, LOG_TIME + re.escape(" source file: Accounts.dbf out file:out.csv\r\n"))
        self.assertEqual(run.out.count("Converted 100%"), 1, run.out)
        self.assertTimesWithin(run, run.out)
        self.assertFalse(os.path.exists(self.path("tabrix.log")))

    def test_console_takes_the_source_lines_from_the_log(self):
        run = self.tabrix("Accounts.dbf", "out.csv", "/console", "/LOG", "/tm")
        self.assertConverted(run)
        self.assertIn("source file: Accounts.dbf out file:out.csv", run.out)
        log = self.read("tabrix.log").decode()
        self.assertNotIn("source file:", log)
        self.assertRegex(log, "^" + re.escape(BANNER) + LOG_TIME + re.escape(" Open file: out.csv:\r\n")
                         + LOG_TIME + re.escape(" saved 2 records\r\n") + r"\ntime \d+ ms$")


class Jobs(CliTest):
    """Tables converted side by side report exactly as one at a time."""

    def without_times(self, text):
        return re.sub(LOG_TIME, "T", text)

    def test_side_by_side_run_matches_one_at_a_time(self):
        for n in range(10):
            shutil.copy2(self.path("Accounts.dbf" if n % 2 else "Sales.2024.DBF"), self.path("t%02d.dbf" % n))
        self.write("t05.dbf", b"not a table")  # fails in the middle of the run
        runs = {}
        for jobs in ("1", "4"):
            run = self.tabrix("t*.dbf", "out", "/TOcsv", "/HDR", "/console", "/LOG:run.log", "/JOBS:" + jobs)
            outputs = {name: self.read("out", name) for name in os.listdir(self.path("out"))}
            runs[jobs] = (run.code, run.err, self.without_times(run.out),
                          self.without_times(self.read("run.log").decode()), outputs)
            shutil.rmtree(self.path("out"))
        self.assertEqual(runs["4"], runs["1"])
        code, err, out, log, outputs = runs["1"]
        self.assertEqual((code, len(err.splitlines())), (1, 1), err)
        self.assertTrue(err.startswith("t05.dbf:"), err)
        self.assertEqual(log.count("t05.dbf:"), 1, log)
        self.assertEqual(re.findall(r"source file: (\S+)", out), ["t%02d.dbf" % n for n in range(10)])
        self.assertEqual(len(outputs), 9)
        self.assertEqual(outputs["t01.csv"], self.tabrix_output("Accounts.dbf"))

    def tabrix_output(self, table):
        self.assertConverted(self.tabrix(table, "single.csv", "/HDR"))
        return self.read("single.csv")

    def test_jobs_value_must_be_a_count(self):
        run = self.tabrix("*.dbf", "out", "/TOcsv", "/JOBS:many")
        self.assertEqual(run.code, 0)
        self.assertIn("/JOBS:many:not a whole number", run.err)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["Accounts.csv", "Sales.csv"])


class Placeholders(CliTest):
    def converted_name(self, run, pattern):
        self.assertConverted(run)
        names = [f for f in self.files() if re.fullmatch(pattern, f)]
        self.assertEqual(len(names), 1, self.files())
        return names[0]

    def test_date_in_the_output_name(self):
        run = self.tabrix("Accounts.dbf", "out_[date].csv")
        name = self.converted_name(run, r"out_.*\.csv")
        self.assertIn(name, clock_minutes(run.started, run.ended, "out_%Y-%m-%d.csv"))

    def test_date_and_time_formats_in_any_case(self):
        run = self.tabrix("Accounts.dbf", "out_[date:ddmmyyyy]_[TIME:HH-MM].csv")
        name = self.converted_name(run, r"out_.*\.csv")
        self.assertIn(name, clock_minutes(run.started, run.ended, "out_%d%m%Y_%H-%M.csv"))
        self.assertEqual(self.read(name), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False))

    def test_plain_time(self):
        run = self.tabrix("Accounts.dbf", "log_[time].txt")
        name = self.converted_name(run, r"log_.*\.txt")
        self.assertIn(name, clock_seconds(run.started, run.ended, "log_%H%M%S.txt"))

    def test_plain_date_stays_beside_a_date_format(self):
        run = self.tabrix("Accounts.dbf", "[date:yyyy]_[date].csv")
        name = self.converted_name(run, r".*\.csv")
        self.assertIn(name, clock_minutes(run.started, run.ended, "%Y_[date].csv"))

    def test_date_in_the_source_name(self):
        today = datetime.datetime.now()
        for moment in (today, today + datetime.timedelta(minutes=1)):
            shutil.copy2(self.path("Sales.2024.DBF"), self.path(moment.strftime("in_%Y-%m-%d.dbf")))
        run = self.tabrix("in_[date].dbf", "out.csv")
        self.assertConverted(run)
        self.assertEqual(self.read("out.csv"), delimited_text(SALES_ROWS, names=False))


class ExitCodesAndMessages(CliTest):
    def assertNothingDone(self, run, message, before):
        self.assertEqual(run.code, 2)
        self.assertIn(message, run.err_lines)
        self.assertEqual(run.out, "")
        self.assertEqual(self.files(), before)

    def test_no_table_in_the_line(self):
        before = self.files()
        self.assertNothingDone(self.tabrix("Accounts.csv", "out.csv"), "No dbf file in the command line", before)
        run = self.tabrix("Accounts.csv", "out.csv", "/LOG")
        self.assertEqual(run.code, 2)
        self.assertRegex(self.read("tabrix.log").decode(), "^" + re.escape(BANNER) + "No dbf file in the command line")

    def test_only_one_argument(self):
        before = self.files()
        for args in (["Accounts.dbf"], ["Accounts.dbf", "/HDR"]):
            with self.subTest(args):
                run = self.tabrix(*args)
                self.assertEqual((run.code, run.out), (2, ""))
                self.assertEqual(self.files(), before)

    def test_output_without_extension(self):
        before = self.files()
        self.assertNothingDone(self.tabrix("Accounts.dbf", "out"), "Not valid output format", before)
        self.write("tables.txt", b"Accounts.dbf\n")
        before = self.files()
        self.assertNothingDone(self.tabrix("/LIST:tables.txt", "out"), "Not valid output format", before)
        run = self.tabrix("Accounts.dbf", "out", "/LOG")
        self.assertEqual(run.code, 2)
        self.assertRegex(self.read("tabrix.log").decode(), "^" + re.escape(BANNER) + "Not valid output format")

    def test_pattern_without_matches(self):
        before = self.files()
        self.assertNothingDone(self.tabrix("zz*.dbf", "all.csv"), "zz*.dbf: files not found", before)
        run = self.tabrix("zz*.dbf", "all.csv", "/LOG")
        self.assertEqual(run.code, 2)
        self.assertIn("zz*.dbf: files not found\r\n", self.read("tabrix.log").decode())

    def test_missing_table_among_several(self):
        run = self.tabrix("Accounts.dbf", "missing.dbf", "Sales.2024.DBF", "all.csv", "/LOG")
        self.assertEqual(run.code, 1)
        self.assertEqual(run.err_lines, ["missing.dbf:No such file or directory"])
        self.assertIn("missing.dbf:No such file or directory\r\n", self.read("tabrix.log").decode())
        self.assertEqual(self.read("all.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False)
                         + b"\r\n" + delimited_text(SALES_ROWS, names=False))

    def test_missing_single_table(self):
        run = self.tabrix("missing.dbf", "out.csv")
        self.assertEqual((run.code, run.err_lines), (1, ["missing.dbf:No such file or directory"]))
        self.assertFalse(os.path.exists(self.path("out.csv")))

    def test_unreadable_list_file_names_no_table(self):
        run = self.tabrix("/LIST:nolist.txt", "lo", "/TOcsv")
        self.assertEqual(run.code, 2)
        self.assertIn("nolist.txt:No such file or directory", run.err_lines)
        self.assertIn("No dbf file in the command line", run.err_lines)
        self.assertFalse(os.path.exists(self.path("lo")))

    def test_missing_table_in_a_list(self):
        self.write("tables.txt", b"missing.dbf\nSales.2024.DBF\n")
        os.mkdir(self.path("lo"))
        run = self.tabrix("/LIST:tables.txt", "lo", "/TOcsv")
        self.assertEqual(run.code, 1)
        self.assertEqual(run.err_lines, ["missing.dbf:No such file or directory"])
        self.assertEqual(os.listdir(self.path("lo")), ["Sales.csv"])

    def assertOutputFailed(self, run, output, reason):
        self.assertEqual(run.code, 1)
        self.assertIn("%s:%s" % (output, reason), run.err_lines)
        log = self.read("tabrix.log").decode()
        self.assertIn("%s:%s\r\n" % (output, reason), log)
        self.assertNotIn("saved", log)

    def test_output_in_a_missing_folder(self):
        for output, folder in (("nodir/out.csv", "nodir"), (self.path("nodir/sub/out.csv"), self.path("nodir/sub"))):
            with self.subTest(output):
                run = self.tabrix("Accounts.dbf", output, "/LOG")
                self.assertOutputFailed(run, output, "the folder %s does not exist" % folder)
                self.assertFalse(os.path.exists(self.path("nodir")))

    def test_output_in_a_read_only_folder(self):
        if os.geteuid() == 0:
            self.skipTest("running as root: a read-only folder does not stop writes")
        os.mkdir(self.path("locked"))
        os.chmod(self.path("locked"), stat.S_IRUSR | stat.S_IXUSR)
        self.addCleanup(os.chmod, self.path("locked"), stat.S_IRWXU)
        run = self.tabrix("Accounts.dbf", "locked/out.csv", "/LOG")
        self.assertOutputFailed(run, "locked/out.csv", "Permission denied")

    def test_output_to_a_full_device(self):
        os.symlink("/dev/full", self.path("full.csv"))
        run = self.tabrix("Accounts.dbf", "full.csv", "/LOG")
        self.assertOutputFailed(run, "full.csv", "No space left on device")

    def test_output_on_a_full_file_system(self):
        mount = os.path.join(os.path.dirname(self.dir), "small")
        os.mkdir(mount)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tabrix-e2e", mount],
                                capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest("cannot mount a small tmpfs here: " + (result.stderr.strip() or "mount failed"))
        self.addCleanup(subprocess.run, ["umount", mount], capture_output=True)
        # Leave one block free, so the output starts to be written and then runs out of room.
        fs = os.statvfs(mount)
        with open(os.path.join(mount, "filler"), "wb") as f:
            f.write(b"\0" * ((fs.f_bavail - 1) * fs.f_frsize))
        rows = [("row%06d" % i, i, datetime.date(2000, 1, 1) + datetime.timedelta(days=i)) for i in range(400)]
        write_table(self.path("Big.dbf"), rows)
        output = os.path.join(mount, "big.csv")
        run = self.tabrix("Big.dbf", output, "/LOG", "/rmsrc")
        self.assertOutputFailed(run, output, "No space left on device")
        self.assertTrue(os.path.exists(self.path("Big.dbf")))

    def test_rmsrc_deletes_the_source_only_after_success(self):
        shutil.copy2(self.path("Accounts.dbf"), self.path("Copy.dbf"))
        os.symlink("/dev/full", self.path("full.csv"))
        failing = {"full.csv": "No space left on device", "nodir/out.csv": "the folder nodir does not exist"}
        for output, reason in failing.items():
            with self.subTest(output):
                run = self.tabrix("Accounts.dbf", output, "/rmsrc")
                self.assertEqual(run.code, 1)
                self.assertIn("%s:%s" % (output, reason), run.err_lines)
                self.assertTrue(os.path.exists(self.path("Accounts.dbf")))
        run = self.tabrix("Accounts.dbf", "out.csv", "/rmsrc")
        self.assertConverted(run)
        self.assertFalse(os.path.exists(self.path("Accounts.dbf")))
        self.assertEqual(self.read("out.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False))
        # In a batch, the tables that converted go and a missing one is only reported.
        run = self.tabrix("Copy.dbf", "missing.dbf", "Sales.2024.DBF", "all.csv", "/rmsrc")
        self.assertEqual(run.code, 1)
        self.assertEqual(run.err_lines, ["missing.dbf:No such file or directory"])
        self.assertEqual(self.files(), {"out.csv", "all.csv", "full.csv"})

    def test_unknown_switches_are_reported_and_change_nothing(self):
        self.assertConverted(self.tabrix("Accounts.dbf", "plain.csv", "/HDR"))
        before = self.files()
        run = self.tabrix("Accounts.dbf", "out.csv", "/HDR", "/bogus", "/nonsense:42", "/zz=1")
        self.assertEqual((run.code, run.out), (0, ""))
        self.assertEqual(run.err_lines, ["Unknown switch /bogus", "Unknown switch /nonsense:42", "Unknown switch /zz=1"])
        self.assertEqual(self.files(), before | {"out.csv"})
        self.assertEqual(self.read("out.csv"), self.read("plain.csv"))

    def test_unknown_extension_writes_a_table_of_the_source_version(self):
        source = self.read("Accounts.dbf")
        run = self.tabrix("Accounts.dbf", "out.xyz")
        self.assertConverted(run)
        out = self.read("out.xyz")
        self.assertEqual(out[0], source[0])
        written = list(dbfread.DBF(self.path("out.xyz"), encoding="cp1252"))
        self.assertEqual(written, list(dbfread.DBF(self.path("Accounts.dbf"), encoding="cp1252")))
        self.assertEqual(self.read("Accounts.dbf"), source)

    def with_header_count(self, name, count, keep_bytes=None):
        data = bytearray(self.read("Accounts.dbf"))
        struct.pack_into("<I", data, 4, count)
        self.write(name, bytes(data[:keep_bytes]))

    def assertShortTable(self, run, table, promised, held):
        self.assertEqual(run.code, 1)
        self.assertEqual(len(run.err_lines), 1, run.err)
        line = run.err_lines[0]
        self.assertTrue(line.startswith(table + ":"), line)
        self.assertEqual([int(n) for n in re.findall(r"\d+", line[len(table) + 1:])], [promised, held])

    def test_header_promising_more_records_than_the_file_holds(self):
        self.with_header_count("Short.dbf", 7)
        run = self.tabrix("Short.dbf", "out.csv", "/LOG", "/rmsrc")
        self.assertShortTable(run, "Short.dbf", 7, 3)
        self.assertIn(run.err_lines[0] + "\r\n", self.read("tabrix.log").decode())
        self.assertEqual(self.read("out.csv"), delimited_text(ACCOUNTS_ROWS, ACCOUNTS_DELETED, names=False))
        self.assertTrue(os.path.exists(self.path("Short.dbf")))

    def test_final_partial_record_is_not_written(self):
        data = self.read("Accounts.dbf")
        _, header_length, record_length = struct.unpack_from("<IHH", data, 4)
        self.with_header_count("Cut.dbf", 3, header_length + 2 * record_length + record_length // 2)
        run = self.tabrix("Cut.dbf", "out.csv", "/EXPORTALL")
        self.assertShortTable(run, "Cut.dbf", 3, 2)
        self.assertEqual(self.read("out.csv"), delimited_text(ACCOUNTS_ROWS[:2], names=False))


class KeepDate(CliTest):
    def test_keepdate_gives_the_output_the_source_time(self):
        stamp = datetime.datetime(2001, 2, 3, 4, 5, 6).timestamp()
        os.utime(self.path("Accounts.dbf"), (stamp, stamp))
        run = self.tabrix("Accounts.dbf", "kept.csv", "/keepdate")
        self.assertConverted(run)
        self.assertEqual(os.stat(self.path("kept.csv")).st_mtime, stamp)
        run = self.tabrix("Accounts.dbf", "fresh.csv")
        self.assertConverted(run)
        self.assertGreaterEqual(os.stat(self.path("fresh.csv")).st_mtime, run.started.timestamp() - 1)

    def test_keepdate_in_a_folder_run(self):
        stamps = {"Accounts.dbf": datetime.datetime(2010, 6, 7, 8, 9, 10).timestamp(),
                  "Sales.2024.DBF": datetime.datetime(1999, 12, 31, 23, 59, 58).timestamp()}
        for name, stamp in stamps.items():
            os.utime(self.path(name), (stamp, stamp))
        os.mkdir(self.path("out"))
        run = self.tabrix("*.dbf", "out", "/TOtsv", "/keepdate")
        self.assertConverted(run)
        self.assertEqual(os.stat(self.path("out", "Accounts.tsv")).st_mtime, stamps["Accounts.dbf"])
        self.assertEqual(os.stat(self.path("out", "Sales.tsv")).st_mtime, stamps["Sales.2024.DBF"])


class DayMonthYearLocale(CliTest):
    """A locale whose dates put the day first: log times with fixed dots, values in the locale's order."""

    locales = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.locales = tempfile.mkdtemp(prefix="tabrix-e2e-locales-")
        result = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(cls.locales, "de_DE.UTF-8")],
                                capture_output=True, text=True)
        cls.locale_error = None if result.returncode == 0 else (result.stderr.strip() or "localedef failed")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.locales, ignore_errors=True)
        super().tearDownClass()

    def test_log_time_and_dates_follow_the_locale(self):
        if self.locale_error:
            self.skipTest("cannot build the de_DE locale: " + self.locale_error)
        run = self.tabrix("Accounts.dbf", "out.csv", "/LOG",
                          env={"LOCPATH": self.locales, "LANG": "de_DE.UTF-8", "LC_ALL": "de_DE.UTF-8"})
        self.assertConverted(run)
        log = self.read("tabrix.log").decode()
        times = re.findall(r"(\d{2}\.\d{2}\.\d{4} \d{2}:\d{2}:\d{2}) source file: Accounts\.dbf", log)
        self.assertEqual(len(times), 1, log)
        moment = datetime.datetime.strptime(times[0], "%d.%m.%Y %H:%M:%S")
        self.assertTrue(run.earliest <= moment <= run.ended, (moment, run.started))
        live = [row for i, row in enumerate(ACCOUNTS_ROWS) if i not in ACCOUNTS_DELETED]
        self.assertEqual(self.read("out.csv"),
                         "\r\n".join("%s,%d,%s" % (n, q, d.strftime("%d.%m.%Y")) for n, q, d in live).encode())


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    TABRIX = os.path.abspath(sys.argv[1])
    FIXTURES = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
