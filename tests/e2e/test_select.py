#!/usr/bin/python3
"""End-to-end tests of record selection: field conditions ("/FILTER2:",
"/FILTER:"), the word filter ("/WFILTER:"), sorting ("/SORTBY:", "/DESC",
"/ignorecase") and column lists ("/COLUMNS:", "/COLUMNSLIST:", "/EXCLUDE").

Usage: /usr/bin/python3 test_select.py TABRIX [unittest arguments]

Every table is written here: with python3-dbf (Debian's package, loaded by
/usr/bin/python3 only), a DBF writer independent of Tabrix, and with struct for
what it cannot write (dBase level 7 tables, blank logical values). Each test
converts a table to CSV with a names line and reads back which records came out,
by their ID column, and in which order.
"""
import csv
import datetime
import decimal
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

try:
    import dbf
except ImportError as exc:
    sys.exit("python3-dbf must load in %s (%s); install the Debian package" % (sys.executable, exc))

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import fresh_settings  # noqa: E402

TABRIX = ""

TODAY = datetime.date.today()
DAY = datetime.timedelta(days=1)


def write_table(path, fields, rows, dbf_type="db3", deleted=(), codepage="cp1252"):
    table = dbf.Table(path, fields, dbf_type=dbf_type, codepage=codepage)
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    for index in deleted:
        dbf.delete(table[index])
    table.close()


