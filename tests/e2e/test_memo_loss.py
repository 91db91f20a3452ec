#!/usr/bin/python3
"""End-to-end tests of tables whose memos cannot all be read, and of headers that
contradict themselves, through the tabrix executable.

Usage: /usr/bin/python3 test_memo_loss.py TABRIX [unittest arguments]

The tables are written by python3-dbf (a DBF writer independent of Tabrix) and
damaged here; outputs are read back with python3-dbfread and Python's csv module.
Both modules load only in /usr/bin/python3.
"""
import csv
import hashlib
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

try:
    import dbf
    import dbfread
except ImportError as exc:
    sys.exit("python3-dbf and python3-dbfread must load in %s (%s)" % (sys.executable, exc))

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import fresh_settings  # noqa: E402

TABRIX = ""

ROWS = [("alpha", "first memo"), ("beta", "second"), ("gamma", "x" * 700)]


def write_table(path, dbf_type):
    table = dbf.Table(path, "TITLE C(12); NOTE M", dbf_type=dbf_type, codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in ROWS:
        table.append(row)
    table.close()


def fingerprints(folder):
    """Every file of the folder with the digest of its bytes."""
    result = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            result[name] = hashlib.sha256(f.read()).hexdigest()
    return result


def memo_pointers(path):
    """The NOTE field of each record as stored (the second field, after TITLE C(12))."""
    with open(path, "rb") as f:
        data = f.read()
    count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
    return [data[header_length + i * record_length + 13:header_length + (i + 1) * record_length]
            for i in range(count)]


def set_memo_pointer(path, record, stored):
    with open(path, "r+b") as f:
        data = f.read()
        header_length, record_length = struct.unpack_from("<HH", data, 8)
        f.seek(header_length + record * record_length + 13)
        f.write(stored)


class MemoLossTest(unittest.TestCase):
    """Each test runs in a fresh folder: src/ holds the source tables, out/ the outputs."""

    def setUp(self):
        root = tempfile.mkdtemp(prefix="tabrix-memo-loss-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        self.src = os.path.join(root, "src")
        self.out = os.path.join(root, "out")
        os.mkdir(self.src)
        os.mkdir(self.out)
        write_table(os.path.join(self.src, "books.dbf"), "vfp")  # memo file books.fpt
        write_table(os.path.join(self.src, "old.dbf"), "db3")  # memo file old.dbt

    def tabrix(self, *args):
        environ = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
        environ.update(LANG="C", LC_ALL="C", HOME=self.out, XDG_CONFIG_HOME=self.out,
                       TABRIX_SETTINGS=fresh_settings())
        done = subprocess.run([TABRIX, *args], cwd=self.out, env=environ, capture_output=True, timeout=60)
        return done.returncode, done.stderr.decode("latin-1")

    def src_path(self, name):
        return os.path.join(self.src, name)

    def convert(self, source, output, *switches):
        """Runs one conversion; the source folder must come out of it unchanged."""
        before = fingerprints(self.src)
        code, err = self.tabrix(self.src_path(source), os.path.join(self.out, output), *switches)
        self.assertEqual(fingerprints(self.src), before, "the source folder changed")
        return code, err

    def csv_notes(self, name):
        with open(os.path.join(self.out, name), newline="", encoding="cp1252") as f:
            return [row[1] for row in csv.reader(io.StringIO(f.read()))]

    def dbfread_notes(self, name):
        return [r["NOTE"] for r in dbfread.DBF(os.path.join(self.out, name), encoding="cp1252")]

    def assertLost(self, code, err, table, count, reason=""):
        self.assertEqual(code, 1, err)
        noun = "memo value" if count == 1 else "memo values"
        self.assertIn("%s:%d %s could not be read%s" % (self.src_path(table), count, noun, reason), err)


class MissingOrDamagedMemoFiles(MemoLossTest):
    def test_a_whole_memo_file_converts_cleanly(self):
        code, err = self.convert("books.dbf", "out.csv")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(self.csv_notes("out.csv"), [note for _, note in ROWS])

    def test_a_missing_memo_file_is_reported_and_not_created(self):
        os.remove(self.src_path("books.fpt"))
        code, err = self.convert("books.dbf", "out.csv")
        self.assertLost(code, err, "books.dbf", 3, ": the memo file %s is missing" % self.src_path("books.fpt"))
        self.assertEqual(self.csv_notes("out.csv"), ["", "", ""])
        self.assertEqual(sorted(os.listdir(self.src)), ["books.dbf", "old.dbf", "old.dbt"])

    def test_an_empty_memo_file_stays_empty(self):
        open(self.src_path("old.dbt"), "wb").close()
        code, err = self.convert("old.dbf", "out.csv")
        self.assertLost(code, err, "old.dbf", 3, ": the memo file %s has no sound header" % self.src_path("old.dbt"))
        self.assertEqual(os.path.getsize(self.src_path("old.dbt")), 0)

    def test_a_truncated_memo_file_gives_the_memos_it_holds(self):
        last = int(memo_pointers(self.src_path("old.dbf"))[2])
        with open(self.src_path("old.dbt"), "r+b") as f:
            f.truncate(last * 512)  # the third memo's blocks are gone
        code, err = self.convert("old.dbf", "out.csv")
        self.assertLost(code, err, "old.dbf", 1)
        self.assertEqual(self.csv_notes("out.csv"), ["first memo", "second", ""])

    def test_rmsrc_keeps_a_source_whose_memos_were_lost(self):
        os.remove(self.src_path("books.fpt"))
        code, err = self.tabrix(self.src_path("books.dbf"), os.path.join(self.out, "out.csv"), "/rmsrc")
        self.assertLost(code, err, "books.dbf", 3)
        self.assertTrue(os.path.exists(self.src_path("books.dbf")))


class DbfOutputs(MemoLossTest):
    def test_a_table_without_its_memo_file_gets_blank_memo_fields(self):
        os.remove(self.src_path("books.fpt"))
        code, err = self.convert("books.dbf", "out.dbf", "/VFP")
        self.assertLost(code, err, "books.dbf", 3)
        # Blank memo fields: no block number points past the new memo file.
        self.assertEqual(self.dbfread_notes("out.dbf"), [None, None, None])
        self.assertEqual(memo_pointers(os.path.join(self.out, "out.dbf")), [b"\0\0\0\0"] * 3)

    def test_a_memo_file_copied_whole_keeps_no_pointer_past_its_end(self):
        # Same level as the source: the memo file is copied whole and block numbers kept,
        # except the damaged one, which would point nowhere.
        set_memo_pointer(self.src_path("old.dbf"), 1, b"      9999")
        code, err = self.convert("old.dbf", "out.dbf", "/DBASE3")
        self.assertLost(code, err, "old.dbf", 1)
        self.assertEqual(self.dbfread_notes("out.dbf"), ["first memo", None, "x" * 700])
        self.assertEqual(memo_pointers(os.path.join(self.out, "out.dbf"))[1], b" " * 10)

    def test_memos_rewritten_at_another_level_keep_every_readable_one(self):
        set_memo_pointer(self.src_path("old.dbf"), 0, b"  12ab?   ")
        code, err = self.convert("old.dbf", "out.dbf", "/VFP")
        self.assertLost(code, err, "old.dbf", 1)
        self.assertEqual(self.dbfread_notes("out.dbf"), [None, "second", "x" * 700])


class SelfContradictingHeaders(MemoLossTest):
    def refused(self, source, *needles):
        code, err = self.convert(source, "out.csv")
        self.assertEqual(code, 1, err)
        for needle in needles:
            self.assertIn(needle, err)
        self.assertFalse(os.path.exists(os.path.join(self.out, "out.csv")))

    def test_a_record_length_shorter_than_the_fields_is_refused(self):
        with open(self.src_path("old.dbf"), "r+b") as f:
            f.seek(10)
            f.write(struct.pack("<H", 1))
        self.refused("old.dbf", "the record length 1 is smaller than the 23 bytes its fields declare")

    def test_a_level_7_header_length_of_0_is_refused(self):
        # One C(5) field in the level 7 layout: header, extension, one descriptor, end mark.
        header = bytearray(32)
        header[0] = 0x04
        struct.pack_into("<IHH", header, 4, 1, 0, 6)
        descriptor = bytearray(48)
        descriptor[:4] = b"NAME"
        descriptor[32:35] = b"C\x05\x00"
        data = bytes(header) + b"DBWINUS0".ljust(36, b"\0") + bytes(descriptor) + b"\r" + b" hello" + b"\x1a"
        with open(self.src_path("seven.dbf"), "wb") as f:
            f.write(data)
        self.refused("seven.dbf", "the header length 0 ends inside the field descriptors, which end at byte 117")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TABRIX = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
