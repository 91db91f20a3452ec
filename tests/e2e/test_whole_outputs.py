#!/usr/bin/python3
"""End-to-end tests of the promise that outputs appear whole or not at all: a
failed run leaves no part of an output and no temporary file, an appended file
gets its old bytes back, concurrent runs leave one whole output, and no run
writes over its source.

Usage: /usr/bin/python3 test_whole_outputs.py TABRIX [unittest arguments]

Tables are written with python3-dbf and outputs read back with the csv module
and python3-dbfread (Debian's packages, loaded by /usr/bin/python3 only).
"""
import csv
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
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
SMALL_FS_KB = 256


def write_table(path, rows, memo=False):
    layout = "NAME C(20); QTY N(8,0)" + ("; NOTE M" if memo else "")
    table = dbf.Table(path, layout, dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()


def rows_of(prefix, count, memo_size=0):
    return [(("%s%06d" % (prefix, i)), i) + ((("%s note %d " % (prefix, i)) * memo_size,) if memo_size else ())
            for i in range(count)]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def csv_rows(path):
    with open(path, newline="", encoding="cp1252") as f:
        return [tuple(r) for r in csv.reader(f)]


def expected_csv(rows):
    return [(name, str(qty)) for name, qty, *_ in rows]


def environment(home):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
    env.update(LANG="C", LC_ALL="C", HOME=home, XDG_CONFIG_HOME=home, TABRIX_SETTINGS=fresh_settings())
    return env


def small_fs_command():
    """The words that run a shell script with a fresh small tmpfs mounted at $1 in a private mount
    namespace, or None with the reason when this machine allows no such mount."""
    for prefix in (["unshare", "-m"], ["unshare", "-rm"]):
        probe = subprocess.run(prefix + ["/bin/sh", "-c", "d=$(mktemp -d) && mount -t tmpfs -o size=64k t $d"],
                               capture_output=True, text=True)
        if probe.returncode == 0:
            return prefix, None
        reason = probe.stderr.strip() or "mount failed"
    return None, reason


class WholeOutputTest(unittest.TestCase):
    templates = None

    @classmethod
    def setUpClass(cls):
        cls.templates = tempfile.mkdtemp(prefix="tabrix-whole-tables-")
        cls.big_rows = rows_of("big", 3000)
        cls.a_rows = rows_of("alpha", 1500)
        cls.b_rows = rows_of("beta", 900)
        cls.memo_rows = rows_of("memo", 300, memo_size=40)
        write_table(os.path.join(cls.templates, "Big.dbf"), cls.big_rows)
        write_table(os.path.join(cls.templates, "A.dbf"), cls.a_rows)
        write_table(os.path.join(cls.templates, "B.dbf"), cls.b_rows)
        write_table(os.path.join(cls.templates, "Notes.dbf"), cls.memo_rows, memo=True)
        write_table(os.path.join(cls.templates, "Small.dbf"), rows_of("small", 3), memo=True)
        cls.unshare, cls.no_mount_reason = small_fs_command()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.templates, ignore_errors=True)

    def setUp(self):
        root = tempfile.mkdtemp(prefix="tabrix-whole-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        self.dir = os.path.join(root, "work")
        self.home = os.path.join(root, "home")
        os.mkdir(self.dir)
        os.mkdir(self.home)
        for name in os.listdir(self.templates):
            shutil.copy2(os.path.join(self.templates, name), self.dir)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def tabrix(self, *args):
        return subprocess.run([TABRIX, *args], cwd=self.dir, env=environment(self.home), capture_output=True,
                              timeout=120)

    # --- a small full file system ------------------------------------------------------------------

    def full_fs_run(self, prepare, *args):
        """Runs tabrix with args ("{fs}" standing for the mount) on a fresh tmpfs of SMALL_FS_KB in a
        private mount namespace, after the shell lines prepare ran in it, with all but 8 KB filled.
        Returns the exit code, stderr and the sha256 of each file left on the tmpfs."""
        if self.unshare is None:
            self.skipTest("no private tmpfs mount here: " + self.no_mount_reason)
        mount = self.path("small")
        shutil.rmtree(mount, ignore_errors=True)
        os.mkdir(mount)
        script = """
m=$1; t=$2; shift 2
mount -t tmpfs -o size=%dk tabrix-small "$m" || exit 1
(cd "$m" && %s) || exit 1
head -c $(( $(stat -f -c '%%a*%%S' "$m") - 8192 )) /dev/zero > "$m/filler"
"$t" "$@" 2>"$m.err"
echo "exit $?"
rm "$m/filler"
for f in $(ls -A "$m"); do echo "file $f $(sha256sum "$m/$f" | cut -c1-64)"; done
""" % (SMALL_FS_KB, prepare or ":")
        words = [a.replace("{fs}", mount) for a in args]
        result = subprocess.run(self.unshare + ["/bin/sh", "-c", script, "sh", mount, TABRIX] + words,
                                cwd=self.dir, env=environment(self.home), capture_output=True, text=True,
                                timeout=120)
        lines = result.stdout.splitlines()
        self.assertTrue(lines and lines[0].startswith("exit "), result.stdout + result.stderr)
        files = dict(line.split()[1:3] for line in lines[1:] if line.startswith("file "))
        with open(mount + ".err", encoding="latin-1") as f:
            err = f.read()
        return int(lines[0].split()[1]), err, files

    def test_a_new_output_on_a_full_file_system_leaves_nothing(self):
        for output in ("out.csv", "out.htm", "out.sql", "out.rtf"):
            with self.subTest(output):
                code, err, files = self.full_fs_run("", "Big.dbf", "{fs}/" + output)
                self.assertEqual(code, 1)
                self.assertIn("No space left on device", err)
                self.assertEqual(files, {})

    def test_a_replaced_output_on_a_full_file_system_stays_as_it_was(self):
        old = hashlib.sha256(b"the previous output\r\n").hexdigest()
        code, err, files = self.full_fs_run("printf 'the previous output\\r\\n' > out.csv", "Big.dbf", "{fs}/out.csv")
        self.assertEqual(code, 1)
        self.assertIn("No space left on device", err)
        self.assertEqual(files, {"out.csv": old})

    def test_a_dbf_output_with_its_memo_file_on_a_full_file_system_leaves_neither(self):
        for switch in ("/DBASE3", "/VFP"):  # the memo file copied whole, and written memo by memo
            with self.subTest(switch):
                code, err, files = self.full_fs_run("", "Notes.dbf", "{fs}/out.dbf", switch)
                self.assertEqual(code, 1, err)
                self.assertEqual(files, {})

    def test_appending_on_a_full_file_system_restores_the_old_bytes(self):
        # A text output appended to, and a table with its memo file appended to: both keep every old byte.
        text = hashlib.sha256(b"kept,1\r\n").hexdigest()
        code, err, files = self.full_fs_run("printf 'kept,1\\r\\n' > out.csv", "Big.dbf", "{fs}/out.csv", "/add")
        self.assertEqual((code, files), (1, {"out.csv": text}), err)
        self.assertIn("No space left on device", err)
        # A table of the layout tabrix writes, which a later run may append to.
        self.assertEqual(self.tabrix("Small.dbf", "seed.dbf").returncode, 0)
        seed = {"out.dbf": digest(self.path("seed.dbf")), "out.dbt": digest(self.path("seed.dbt"))}
        code, err, files = self.full_fs_run("cp %s out.dbf && cp %s out.dbt" % (self.path("seed.dbf"),
                                                                                self.path("seed.dbt")),
                                            "Notes.dbf", "{fs}/out.dbf", "/add")
        self.assertEqual((code, files), (1, seed), err)
        self.assertIn("cannot write the memo file", err)

    # --- devices and pages ---------------------------------------------------------------------------

    def test_a_device_output_is_written_directly_and_never_replaced(self):
        os.symlink("/dev/full", self.path("full.csv"))
        run = self.tabrix("A.dbf", "full.csv")
        self.assertEqual(run.returncode, 1)
        self.assertIn(b"full.csv:No space left on device", run.stderr)
        self.assertEqual(os.readlink(self.path("full.csv")), "/dev/full")
        os.symlink("/dev/null", self.path("null.csv"))
        run = self.tabrix("A.dbf", "null.csv")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(os.readlink(self.path("null.csv")), "/dev/null")
        self.assertTrue(os.path.exists("/dev/null") and not os.path.isfile("/dev/null"))
        self.assertNotIn(".tabrix-", " ".join(os.listdir(self.dir)))

    def test_a_failed_html_page_leaves_no_page(self):
        for blocker in ("folder", "device"):
            with self.subTest(blocker):
                if blocker == "folder":
                    os.mkdir(self.path("report2.htm"))
                else:
                    os.symlink("/dev/full", self.path("report2.htm"))
                before = sorted(os.listdir(self.dir))
                run = self.tabrix("A.dbf", "report.htm", "/MAXPERPAGE=100")
                self.assertEqual(run.returncode, 1)
                self.assertIn(b"report2.htm", run.stderr)
                self.assertEqual(sorted(os.listdir(self.dir)), before)
                if blocker == "folder":
                    os.rmdir(self.path("report2.htm"))
                else:
                    os.unlink(self.path("report2.htm"))
        run = self.tabrix("A.dbf", "report.htm", "/MAXPERPAGE=100")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertTrue(os.path.exists(self.path("report14.htm")))

    # --- sources ---------------------------------------------------------------------------------------

    def test_no_output_or_memo_file_lands_on_the_source(self):
        sources = {name: digest(self.path(name)) for name in ("Notes.dbf", "Notes.dbt")}
        os.symlink(self.path("Notes.dbf"), self.path("alias.dbf"))
        os.symlink(self.path("Notes.dbt"), self.path("copy.dbt"))  # the output's memo file is the source's
        os.symlink(self.path("Notes.dbf"), self.path("page2.htm"))  # a later page is only named by the job
        for output, switches in (("alias.dbf", ()), ("copy.dbf", ()), ("page.htm", ("/MAXPERPAGE=1",))):
            with self.subTest(output):
                before = sorted(os.listdir(self.dir))
                run = self.tabrix("Notes.dbf", output, *switches)
                self.assertEqual(run.returncode, 1)
                self.assertRegex(run.stderr, rb"Notes\.db[ft]|is a source of this run")
                self.assertEqual(sorted(os.listdir(self.dir)), before)
                self.assertEqual({name: digest(self.path(name)) for name in sources}, sources)

    # --- what a successful run leaves ------------------------------------------------------------------

    def test_a_replaced_output_keeps_its_mode_and_takes_the_source_date(self):
        with open(self.path("out.csv"), "w") as f:
            f.write("old")
        os.chmod(self.path("out.csv"), 0o600)
        source_time = time.time() - 86400 * 400
        os.utime(self.path("A.dbf"), (source_time, source_time))
        run = self.tabrix("A.dbf", "out.csv", "/keepdate")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(os.stat(self.path("out.csv")).st_mode & 0o7777, 0o600)
        self.assertAlmostEqual(os.stat(self.path("out.csv")).st_mtime, source_time, delta=1)
        self.assertEqual(csv_rows(self.path("out.csv")), expected_csv(self.a_rows))

    # --- concurrent runs --------------------------------------------------------------------------------

    def test_concurrent_runs_leave_one_whole_output(self):
        expected = {"csv": [expected_csv(self.a_rows), expected_csv(self.b_rows)],
                    "dbf": [[(n, q) for n, q in expected_csv(rows)] for rows in (self.a_rows, self.b_rows)]}
        pairs = {"csv": 200, "dbf": 40}
        deadline = time.monotonic() + 240
        for kind, count in pairs.items():
            output = self.path("both." + kind)
            for i in range(count):
                self.assertLess(time.monotonic(), deadline, "the concurrent runs took too long")
                runs = [subprocess.Popen([TABRIX, table, output], cwd=self.dir, env=environment(self.home),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                        for table in ("A.dbf", "B.dbf")]
                for run in runs:
                    err = run.communicate(timeout=60)[1]
                    self.assertEqual(run.returncode, 0, err)
                if kind == "csv":
                    got = csv_rows(output)
                else:
                    got = [(r["NAME"], str(int(r["QTY"]))) for r in dbfread.DBF(output)]
                self.assertTrue(got in expected[kind], "pair %d: a %s output of %d rows mixed from both tables"
                                % (i, kind, len(got)))
            self.assertNotIn(".tabrix-", " ".join(os.listdir(self.dir)))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TABRIX = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