class RawTable:
    """A DBF file as stored: field layout from the descriptors, record bytes."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
        level7 = data[0] & 0x07 == 4
        size, at = (48, 68) if level7 else (32, 32)
        self.fields, offset = {}, 1
        while data[at] != 0x0D:
            d = data[at:at + size]
            name = d[:32 if level7 else 11].split(b"\0")[0].decode("ascii")
            kind, length = (chr(d[32]), d[33]) if level7 else (chr(d[11]), d[16])
            self.fields[name] = (kind, offset, length)
            offset += length
            at += size
        self.records = [data[header_length + i * record_length:header_length + (i + 1) * record_length]
                        for i in range(count)]

    def value(self, record, name):
        _, offset, length = self.fields[name]
        return record[offset:offset + length]

    def ids(self, name="ID"):
        return [int(self.value(r, name)) for r in self.records]

    def deleted(self):
        return [r[:1] == b"*" for r in self.records]


def patch_field(path, index, name, raw):
    """Overwrites the stored bytes of one field of record index."""
    table = RawTable(path)
    _, offset, length = table.fields[name]
    assert len(raw) == length
    with open(path, "rb") as f:
        data = bytearray(f.read())
    header_length, record_length = struct.unpack_from("<HH", data, 8)
    at = header_length + index * record_length + offset
    data[at:at + length] = raw
    with open(path, "wb") as f:
        f.write(data)


def level7_integer(value):
    """A dBase level 7 integer: big-endian with the sign bit inverted."""
    return struct.pack(">I", (value & 0xFFFFFFFF) ^ 0x80000000)


def level7_timestamp(moment):
    """A dBase level 7 timestamp: big-endian double of milliseconds, day 1 being 1 January of year 1."""
    if moment is None:
        return bytes(8)
    ms = ((moment.hour * 60 + moment.minute) * 60 + moment.second) * 1000
    return struct.pack(">d", float(moment.toordinal() * 86400000 + ms))


def write_level7_table(path, fields, rows):
    """fields: (name, type, length); rows: tuples of raw field bytes."""
    header_length = 32 + 36 + 48 * len(fields) + 1
    record_length = 1 + sum(length for _, _, length in fields)
    out = bytearray(struct.pack("<B3BIHH", 0x04, 124, 6, 7, len(rows), header_length, record_length))
    out += bytes(32 - len(out)) + bytes(36)
    for name, kind, length in fields:
        out += name.encode("ascii").ljust(32, b"\0") + struct.pack("<cBB", kind.encode("ascii"), length, 0)
        out += bytes(13)
    out += b"\r"
    for row in rows:
        record = b" " + b"".join(row)
        assert len(record) == record_length
        out += record
    out += b"\x1a"
    with open(path, "wb") as f:
        f.write(out)


# The sort steps as written for the product: an iterative quicksort whose
# handling of equal keys fixes the order in which they come out.
def model_quicksort(entries, compare):
    entries = list(entries)
    if len(entries) < 2:
        return entries
    stack = [(0, len(entries) - 1)]
    while stack:
        low, high = stack.pop()
        while low < high:
            mid = low + (high - low) // 2
            entries[low], entries[mid] = entries[mid], entries[low]
            i, j = low + 1, high
            while True:
                while i < j and compare(entries[low], entries[i]) > 0:
                    i += 1
                while i <= j and compare(entries[j], entries[low]) > 0:
                    j -= 1
                if j <= i:
                    break
                entries[i], entries[j] = entries[j], entries[i]
                i += 1
                j -= 1
            entries[low], entries[j] = entries[j], entries[low]
            if j - low <= high - j:
                if j + 1 < high:
                    stack.append((j + 1, high))
                high = j - 1
            else:
                if low < j - 1:
                    stack.append((low, j - 1))
                low = j + 1
    return entries


def compare_bytes(a, b):
    return (a > b) - (a < b)


def compare_folding_case(a, b):
    for x, y in zip(a, b):
        x = x - 32 if 0x61 <= x <= 0x7A else x
        y = y - 32 if 0x61 <= y <= 0x7A else y
        if x != y:
            return x - y
        if x == 0:
            return 0
    return 0


def compare_numeric_text(left, right):
    """Right-aligned numeric texts of one width, compared as stored."""
    n, i, minus = len(left), 0, False
    while i < n - 1 and left[i] == right[i]:
        minus = minus or left[i] == ord("-")
        i += 1
    if minus:
        return right[i] - left[i]
    if left[i] == ord(" ") and right[i] == ord("-"):
        return 1
    if left[i] == ord("-") and right[i] == ord(" "):
        return -1
    return left[i] - right[i]


def folding_case_in(page):
    """Compares texts of the page by their letters' capitals there (Python's
    rule): a double-byte character is no letter of its own bytes."""
    def fold(raw):
        text = raw.decode(page)
        return "".join(c.upper() if len(c.upper()) == 1 and c.upper().encode(page, "ignore") else c
                       for c in text).encode(page)

    def compare(a, b):
        x, y = fold(a), fold(b)
        return (x > y) - (x < y)
    return compare


def compare_integers(a, b):
    return 1 if a > b else 0


def model_order(path, field, compare, ascending=True, decode=lambda raw: raw):
    """The IDs of the live records in the order the sort steps give."""
    table = RawTable(path)
    keys = [decode(table.value(r, field)) for r in table.records]
    if ascending:
        order = model_quicksort(range(len(keys)), lambda p, q: compare(keys[p], keys[q]))
    else:
        order = model_quicksort(range(len(keys)), lambda p, q: -compare(keys[p], keys[q]))
    ids, deleted = table.ids(), table.deleted()
    return [ids[p] for p in order if not deleted[p]]


class Run:
    def __init__(self, completed):
        self.code = completed.returncode
        self.out = completed.stdout.decode("latin-1")
        self.err = completed.stderr.decode("latin-1")


_locales = {}


def locale_env(name):
    """Environment for a locale built with localedef; skips the test when it cannot be built."""
    if name not in _locales:
        folder = tempfile.mkdtemp(prefix="tabrix-select-locale-")
        result = subprocess.run(["localedef", "-i", name, "-f", "UTF-8", os.path.join(folder, name + ".UTF-8")],
                                capture_output=True, text=True)
        error = None if result.returncode == 0 else (result.stderr.strip() or "localedef failed")
        _locales[name] = (folder, error)
    folder, error = _locales[name]
    if error:
        raise unittest.SkipTest("cannot build the %s locale: %s" % (name, error))
    return {"LOCPATH": folder, "LANG": name + ".UTF-8", "LC_ALL": name + ".UTF-8"}


def tearDownModule():
    for folder, _ in _locales.values():
        shutil.rmtree(folder, ignore_errors=True)


class SelectTest(unittest.TestCase):
    """Tables are written once per class into a folder that every test of the class reads."""

    tables = None

    @classmethod
    def setUpClass(cls):
        cls.tables = tempfile.mkdtemp(prefix="tabrix-select-")
        cls.make_tables()

    @classmethod
    def make_tables(cls):
        pass

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tables, ignore_errors=True)

    @classmethod
    def table(cls, name):
        return os.path.join(cls.tables, name)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tabrix-select-run-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def tabrix(self, *args, env=None):
        environ = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TABRIX_"))}
        environ.update(LANG="C", LC_ALL="C", HOME=self.dir, XDG_CONFIG_HOME=self.dir,
                       TABRIX_SETTINGS=fresh_settings())
        environ.update(env or {})
        completed = subprocess.run([TABRIX, *args], cwd=self.dir, env=environ, capture_output=True, timeout=120)
        return Run(completed)

    def csv_rows(self, name="out.csv"):
        with open(self.path(name), "rb") as f:
            # Text of other pages (the ignorecase tables) only needs to reach the csv module intact.
            text = f.read().decode("cp1252", errors="surrogateescape")
        return list(csv.reader(io.StringIO(text, newline="")))

    def convert(self, table, *switches, env=None, stderr=""):
        """Converts table to out.csv with a names line; the names and the value rows."""
        run = self.tabrix(table, "out.csv", "/HDR", *switches, env=env)
        self.assertEqual((run.code, run.err), (0, stderr), run.out)
        rows = self.csv_rows()
        return rows[0], rows[1:]

    def ids(self, table, *switches, env=None, stderr=""):
        """The IDs (first column) of the records written, in their order."""
        names, rows = self.convert(table, *switches, env=env, stderr=stderr)
        self.assertEqual(names[0], "ID")
        return [int(row[0]) for row in rows]

    def assertKeeps(self, table, condition, expected, env=None):
        """An inline condition keeps exactly the records expected, in file order."""
        self.assertEqual(self.ids(table, "/FILTER2:" + condition, env=env), expected, condition)

    def assertFileKeeps(self, table, lines, expected, env=None):
        """Conditions read from a "/FILTER:" file keep exactly the records expected."""
        path = self.write("filter.txt", lines.encode("cp1252"))
        self.assertEqual(self.ids(table, "/FILTER:" + path, env=env), expected, lines)


class CharacterConditions(SelectTest):
    @classmethod
    def make_tables(cls):
        write_table(cls.table("people.dbf"), "ID N(3,0); NAME C(12); CITY C(10)", [
            (1, "JOHN", "Paris"), (2, "JOANNA", "London"), (3, "Joseph", "Madrid"), (4, "JAHNKE", "Berlin"),
            (5, "MARY", "Amsterdam"), (6, "ANNA", "Rome"), (7, "HANNAH", "paris"), (8, "BOB", "Oslo"),
            (9, "Smith, John", "Oslo"), (10, "NOCITY", None)])

    def test_equality_is_a_prefix_match_in_any_case(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "NAME:Jo", [1, 2, 3])
        self.assertKeeps(people, "NAME:jo", [1, 2, 3])
        self.assertKeeps(people, "NAME:JOHN", [1])
        self.assertKeeps(people, "NAME:!Jo", [4, 5, 6, 7, 8, 9, 10])

    def test_wildcards(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "NAME:*ANN", [2, 6, 7])
        self.assertKeeps(people, "NAME:*ann*", [2, 6, 7])
        self.assertKeeps(people, "NAME:J?HN", [1, 4])
        self.assertKeeps(people, "NAME:!*ANN", [1, 3, 4, 5, 8, 9, 10])
        # Whatever follows a star that is not the first character is ignored.
        self.assertKeeps(people, "NAME:J*Z", [1, 2, 3, 4])

    def test_alternatives_keep_records_passing_any_of_them(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "CITY:Paris or London", [1, 2, 7])
        self.assertKeeps(people, "CITY:paris OR london Or Rome", [1, 2, 6, 7])
        self.assertKeeps(people, "CITY:<B or >=R", [5, 6, 10])

    def test_comparisons_run_over_the_upper_cased_text_byte_by_byte(self):
        people = self.table("people.dbf")
        # MADRID begins with M but is longer, so it is not below M; an empty text is.
        self.assertKeeps(people, "CITY:<M", [2, 4, 5, 10])
        self.assertKeeps(people, "CITY:>=PARIS", [1, 6, 7])
        # Trailing spaces stay: LONDON padded to the field's width is above LONDON.
        self.assertKeeps(people, "CITY:<=london", [4, 5, 10])
        self.assertKeeps(people, "CITY:>Oslo", [1, 6, 7, 8, 9])

    def test_empty_function(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "CITY:empty()", [10])
        self.assertKeeps(people, "CITY:!EMPTY()", list(range(1, 10)))

    def test_conditions_on_several_fields_must_all_pass(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "NAME:Jo,CITY:London or Madrid", [2, 3])
        self.assertFileKeeps(people, "NAME:!Jo\nCITY:Oslo\n", [8, 9])

    def test_a_character_condition_keeps_its_commas(self):
        self.assertFileKeeps(self.table("people.dbf"), "NAME:Smith, J\n", [9])


class ConditionPairs(SelectTest):
    """How the pairs are read, and the ones that are ignored."""

    @classmethod
    def make_tables(cls):
        write_table(cls.table("people.dbf"), "ID N(3,0); NAME C(12); CITY C(10)", [
            (1, "JOHN", "Paris"), (2, "JOANNA", "London"), (3, "MARY", "Rome"), (4, "BOB", "paris")])

    def test_field_names_in_any_case(self):
        self.assertKeeps(self.table("people.dbf"), "name:Jo", [1, 2])

    def test_a_condition_on_a_missing_field_stops_the_table(self):
        people = self.table("people.dbf")
        for switch in ("/FILTER2:NOSUCH:x,NAME:Jo", "/FILTER:" + self.write("filter.txt", b"NAME:Jo\nNOSUCH:x\n")):
            with self.subTest(switch):
                run = self.tabrix(people, "out.csv", switch)
                self.assertEqual((run.code, run.out), (1, ""))
                self.assertEqual(run.err, "%s:%s names no field NOSUCH; the table is not converted\n"
                                 % (people, switch[:switch.index(":") + 1]))
                self.assertFalse(os.path.exists(self.path("out.csv")))

    def test_malformed_pairs_are_ignored(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "NAME,:Jo,CITY:", [1, 2, 3, 4])
        self.assertKeeps(people, "NAME,:Mary,CITY:,NAME:Jo", [1, 2])
        self.assertFileKeeps(people, "NAME\n:Mary\nCITY:\n\nNAME:Jo\n", [1, 2])

    def test_the_first_pair_for_a_field_counts_and_inline_pairs_come_first(self):
        people = self.table("people.dbf")
        self.assertKeeps(people, "NAME:Jo,NAME:Mary", [1, 2])
        path = self.write("filter.txt", b"NAME:Mary\r\nCITY:Paris\r\n")
        self.assertEqual(self.ids(people, "/FILTER2:NAME:Jo", "/FILTER:" + path), [1])

    def test_filter_file_lines_lose_the_carriage_return_and_leading_spaces(self):
        self.assertFileKeeps(self.table("people.dbf"), "CITY:   Paris or London\r\n", [1, 2, 4])

    def test_missing_filter_file_is_reported_and_the_run_goes_on(self):
        people = self.table("people.dbf")
        missing = self.path("missing.txt")
        self.assertEqual(self.ids(people, "/FILTER:" + missing, stderr=missing + ":No such file or directory\n"),
                         [1, 2, 3, 4])
        # Inline conditions still apply.
        self.assertEqual(self.ids(people, "/FILTER2:NAME:Jo", "/FILTER:" + missing,
                                  stderr=missing + ":No such file or directory\n"), [1, 2])

    def test_a_folder_given_as_filter_file_is_reported_and_the_run_goes_on(self):
        self.assertEqual(self.ids(self.table("people.dbf"), "/FILTER:" + self.dir,
                                  stderr=self.dir + ":Is a directory\n"), [1, 2, 3, 4])


class NumericConditions(SelectTest):
    @classmethod
    def make_tables(cls):
        prices = [10, 100, 10.5, 9.5, 20, 20.01, 5, None, 1000]
        quantities = [-5, 12, None, 3, 0, 7, -10, 100, 1]
        write_table(cls.table("prices.dbf"), "ID N(3,0); PRICE N(8,2); QTY N(5,0)",
                    [(i + 1, p, q) for i, (p, q) in enumerate(zip(prices, quantities))])

    def test_equality_is_a_prefix_match_on_the_stored_text(self):
        prices = self.table("prices.dbf")
        self.assertKeeps(prices, "PRICE:10", [1, 2, 3, 9])
        self.assertKeeps(prices, "QTY:1", [2, 8, 9])

    def test_operators_compare_numbers(self):
        prices = self.table("prices.dbf")
        self.assertKeeps(prices, "PRICE:>=10", [1, 2, 3, 5, 6, 9])
        self.assertKeeps(prices, "PRICE:>10", [2, 3, 5, 6, 9])
        self.assertKeeps(prices, "PRICE:<=20", [1, 3, 4, 5, 7, 8])
        # "!" is an operator, so it compares numbers rather than text.
        self.assertKeeps(prices, "PRICE:!10", [2, 3, 4, 5, 6, 7, 8, 9])
        self.assertKeeps(prices, "QTY:<0", [1, 7])
        self.assertKeeps(prices, "QTY:>-6", [1, 2, 3, 4, 5, 6, 8, 9])
        self.assertKeeps(prices, "QTY:>=12", [2, 8])

    def test_a_blank_value_reads_as_zero(self):
        prices = self.table("prices.dbf")
        self.assertKeeps(prices, "PRICE:<9.6", [4, 7, 8])
        self.assertKeeps(prices, "QTY:>=0", [2, 3, 4, 5, 6, 8, 9])

    def test_empty_function(self):
        prices = self.table("prices.dbf")
        self.assertKeeps(prices, "PRICE:empty()", [8])
        self.assertKeeps(prices, "PRICE:!empty()", [1, 2, 3, 4, 5, 6, 7, 9])

    def test_range_from_a_filter_file_is_inclusive(self):
        prices = self.table("prices.dbf")
        self.assertFileKeeps(prices, "PRICE:10,20\n", [1, 3, 5])
        self.assertFileKeeps(prices, "QTY:-5,7\n", [1, 3, 4, 5, 6, 9])


class DateConditions(SelectTest):
    @classmethod
    def make_tables(cls):
        born = [datetime.date(1999, 12, 31), datetime.date(1999, 12, 30), datetime.date(2000, 5, 6),
                datetime.date(2000, 6, 5), None, TODAY + 30 * DAY, TODAY - 30 * DAY, TODAY, None]
        write_table(cls.table("born.dbf"), "ID N(3,0); BORN D", [(i + 1, d) for i, d in enumerate(born)])

    def test_emptiness(self):
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:Empty", [5, 9])
        self.assertKeeps(born, "BORN:!=Empty", [1, 2, 3, 4, 6, 7, 8])

    def test_today(self):
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:>today()", [6])
        self.assertKeeps(born, "BORN:>=TODAY()", [6, 8])
        self.assertKeeps(born, "BORN:today()", [8])
        # A blank date is below every date.
        self.assertKeeps(born, "BORN:<today()", [1, 2, 3, 4, 5, 7, 9])

    def test_month_first_user_writes_month_day_year(self):
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:12/31/1999", [1])
        self.assertKeeps(born, "BORN:05/06/2000", [3])
        self.assertKeeps(born, "BORN:>=01/01/2000", [3, 4, 6, 7, 8])
        self.assertKeeps(born, "BORN:!05/06/2000", [1, 2, 4, 5, 6, 7, 8, 9])
        self.assertFileKeeps(born, "BORN:12/31/1999,05/06/2000\n", [1, 3])

    def test_alternatives_are_in_the_users_order_too(self):
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:12/31/1999 or 06/05/2000", [1, 4])
        self.assertKeeps(born, "BORN:today() or 12/31/1999", [1, 8])
        self.assertKeeps(born, "BORN:>today() or Empty", [5, 6, 9])

    def test_day_first_user_writes_day_month_year(self):
        env = locale_env("de_DE")
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:31.12.1999", [1], env=env)
        self.assertKeeps(born, "BORN:05.06.2000", [4], env=env)
        self.assertKeeps(born, "BORN:31.12.1999 or 06.05.2000", [1, 3], env=env)
        self.assertFileKeeps(born, "BORN:31.12.1999,05.06.2000\n", [1, 3, 4], env=env)

    def test_year_first_user_writes_year_month_day(self):
        env = locale_env("sv_SE")
        born = self.table("born.dbf")
        self.assertKeeps(born, "BORN:2000-05-06", [3], env=env)
        self.assertKeeps(born, "BORN:<2000-01-01", [1, 2, 5, 9], env=env)
        self.assertFileKeeps(born, "BORN:1999-12-31,2000-05-06\n", [1, 3], env=env)


class DateTimeConditions(SelectTest):
    """Date-times compare by day: the operator applies, the time of day does not."""

    @classmethod
    def make_tables(cls):
        at = datetime.datetime
        stamps = [at(2020, 5, 11, 23, 59, 59), at(2020, 5, 12, 0, 0, 0), at(2020, 5, 12, 23, 59, 59),
                  at(2020, 7, 1, 12, 0, 0), at(2020, 12, 31, 23, 59, 59), at(2021, 1, 1, 0, 0, 0), None,
                  at.combine(TODAY, datetime.time(12, 0)), at.combine(TODAY + DAY, datetime.time(0, 0, 1)),
                  at.combine(TODAY - DAY, datetime.time(23, 59, 59))]
        write_table(cls.table("stamps.dbf"), "ID N(3,0); STAMP T", [(i + 1, s) for i, s in enumerate(stamps)],
                    dbf_type="vfp")

    def test_operators_on_days(self):
        stamps = self.table("stamps.dbf")
        self.assertKeeps(stamps, "STAMP:05/12/2020", [2, 3])
        self.assertKeeps(stamps, "STAMP:>05/12/2020", [4, 5, 6, 8, 9, 10])
        self.assertKeeps(stamps, "STAMP:>=05/12/2020", [2, 3, 4, 5, 6, 8, 9, 10])
        # An empty value has day number 0.
        self.assertKeeps(stamps, "STAMP:<05/12/2020", [1, 7])
        self.assertKeeps(stamps, "STAMP:<=05/12/2020", [1, 2, 3, 7])
        self.assertKeeps(stamps, "STAMP:!05/12/2020", [1, 4, 5, 6, 7, 8, 9, 10])

    def test_emptiness_and_today(self):
        stamps = self.table("stamps.dbf")
        self.assertKeeps(stamps, "STAMP:Empty", [7])
        self.assertKeeps(stamps, "STAMP:!=Empty", [1, 2, 3, 4, 5, 6, 8, 9, 10])
        self.assertKeeps(stamps, "STAMP:today()", [8])
        self.assertKeeps(stamps, "STAMP:>today()", [9])
        self.assertKeeps(stamps, "STAMP:<=today()", [1, 2, 3, 4, 5, 6, 7, 8, 10])

    def test_range_and_alternatives_in_the_month_first_order(self):
        stamps = self.table("stamps.dbf")
        self.assertFileKeeps(stamps, "STAMP:05/12/2020,12/31/2020\n", [2, 3, 4, 5])
        self.assertKeeps(stamps, "STAMP:05/11/2020 or 12/31/2020", [1, 5])
        self.assertKeeps(stamps, "STAMP:today() or 05/12/2020", [2, 3, 8])
        self.assertKeeps(stamps, "STAMP:<05/12/2020 or >today()", [1, 7, 9])

    def test_day_first_range_keeps_the_span_of_days_whatever_the_times(self):
        env = locale_env("de_DE")
        stamps = self.table("stamps.dbf")
        self.assertFileKeeps(stamps, "STAMP:12.05.2020,31.12.2020\n", [2, 3, 4, 5], env=env)
        self.assertKeeps(stamps, "STAMP:12.05.2020", [2, 3], env=env)
        self.assertKeeps(stamps, "STAMP:>31.12.2020", [6, 8, 9, 10], env=env)
        self.assertKeeps(stamps, "STAMP:12.05.2020 or 01.07.2020", [2, 3, 4], env=env)


class CurrencyDoubleIntegerConditions(SelectTest):
    AMOUNTS = ["214748.3647", "214748.3648", "300000", "-300000", "5", "1000000", "0", "214748.37"]
    PRICES = [9.5, 9.99, 10.0, 10.2, 11.0, -1e10, 1e10, 10.0000001]
    QUANTITIES = [-5, 0, 2147483000, -2147483000, 12, 120, 12, -5]

    @classmethod
    def make_tables(cls):
        write_table(cls.table("money.dbf"), "ID N(3,0); AMT Y; PRICE B; QTY I",
                    [(i + 1, decimal.Decimal(a), p, q)
                     for i, (a, p, q) in enumerate(zip(cls.AMOUNTS, cls.PRICES, cls.QUANTITIES))],
                    dbf_type="vfp")

    def test_currency_uses_the_whole_amount_and_a_cent_of_tolerance(self):
        money = self.table("money.dbf")
        self.assertKeeps(money, "AMT:>=300000", [3, 6])
        self.assertKeeps(money, "AMT:>214748.3648", [3, 6])
        self.assertKeeps(money, "AMT:214748.3648", [1, 2, 8])
        self.assertKeeps(money, "AMT:<0", [4])
        self.assertKeeps(money, "AMT:<=-300000", [4])
        self.assertKeeps(money, "AMT:!5", [1, 2, 3, 4, 6, 7, 8])

    def test_doubles_compare_exactly(self):
        money = self.table("money.dbf")
        self.assertKeeps(money, "PRICE:>=10", [3, 4, 5, 7, 8])
        self.assertKeeps(money, "PRICE:10", [3])
        self.assertKeeps(money, "PRICE:>10", [4, 5, 7, 8])
        self.assertKeeps(money, "PRICE:<10", [1, 2, 6])
        self.assertKeeps(money, "PRICE:!10", [1, 2, 4, 5, 6, 7, 8])
        self.assertFileKeeps(money, "PRICE:9.99,10.2\n", [2, 3, 4, 8])

    def test_integers_compare_as_numbers(self):
        money = self.table("money.dbf")
        self.assertKeeps(money, "QTY:12", [5, 7])
        self.assertKeeps(money, "QTY:>=12", [3, 5, 6, 7])
        self.assertKeeps(money, "QTY:<0", [1, 4, 8])
        self.assertFileKeeps(money, "QTY:-5,12\n", [1, 2, 5, 7, 8])


class MemoAndWordFilter(SelectTest):
    @classmethod
    def make_tables(cls):
        write_table(cls.table("notes.dbf"), "ID N(3,0); NAME C(12); CITY C(10); QTY N(5,0); BORN D; NOTE M", [
            (1, "Smithers", "Leeds", 12, datetime.date(1999, 12, 31), ""),
            (2, "John Smith", "York", 5, None, "no match here"),
            (3, "BOB", "Hull", 1, None, "Met Mr. sMiTh today"),
            (4, "ann", "smithton", 7, None, ""),
            (5, "Zed", "Bath", 120, datetime.date(2001, 1, 1), "SMITH"),
            (6, "smith", "Ely", 3, None, "")])

    def test_word_filter_on_character_fields_and_memos_in_any_case(self):
        notes = self.table("notes.dbf")
        # A character field must begin with the word; a memo may hold it anywhere.
        self.assertEqual(self.ids(notes, "/WFILTER:SMITH"), [1, 3, 4, 5, 6])
        self.assertEqual(self.ids(notes, "/WFILTER:smith"), [1, 3, 4, 5, 6])
        self.assertEqual(self.ids(notes, "/WFILTER:*MITH"), [1, 2, 3, 4, 5, 6])
        self.assertEqual(self.ids(notes, "/WFILTER:S?ITH"), [1, 4, 6])

    def test_word_filter_on_numbers_and_dates_uses_their_text(self):
        notes = self.table("notes.dbf")
        self.assertEqual(self.ids(notes, "/WFILTER:12"), [1, 5])
        self.assertEqual(self.ids(notes, "/WFILTER:12/31"), [1])
        self.assertEqual(self.ids(notes, "/WFILTER:31.12", env=locale_env("de_DE")), [1])

    def test_empty_word_filter_keeps_everything(self):
        self.assertEqual(self.ids(self.table("notes.dbf"), "/WFILTER:"), [1, 2, 3, 4, 5, 6])

    def test_memo_condition_is_a_containment_in_any_case(self):
        notes = self.table("notes.dbf")
        self.assertKeeps(notes, "NOTE:smith", [3, 5])
        self.assertKeeps(notes, "NOTE:MR. S", [3])

    def test_word_filter_and_field_conditions_must_both_pass(self):
        notes = self.table("notes.dbf")
        self.assertEqual(self.ids(notes, "/WFILTER:SMITH", "/FILTER2:QTY:>=5"), [1, 4, 5])


class Sorting(SelectTest):
    @classmethod
    def make_tables(cls):
        write_table(cls.table("numbers.dbf"), "ID N(3,0); QTY N(5,0); PRICE N(8,2)", [
            (1, -5, 10), (2, 12, 100), (3, None, 10.5), (4, 3, 9.5), (5, 0, 20), (6, 7, 20.01), (7, -10, 5),
            (8, 100, None), (9, 1, 1000)])
        write_table(cls.table("minus.dbf"), "ID N(3,0); QTY N(5,0)", [(1, 3), (2, None), (3, -5)])
        write_table(cls.table("fruit.dbf"), "ID N(3,0); NAME C(8); OK L", [
            (1, "apple", True), (2, "Cherry", False), (3, "banana", None), (4, "Apple", True), (5, "BANANA", False),
            (6, "cherry", True), (7, "apple", None), (8, "Banana", False)])
        write_table(cls.table("cyrillic.dbf"), "ID N(3,0); NAME C(8)", [
            (1, "яблоко"), (2, "Ягода"), (3, "абрикос"), (4, "Банан"), (5, "ёлка"), (6, "Ель"), (7, "apple"),
            (8, "Berry"), (9, "ЯБЛОКО")], codepage="cp1251")
        # Second bytes 0x61 and 0x41, an ASCII letter's values, make two characters.
        write_table(cls.table("chinese.dbf"), "ID N(3,0); NAME C(8)", [
            (1, b"\x81\x41".decode("gbk")), (2, b"\x81\x61".decode("gbk")), (3, "b"), (4, "A"), (5, "a")],
            codepage="cp936")
        # A blank logical value is a space, which python3-dbf does not write.
        patch_field(cls.table("fruit.dbf"), 6, "OK", b" ")
        write_table(cls.table("born.dbf"), "ID N(3,0); BORN D", [
            (1, datetime.date(2001, 1, 1)), (2, None), (3, datetime.date(1999, 12, 31)), (4, None),
            (5, datetime.date(2000, 2, 29)), (6, None)])
        at = datetime.datetime
        cls.stamps = [at(2020, 7, 1, 12, 0), at(2020, 7, 1, 8, 0), None, at(2020, 7, 1, 18, 0),
                      at(2020, 6, 30, 23, 59, 59), at(2020, 7, 1, 0, 0, 1), at(2020, 7, 2, 0, 0, 0),
                      at(2020, 7, 1, 23, 0), at(1999, 1, 1, 9, 30)]
        write_table(cls.table("stamps.dbf"), "ID N(3,0); STAMP T",
                    [(i + 1, s) for i, s in enumerate(cls.stamps)], dbf_type="vfp")
        write_table(cls.table("money.dbf"), "ID N(3,0); AMT Y; PRICE B; QTY I",
                    [(i + 1, decimal.Decimal(a), p, q) for i, (a, p, q) in enumerate(zip(
                        CurrencyDoubleIntegerConditions.AMOUNTS, CurrencyDoubleIntegerConditions.PRICES,
                        CurrencyDoubleIntegerConditions.QUANTITIES))], dbf_type="vfp")
        cls.level7_stamps = [at(2020, 7, 1, 12, 0), None, at(2020, 7, 1, 8, 0), at(2019, 12, 31, 23, 0),
                             at(2020, 7, 2, 0, 0, 1), at(2020, 7, 1, 8, 0, 30)]
        counters = [5, -3, 1000, 0, 70000, -70000]
        write_level7_table(cls.table("level7.dbf"), [("ID", "N", 3), ("COUNTER", "+", 4), ("STAMP", "@", 8)],
                           [(b"%3d" % (i + 1), level7_integer(c), level7_timestamp(s))
                            for i, (c, s) in enumerate(zip(counters, cls.level7_stamps))])

    def sorted_ids(self, table, *switches):
        return self.ids(self.table(table), *switches)

    def test_numeric_field_puts_blank_between_negatives_and_the_rest(self):
        self.assertEqual(self.sorted_ids("minus.dbf", "/SORTBY:QTY"), [3, 2, 1])
        self.assertEqual(self.sorted_ids("numbers.dbf", "/SORTBY:QTY"), [7, 1, 3, 5, 9, 4, 6, 2, 8])
        self.assertEqual(self.sorted_ids("numbers.dbf", "/SORTBY:QTY", "/DESC"), [8, 2, 6, 4, 9, 5, 3, 1, 7])
        self.assertEqual(self.sorted_ids("numbers.dbf", "/SORTBY:PRICE"), [8, 7, 4, 1, 3, 5, 6, 2, 9])

    def test_character_field_by_bytes_or_ignoring_case(self):
        fruit = self.table("fruit.dbf")
        ascending = self.sorted_ids("fruit.dbf", "/SORTBY:NAME")
        self.assertEqual(ascending, model_order(fruit, "NAME", compare_bytes))
        # Capitals come before small letters.
        self.assertEqual(ascending[:3], [4, 5, 8])
        self.assertEqual(self.sorted_ids("fruit.dbf", "/SORTBY:NAME", "/DESC"),
                         model_order(fruit, "NAME", compare_bytes, ascending=False))
        folded = self.sorted_ids("fruit.dbf", "/SORTBY:NAME", "/ignorecase")
        self.assertEqual(folded, model_order(fruit, "NAME", compare_folding_case))
        self.assertEqual(sorted(folded[:3]), [1, 4, 7])
        self.assertEqual(self.sorted_ids("fruit.dbf", "/SORTBY:NAME", "/ignorecase", "/DESC"),
                         model_order(fruit, "NAME", compare_folding_case, ascending=False))

    def test_ignoring_case_folds_the_letters_of_the_tables_page(self):
        # Cyrillic capitals (0xC0-0xDF) and Ё (0xA8) stand for their small letters.
        for name, page, part, ids in (("cyrillic.dbf", "cp1251", slice(0, 6), [7, 8, 5, 3, 4, 6]),
                                      ("chinese.dbf", "cp936", slice(2, None), [3, 1, 2])):
            with self.subTest(name):
                folded = self.sorted_ids(name, "/SORTBY:NAME", "/ignorecase")
                self.assertEqual(folded, model_order(self.table(name), "NAME", folding_case_in(page)))
                self.assertEqual(folded[part], ids)

    def test_sort_field_name_in_any_case_with_surrounding_spaces(self):
        expected = self.sorted_ids("fruit.dbf", "/SORTBY:NAME")
        self.assertEqual(self.sorted_ids("fruit.dbf", "/SORTBY:name"), expected)
        self.assertEqual(self.sorted_ids("fruit.dbf", "/SORTBY: Name "), expected)

    def test_logical_field_by_its_stored_byte(self):
        fruit = self.table("fruit.dbf")
        ascending = self.sorted_ids("fruit.dbf", "/SORTBY:OK")
        self.assertEqual(ascending, model_order(fruit, "OK", compare_bytes))
        self.assertEqual(ascending[0], 7)
        self.assertEqual(self.sorted_ids("fruit.dbf", "/SORTBY:OK", "/DESC"),
                         model_order(fruit, "OK", compare_bytes, ascending=False))

    def test_blank_dates_first(self):
        born = self.table("born.dbf")
        ascending = self.sorted_ids("born.dbf", "/SORTBY:BORN")
        self.assertEqual(ascending, model_order(born, "BORN", compare_bytes))
        self.assertEqual((sorted(ascending[:3]), ascending[3:]), ([2, 4, 6], [3, 5, 1]))
        descending = self.sorted_ids("born.dbf", "/SORTBY:BORN", "/DESC")
        self.assertEqual(descending, model_order(born, "BORN", compare_bytes, ascending=False))
        self.assertEqual(descending[:3], [1, 5, 3])

    def test_date_times_by_day_then_time(self):
        key = [s or datetime.datetime.min for s in self.stamps]
        expected = sorted(range(1, len(self.stamps) + 1), key=lambda i: key[i - 1])
        self.assertEqual(self.sorted_ids("stamps.dbf", "/SORTBY:STAMP"), expected)
        self.assertEqual(self.sorted_ids("stamps.dbf", "/SORTBY:STAMP", "/DESC"), expected[::-1])

    def test_level7_timestamps_and_autoincrement(self):
        key = [s or datetime.datetime.min for s in self.level7_stamps]
        expected = sorted(range(1, len(key) + 1), key=lambda i: key[i - 1])
        self.assertEqual(self.sorted_ids("level7.dbf", "/SORTBY:STAMP"), expected)
        self.assertEqual(self.sorted_ids("level7.dbf", "/SORTBY:STAMP", "/DESC"), expected[::-1])
        self.assertEqual(self.sorted_ids("level7.dbf", "/SORTBY:COUNTER"), [6, 2, 4, 1, 3, 5])
        self.assertEqual(self.sorted_ids("level7.dbf", "/SORTBY:COUNTER", "/DESC"), [5, 3, 1, 4, 2, 6])

    def test_level7_conditions(self):
        level7 = self.table("level7.dbf")
        self.assertKeeps(level7, "STAMP:07/01/2020", [1, 3, 6])
        self.assertKeeps(level7, "STAMP:>07/01/2020", [5])
        self.assertKeeps(level7, "STAMP:Empty", [2])
        self.assertKeeps(level7, "COUNTER:>=5", [1, 3, 5])
        self.assertFileKeeps(level7, "COUNTER:-3,1000\n", [1, 2, 3, 4])

    def test_currency_by_the_whole_amount(self):
        amounts = [decimal.Decimal(a) for a in CurrencyDoubleIntegerConditions.AMOUNTS]
        expected = sorted(range(1, len(amounts) + 1), key=lambda i: amounts[i - 1])
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:AMT"), expected)
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:AMT", "/DESC"), expected[::-1])

    def test_doubles_and_integers(self):
        prices = CurrencyDoubleIntegerConditions.PRICES
        expected = sorted(range(1, len(prices) + 1), key=lambda i: prices[i - 1])
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:PRICE"), expected)
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:PRICE", "/DESC"), expected[::-1])
        money = self.table("money.dbf")
        decode = lambda raw: struct.unpack("<i", raw)[0]
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:QTY"),
                         model_order(money, "QTY", compare_integers, decode=decode))
        self.assertEqual(self.sorted_ids("money.dbf", "/SORTBY:QTY", "/DESC"),
                         model_order(money, "QTY", lambda a, b: compare_integers(b, a), decode=decode))

    def test_filters_apply_to_the_sorted_records(self):
        self.assertEqual(self.sorted_ids("numbers.dbf", "/SORTBY:QTY", "/FILTER2:PRICE:>=10"), [1, 3, 5, 9, 6, 2])
        self.assertEqual(self.sorted_ids("numbers.dbf", "/SORTBY:PRICE", "/DESC", "/WFILTER:1"), [9, 2, 3, 1, 8])

    def test_sort_field_that_names_no_field_stops_the_table(self):
        numbers = self.table("numbers.dbf")
        for name in ("NOSUCH", "QT"):
            run = self.tabrix(numbers, "out.csv", "/SORTBY:" + name)
            self.assertEqual((run.code, run.err), (1, "%s:/SORTBY: names no field %s; the table is not converted\n"
                                                   % (numbers, name)))
            self.assertFalse(os.path.exists(self.path("out.csv")))


class SortingAcrossTables(SelectTest):
    @classmethod
    def make_tables(cls):
        write_table(cls.table("plain.dbf"), "ID N(3,0); NAME C(8)", [(3, "c"), (1, "a"), (2, "b")])
        write_table(cls.table("keyed.dbf"), "ID N(3,0); KEY N(3,0)", [(12, 2), (11, 1), (13, 3)])

    def appended_ids(self, *tables):
        """The IDs of the tables appended, in the order given, into one new output, and the run."""
        output = "-".join(t[:-4] for t in tables) + ".csv"
        run = self.tabrix(*[self.table(t) for t in tables], output, "/SORTBY:KEY")
        return [int(row[0]) for row in self.csv_rows(output) if row], run

    def test_a_table_without_the_sort_field_is_skipped_and_the_others_sorted(self):
        skipped = "%s:/SORTBY: names no field KEY; the table is not converted\n" % self.table("plain.dbf")
        for tables in (("keyed.dbf", "plain.dbf"), ("plain.dbf", "keyed.dbf", "keyed.dbf")):
            with self.subTest(tables):
                ids, run = self.appended_ids(*tables)
                self.assertEqual((run.code, run.err), (1, skipped))
                self.assertEqual(ids, [11, 12, 13] * tables.count("keyed.dbf"))


class QuickSortOrderOfEqualKeys(SelectTest):
    """Many records with few distinct keys: their order is the one the sort steps give."""

    @classmethod
    def make_tables(cls):
        rng = random.Random(20240607)
        keys = ["a", "A", "ab", "Ab", "AB", "b", "B", " a", "zz", None]
        numbers = [-100, -12, -3, -1, 0, 1, 3, 12, 100, None]
        rows = [(i + 1, rng.choice(keys), rng.choice(numbers)) for i in range(257)]
        deleted = [i for i in range(len(rows)) if rng.random() < 0.05]
        write_table(cls.table("many.dbf"), "ID N(4,0); KEY C(4); NUM N(4,0)", rows, deleted=deleted)

    def test_fixture_has_duplicates_and_deleted_records(self):
        table = RawTable(self.table("many.dbf"))
        self.assertGreaterEqual(len(table.records), 200)
        self.assertLessEqual(len({table.value(r, "KEY") for r in table.records}), 10)
        self.assertLessEqual(len({table.value(r, "NUM") for r in table.records}), 10)
        self.assertTrue(any(table.deleted()))

    def test_character_key(self):
        many = self.table("many.dbf")
        self.assertEqual(self.ids(many, "/SORTBY:KEY"), model_order(many, "KEY", compare_bytes))
        self.assertEqual(self.ids(many, "/SORTBY:KEY", "/DESC"),
                         model_order(many, "KEY", compare_bytes, ascending=False))

    def test_character_key_ignoring_case(self):
        many = self.table("many.dbf")
        self.assertEqual(self.ids(many, "/SORTBY:KEY", "/ignorecase"), model_order(many, "KEY", compare_folding_case))
        self.assertEqual(self.ids(many, "/SORTBY:KEY", "/ignorecase", "/DESC"),
                         model_order(many, "KEY", compare_folding_case, ascending=False))

    def test_numeric_key(self):
        many = self.table("many.dbf")
        self.assertEqual(self.ids(many, "/SORTBY:NUM"), model_order(many, "NUM", compare_numeric_text))
        self.assertEqual(self.ids(many, "/SORTBY:NUM", "/DESC"),
                         model_order(many, "NUM", compare_numeric_text, ascending=False))


class Columns(SelectTest):
    @classmethod
    def make_tables(cls):
        write_table(cls.table("clients.dbf"), "ID N(3,0); CITY C(10); NAME C(10); MEMO1 M; QTY N(5,0); MEMO2 M", [
            (1, "Paris", "Ann", "first", 3, "second"), (2, "Rome", "Bob", "x", 9, "y"),
            (3, "Oslo", "Cy", "z", 1, "w")])

    def convert_clients(self, *switches, stderr=""):
        return self.convert(self.table("clients.dbf"), *switches, stderr=stderr)

    def test_listed_columns_keep_the_table_order(self):
        self.assertEqual(self.convert_clients("/COLUMNS:NAME,CITY"),
                         (["CITY", "NAME"], [["Paris", "Ann"], ["Rome", "Bob"], ["Oslo", "Cy"]]))

    def test_a_title_after_the_colon(self):
        names, rows = self.convert_clients("/COLUMNS:NAME:Customer,CITY")
        self.assertEqual((names, rows[0]), (["CITY", "Customer"], ["Paris", "Ann"]))

    def test_names_in_any_case_title_the_column_as_written(self):
        names, rows = self.convert_clients("/COLUMNS:name,City")
        self.assertEqual((names, rows[0]), (["City", "name"], ["Paris", "Ann"]))

    def test_trailing_spaces_of_an_item_are_dropped(self):
        names, _ = self.convert_clients("/COLUMNS:NAME  ,QTY:Count  ")
        self.assertEqual(names, ["NAME", "Count"])

    def test_unknown_names_are_reported_and_the_rest_written(self):
        clients = self.table("clients.dbf")
        names, _ = self.convert_clients("/COLUMNS:NOSUCH,QTY", stderr=clients + ":/COLUMNS: names no field NOSUCH\n")
        self.assertEqual(names, ["QTY"])
        names, _ = self.convert_clients("/EXCLUDE", "/COLUMNS:QTY,NOSUCH",
                                        stderr=clients + ":/COLUMNS: names no field NOSUCH\n")
        self.assertEqual(names, ["ID", "CITY", "NAME", "MEMO1", "MEMO2"])

    def test_a_list_that_leaves_no_column_stops_the_table(self):
        clients = self.table("clients.dbf")
        for switches in (["/COLUMNS:NOSUCH"], ["/EXCLUDE", "/COLUMNS:ID,CITY,NAME,MEMO1,QTY,MEMO2"]):
            with self.subTest(switches):
                run = self.tabrix(clients, "out.csv", *switches)
                self.assertEqual(run.code, 1)
                self.assertTrue(run.err.endswith(clients + ":the column list leaves no column; "
                                                 "the table is not converted\n"), run.err)
                self.assertFalse(os.path.exists(self.path("out.csv")))

    def test_exclude_leaves_out_the_listed_columns(self):
        self.assertEqual(self.convert_clients("/EXCLUDE", "/COLUMNS:MEMO1,memo2"),
                         (["ID", "CITY", "NAME", "QTY"], [["1", "Paris", "Ann", "3"], ["2", "Rome", "Bob", "9"],
                                                          ["3", "Oslo", "Cy", "1"]]))

    def test_columns_list_file(self):
        path = self.write("columns.txt", b"NAME\r\nCITY\n")
        names, rows = self.convert_clients("/COLUMNSLIST:" + path)
        self.assertEqual((names, rows[1]), (["CITY", "NAME"], ["Rome", "Bob"]))
        path = self.write("exclude.txt", b"MEMO1\nMEMO2")
        names, _ = self.convert_clients("/COLUMNSLIST:" + path, "/EXCLUDE")
        self.assertEqual(names, ["ID", "CITY", "NAME", "QTY"])

    def test_columns_list_lines_are_not_trimmed(self):
        path = self.write("columns.txt", b"NAME \nCITY\n")
        names, _ = self.convert_clients("/COLUMNSLIST:" + path,
                                        stderr=self.table("clients.dbf") + ":/COLUMNSLIST: names no field NAME \n")
        self.assertEqual(names, ["CITY"])

    def test_columns_list_entries_come_before_the_columns_switch(self):
        path = self.write("columns.txt", b"NAME\n")
        names, _ = self.convert_clients("/COLUMNS:NAME:Customer,QTY", "/COLUMNSLIST:" + path)
        self.assertEqual(names, ["NAME", "QTY"])

    def test_missing_columns_list_is_reported_and_the_run_goes_on(self):
        missing = self.path("missing.txt")
        names, rows = self.convert_clients("/COLUMNSLIST:" + missing, stderr=missing + ":No such file or directory\n")
        self.assertEqual((names, len(rows)), (["ID", "CITY", "NAME", "MEMO1", "QTY", "MEMO2"], 3))
        names, _ = self.convert_clients("/COLUMNSLIST:" + missing, "/COLUMNS:QTY",
                                        stderr=missing + ":No such file or directory\n")
        self.assertEqual(names, ["QTY"])

    def test_a_folder_given_as_columns_list_is_reported_and_the_run_goes_on(self):
        names, _ = self.convert_clients("/COLUMNSLIST:" + self.dir, stderr=self.dir + ":Is a directory\n")
        self.assertEqual(names, ["ID", "CITY", "NAME", "MEMO1", "QTY", "MEMO2"])

    def test_sorting_and_conditions_use_columns_that_are_not_written(self):
        names, rows = self.convert_clients("/COLUMNS:NAME", "/SORTBY:QTY", "/DESC", "/FILTER2:QTY:>=3")
        self.assertEqual((names, rows), (["NAME"], [["Bob"], ["Ann"]]))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TABRIX = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
