#!/usr/bin/python3
"""End-to-end tests of what the tabrix command line promises about the user's
files and mistakes: no output lands on a source or its memo file, mistakes in
the switches are reported, "/rmsrc" removes only what converted cleanly.

Usage: /usr/bin/python3 test_cli_safety.py TABRIX [unittest arguments]

The tables are written with python3-dbf and read back with python3-dbfread
(Debian's packages, loaded by /usr/bin/python3 only); every file of the
folder is compared by checksum after each refused run.
"""
import csv
import hashlib
import io
import os
import shutil
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

PLAIN_A = [("alpha", 1), ("beta", 2)]
PLAIN_B = [("gamma", 3)]
MEMO_ROWS = [("ann", "a first note"), ("bob", "a second note")]


def write_table(path, layout, rows, dbf_type="db3"):
    table = dbf.Table(path, layout, dbf_type=dbf_type, codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()


def rows_of(path):
    return [tuple(record.values()) for record in dbfread.DBF(path, encoding="cp1252")]


class Run:
    def __init__(self, completed):
        self.code = completed.returncode
        self.out = completed.stdout.decode("latin-1")
        self.err = completed.stderr.decode("latin-1")
        self.err_lines = self.err.splitlines()


class SafetyTest(unittest.TestCase):
    """Each test runs in a fresh folder with a.dbf and b.dbf (no memo fields), m.dbf with m.dbt
    (dBase III) and f.dbf with f.fpt (Visual FoxPro)."""

    def setUp(self):
        root = tempfile.mkdtemp(prefix="tabrix-safety-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        self.dir = os.path.join(root, "work")
        self.home = os.path.join(root, "home")
        os.mkdir(self.dir)
        os.mkdir(self.home)
        write_table(self.path("a.dbf"), "NAME C(10); QTY N(5,0)", PLAIN_A)
        write_table(self.path("b.dbf"), "NAME C(10); QTY N(5,0)", PLAIN_B)
        write_table(self.path("m.dbf"), "NAME C(10); NOTE M", MEMO_ROWS)
        write_table(self.path("f.dbf"), "NAME C(10); NOTE M", MEMO_ROWS, dbf_type="vfp")
        assert os.path.exists(self.path("m.dbt")) and os.path.exists(self.path("f.fpt"))

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def tabrix(self, *args, timeout=120):
        environ = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
        environ.update(LANG="C", LC_ALL="C", HOME=self.home, XDG_CONFIG_HOME=self.home,
                       TABRIX_SETTINGS=fresh_settings())
        completed = subprocess.run([TABRIX, *args], cwd=self.dir, env=environ, capture_output=True,
                                   timeout=timeout)
        return Run(completed)

    def checksums(self):
        """Every file below the folder (links followed) and the hash of its bytes."""
        sums = {}
        for folder, _, names in os.walk(self.dir):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    sums[os.path.relpath(path, self.dir)] = hashlib.sha256(f.read()).hexdigest()
        return sums

    def csv_rows(self, name):
        with open(self.path(name), "rb") as f:
            return list(csv.reader(io.StringIO(f.read().decode("cp1252"), newline="")))

    def assertRefused(self, args, message):
        before = self.checksums()
        run = self.tabrix(*args)
        self.assertEqual(run.code, 1, run.err)
        self.assertIn(message, run.err_lines)
        self.assertEqual(self.checksums(), before)


class OutputsNeverLandOnSources(SafetyTest):
    def test_expanded_pattern_appends_into_its_last_word(self):
        # The shell turns "*.dbf all.dbf" into these words in a folder holding a.dbf and b.dbf.
        before = self.checksums()
        run = self.tabrix("a.dbf", "b.dbf", "all.dbf")
        self.assertEqual((run.code, run.err), (0, ""))
        self.assertEqual(rows_of(self.path("all.dbf")), PLAIN_A + PLAIN_B)
        after = self.checksums()
        self.assertEqual({name: after[name] for name in before}, before)

    def test_expanded_pattern_that_holds_its_output(self):
        shutil.copy(self.path("a.dbf"), self.path("all.dbf"))
        self.assertRefused(["a.dbf", "all.dbf", "b.dbf", "all.dbf"],
                           "all.dbf:the output would overwrite the source all.dbf; nothing was converted")
        self.assertRefused(["*.dbf", "all.dbf"],
                           "all.dbf:the output would overwrite the source all.dbf; nothing was converted")

    def test_output_on_a_memo_file(self):
        memo_of_m = "m.dbt, the memo file of the source m.dbf; nothing was converted"
        self.assertRefused(["m.dbf", "m.dbt"], "m.dbt:the output would overwrite " + memo_of_m)
        # An unknown extension gives a DBF table, whose memo file would be m.dbt.
        self.assertRefused(["m.dbf", "M.DBT"], "M.DBT:its memo file m.dbt would overwrite " + memo_of_m)
        self.assertRefused(["f.dbf", "f.fpt", "/HDR"],
                           "f.fpt:the output would overwrite f.fpt, the memo file of the source f.dbf; "
                           "nothing was converted")
        os.symlink("m.dbt", self.path("out.dbt"))
        self.assertRefused(["m.dbf", "out.dbf"], "out.dbf:its memo file out.dbt would overwrite " + memo_of_m)

    def test_links_are_resolved(self):
        os.symlink("m.dbf", self.path("link.dbf"))
        os.link(self.path("a.dbf"), self.path("hard.dbf"))
        self.assertRefused(["link.dbf", "m.dbf", "/VFP"],
                           "m.dbf:the output would overwrite the source link.dbf; nothing was converted")
        self.assertRefused(["a.dbf", "hard.dbf"],
                           "hard.dbf:the output would overwrite the source a.dbf; nothing was converted")
        self.assertRefused(["m.dbf", self.path("link.dbf")],
                           self.path("link.dbf") + ":the output would overwrite the source m.dbf; "
                           "nothing was converted")

    def test_folder_and_list_forms(self):
        self.assertRefused(["*.dbf", ".", "/TOdbf"],
                           "./a.dbf:the output would overwrite the source a.dbf; nothing was converted")
        self.assertRefused(["m*.dbf", ".", "/TOdbt"],
                           "./m.dbt:the output would overwrite m.dbt, the memo file of the source m.dbf; "
                           "nothing was converted")
        with open(self.path("list.txt"), "w") as f:
            f.write("b.dbf\nf.dbf\n")
        self.assertRefused(["/LIST:list.txt", self.dir, "/TOdbf"],
                           self.path("b.dbf") + ":the output would overwrite the source b.dbf; nothing was converted")

    def test_log_on_a_source(self):
        self.assertRefused(["m.dbf", "out.csv", "/LOG:m.dbt"],
                           "m.dbt:the log would overwrite m.dbt, a file of the source m.dbf; nothing was converted")
        # The memo file is found in any letter case.
        os.rename(self.path("f.dbf"), self.path("UP.DBF"))
        os.rename(self.path("f.fpt"), self.path("Up.Fpt"))
        self.assertRefused(["UP.DBF", "out.csv", "/LOG:Up.Fpt"],
                           "Up.Fpt:the log would overwrite Up.Fpt, a file of the source UP.DBF; nothing was converted")


class SwitchMistakes(SafetyTest):
    def test_unknown_switch_named_with_the_nearest_one(self):
        run = self.tabrix("a.dbf", "out.csv", "/HRD", "/LOG")
        self.assertEqual((run.code, run.err_lines), (0, ["Unknown switch /HRD (did you mean /HDR?)"]))
        with open(self.path("tabrix.log"), "rb") as f:
            self.assertIn(b"Unknown switch /HRD (did you mean /HDR?)\r\n", f.read())
        self.assertEqual(self.csv_rows("out.csv"), [["alpha", "1"], ["beta", "2"]])

    def test_values_that_are_not_counts_keep_the_default(self):
        cases = [("out.csv", "/last:abc", []), ("out.csv", "/last:-1", []), ("out.htm", "/MAXPERPAGE=-3", []),
                 ("out.htm", "/BORDER=", []), ("out.sql", "/go:x", ["/go"])]
        for output, word, same_as in cases:
            with self.subTest(word):
                expected_run = self.tabrix("m.dbf", "expected" + output[3:], *same_as)
                self.assertEqual(expected_run.code, 0)
                run = self.tabrix("m.dbf", output, word)
                self.assertEqual(run.code, 0)
                self.assertEqual(run.err_lines, [word + ":not a whole number of 0 or more, the default is kept"])
                with open(self.path(output), "rb") as got, open(self.path("expected" + output[3:]), "rb") as want:
                    self.assertEqual(got.read(), want.read())


class RemovingSources(SafetyTest):
    def test_removes_the_table_and_its_memo_file_after_a_clean_run(self):
        for table, memo in (("m.dbf", "m.dbt"), ("f.dbf", "f.fpt")):
            with self.subTest(table):
                run = self.tabrix(table, table[0] + ".csv", "/rmsrc")
                self.assertEqual((run.code, run.err), (0, ""))
                self.assertEqual(self.csv_rows(table[0] + ".csv"), [list(row) for row in MEMO_ROWS])
                self.assertFalse(os.path.exists(self.path(table)))
                self.assertFalse(os.path.exists(self.path(memo)))

    def test_keeps_the_sources_after_a_warning(self):
        kept = "m.dbf:kept despite /rmsrc, as warnings were given"
        cases = [(["/COLUMNS:NAME,NOSUCH"], 0, ["m.dbf:/COLUMNS: names no field NOSUCH", kept]),
                 (["/HRD"], 0, ["Unknown switch /HRD (did you mean /HDR?)", kept]),
                 (["/last:x"], 0, ["/last:x:not a whole number of 0 or more, the default is kept", kept]),
                 (["/FILTER2:NOSUCH:x"], 1, ["m.dbf:/FILTER2: names no field NOSUCH; the table is not converted"])]
        for switches, code, lines in cases:
            with self.subTest(switches):
                sources = {name: digest for name, digest in self.checksums().items() if name.startswith("m.")}
                run = self.tabrix("m.dbf", "out.csv", "/rmsrc", *switches)
                self.assertEqual((run.code, run.err_lines), (code, lines))
                after = self.checksums()
                self.assertEqual({name: after.get(name) for name in sources}, sources)


class SmallerPoints(SafetyTest):
    def test_pipe_as_source_is_refused_at_once(self):
        os.mkfifo(self.path("pipe.dbf"))
        run = self.tabrix("pipe.dbf", "out.csv", timeout=20)
        self.assertEqual((run.code, run.err_lines), (1, ["pipe.dbf:not a regular file"]))
        self.assertFalse(os.path.exists(self.path("out.csv")))

    def test_unknown_extension_keeps_the_whole_name(self):
        run = self.tabrix("a.dbf", "o.backup")
        self.assertEqual((run.code, run.err), (0, ""))
        self.assertEqual(rows_of(self.path("o.backup")), PLAIN_A)
        self.assertFalse(os.path.exists(self.path("o.back")))

    def test_folder_form_creates_its_output_folder(self):
        run = self.tabrix("?.dbf", "new/sub", "/TOcsv")
        self.assertEqual((run.code, run.err), (0, ""))
        self.assertEqual(self.csv_rows("new/sub/a.csv"), [["alpha", "1"], ["beta", "2"]])
        self.assertEqual(self.csv_rows("new/sub/m.csv"), [list(row) for row in MEMO_ROWS])

    def test_absolute_output_in_a_missing_folder(self):
        output = self.path("none", "x.csv")
        self.assertRefused([self.path("a.dbf"), output],
                           "%s:the folder %s does not exist" % (output, self.path("none")))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TABRIX = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
