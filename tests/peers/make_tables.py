"""Writes DBF tables with python3-dbf, a DBF writer independent of Tabrix, and
prints what went into them so peer_table_test.cpp can compare Tabrix's reading
with the writer's own values.

Usage: /usr/bin/python3 make_tables.py SCENARIO FOLDER

Output, one tab-separated item per line:
  table    FILE                      a table in FOLDER; the lines below belong to it
  field    NAME TYPE OFFSET LENGTH DECIMALS
                                     each field as the writer laid it out
  record   DELETED                   1 for a deleted record; its values follow
  text     HEX [ANSI]                stored characters (C, N, F, L), blank-padded; for C
                                     fields of a table in an OEM code page also the same
                                     text in the ANSI code page paired with it
  date     YYYY MM DD | blank
  datetime YYYY MM DD hh mm ss | empty
                                     rounded to the whole second
  currency AMOUNT4 AMOUNT2           the amount with 4 decimals and rounded to 2
  double   FIXED6 FIXED11            the double with 6 and with 11 decimals
  integer  N
  memo     HEX | - BLOCK             text memo, "-" when empty, and the block number the
                                     writer put in the record (python3-dbf gives an empty
                                     text a block of its own, and None block 0)
  general  HEX | - BLOCK             binary memo (G), the same way
  raw      HEX                       the bytes of the _NULLFLAGS system field
"""
import datetime
import decimal
import os
import struct
import sys

try:
    import dbf
except ImportError as exc:
    sys.exit("python3-dbf cannot be imported by %s (%s); install the Debian package python3-dbf"
             % (sys.executable, exc))

D = decimal.Decimal


def hexed(data):
    return data.hex() if data else "-"


def rounded_to_second(moment):
    # python3-dbf keeps whole milliseconds; the reader shows the nearest second.
    millis = moment.microsecond // 1000
    whole = moment.replace(microsecond=0)
    return whole + datetime.timedelta(seconds=1) if millis > 500 else whole


class Writer:
    """One table: writes records through python3-dbf and remembers the expected values."""

    def __init__(self, folder, file_name, field_list, dbf_type, codepage, ansi=None, **options):
        self.path = os.path.join(folder, file_name)
        self.file_name = file_name
        self.codepage = codepage
        self.ansi = ansi
        self.table = dbf.Table(self.path, field_list, dbf_type=dbf_type, codepage=codepage, **options)
        self.table.open(dbf.READ_WRITE)
        meta = self.table._meta
        # Every field the writer laid out, its _NULLFLAGS system field included.
        self.fields = [(name, meta[name]) for name in meta.fields]
        self.decimals_patch = {}
        self.int_patches = []
        self.records = []

    def add(self, values, deleted=False):
        self.table.append(values)
        record = self.table[-1]
        if deleted:
            dbf.delete(record)
        expected = []
        for name, layout in self.fields:
            field_type = chr(layout[0])
            stored = record._data[layout[1]:layout[3]].tobytes()
            if field_type == "0":
                expected.append(("raw", stored.hex()))
                continue
            value = self.expect(field_type, layout[2], layout[4], values.get(name))
            if field_type in "MG":
                block = struct.unpack("<i", stored)[0] if len(stored) == 4 else int(stored.strip() or b"0")
                value += (str(block),)
            expected.append(value)
        self.records.append((deleted, expected))

    def put_int(self, record_number, name, value):
        # python3-dbf refuses the two extreme 32-bit integers, so they go in by hand.
        self.int_patches.append((record_number, name, value))
        fields = [n for n, _ in self.fields]
        self.records[record_number][1][fields.index(name)] = ("integer", str(value))

    def set_decimals(self, name, decimals):
        # Visual FoxPro itself gives currency fields 4 decimals; python3-dbf gives 0.
        self.decimals_patch[name] = decimals

    def expect(self, field_type, length, decimals, value):
        # None and Null leave a field as python3-dbf blanks it: blanks, "?" for a
        # logical, zero bytes for the binary types.
        blank = value is None or value is dbf.Null
        if field_type == "C":
            stored = ("text", (b"" if blank else value.encode(self.codepage)).ljust(length, b" ").hex())
            if self.ansi is None:
                return stored
            return stored + ((b"" if blank else value.encode(self.ansi)).ljust(length, b" ").hex(),)
        if field_type in "NF":
            text = b"" if blank else ("%*.*f" % (length, decimals, value)).encode("ascii")
            return ("text", text.rjust(length, b" ").hex())
        if field_type == "L":
            return ("text", {True: b"T", False: b"F"}.get(value, b"?").hex())
        if field_type == "D":
            return ("date", "blank") if blank else ("date", "%04d" % value.year, "%02d" % value.month,
                                                    "%02d" % value.day)
        if field_type == "T":
            if blank:
                return ("datetime", "empty")
            m = rounded_to_second(value)
            return ("datetime",) + tuple(str(n) for n in (m.year, m.month, m.day, m.hour, m.minute, m.second))
        if field_type == "Y":
            amount = D(0) if blank else value
            return ("currency", str(amount.quantize(D("0.0001"))), str(amount.quantize(D("0.01"))))
        if field_type == "B":
            number = 0.0 if blank else value
            return ("double", "%.6f" % number, "%.11f" % number)
        if field_type == "I":
            return ("integer", "0" if blank else str(value))
        if field_type == "M":
            return ("memo", hexed(b"" if blank else value.encode(self.codepage)))
        if field_type == "G":
            return ("general", hexed(b"" if blank else value))
        raise ValueError("no expectation for type " + field_type)

    def finish(self, out, memo_flag=False):
        meta = self.table._meta
        header_length = meta.header.start
        record_length = meta.header.record_length
        starts = {name: layout[1] for name, layout in self.fields}
        self.table.close()
        with open(self.path, "r+b") as f:
            if memo_flag:
                # Visual FoxPro marks a table with a memo file by flag 0x02; python3-dbf does not.
                f.seek(28)
                flags = f.read(1)[0]
                f.seek(28)
                f.write(bytes([flags | 0x02]))
            for i, (name, _) in enumerate(self.fields):
                if name in self.decimals_patch:
                    f.seek(32 + 32 * i + 17)
                    f.write(bytes([self.decimals_patch[name]]))
            for record_number, name, value in self.int_patches:
                f.seek(header_length + record_number * record_length + starts[name])
                f.write(struct.pack("<i", value))
        out.append(("table", self.file_name))
        for name, layout in self.fields:
            # The decimals byte of a character field is the high byte of its length.
            decimals = 0 if chr(layout[0]) == "C" else self.decimals_patch.get(name, layout[4])
            out.append(("field", name.upper(), chr(layout[0]), str(layout[1]), str(layout[2]), str(decimals)))
        for deleted, expected in self.records:
            out.append(("record", "1" if deleted else "0"))
            out.extend(expected)


def memo_text(length, alphabet):
    """A text of exactly length characters built from alphabet, with line breaks."""
    text = ""
    line = 0
    while len(text) < length:
        line += 1
        text += "%d %s\r\n" % (line, alphabet)
    return text[:length]


def dbase3(folder, out):
    w = Writer(folder, "db3.dbf",
               "NAME C(20); CITY C(254); QTY N(10,2); COUNT N(6,0); RATE F(12,4); BORN D; ACTIVE L; NOTES M",
               "db3", "cp437", ansi="cp1252")
    german = "Grüße aus Köln, Äpfel für Jörg"
    w.add({"name": "Zoë Müller   ", "city": ("Straße " * 40)[:253] + "é", "qty": 1234.5, "count": 42,
           "rate": 3.1416, "born": datetime.date(2000, 2, 29), "active": True, "notes": memo_text(600, german)})
    w.add({"name": "Ärger", "city": "Wien", "qty": -0.01, "count": -99999, "rate": -12.5,
           "born": datetime.date(1900, 1, 1), "active": False, "notes": ""})
    w.add({"name": "gelöscht", "qty": -99999.99, "count": 0, "born": datetime.date(9999, 12, 31),
           "active": None, "notes": "first line\r\nsecond line\r\n\r\nlast line"}, deleted=True)
    w.add({})
    # 510 characters and the two end marks fill one 512-byte block exactly.
    w.add({"name": "x" * 20, "born": datetime.date(1, 1, 1), "notes": memo_text(510, german)})
    w.add({"name": "spills", "notes": memo_text(511, german)})
    w.add({"name": "several blocks", "notes": memo_text(1500, german)})
    w.add({"name": "one block", "notes": memo_text(512, german)}, deleted=True)
    w.finish(out)


def clipper(folder, out):
    w = Writer(folder, "clp.dbf", "TITLE C(300); CODE N(8,0); DAY D; FLAG L; BODY M", "clp", "cp866", ansi="cp1251")
    russian = "Съешь же ещё этих мягких французских булок"
    w.add({"title": "Привет, мир   ", "code": 12345678, "day": datetime.date(2024, 12, 31), "flag": True,
           "body": memo_text(700, russian)})
    w.add({"title": "Удалено", "code": -1234567, "flag": False, "body": ""}, deleted=True)
    # A full 300-character value: the field after it starts 300 bytes later.
    w.add({"title": ("Ёлка " * 60)[:299] + "Я", "day": datetime.date(2000, 2, 29), "body": russian + "\r\n" + russian})
    w.finish(out)


def foxpro2(folder, out):
    w = Writer(folder, "fp.dbf", "NAME C(30); PRICE N(12,4); WEIGHT F(10,3); DAY D; OK L; NOTES M; PIC G",
               "fp", "cp850", ansi="cp1252", memo_size=64)
    spanish = "El pingüino Wenceslao hizo kilómetros bajo exhaustiva lluvia y frío, añoraba a su querido cachorro"
    picture = bytes(range(256)) * 3
    w.add({"name": "Señor Niño  ", "price": 12.3456, "weight": -0.5, "day": datetime.date(2000, 2, 29),
           "ok": True, "notes": "ñ" * 40, "pic": picture})
    # 56 characters and the 8-byte block header fill one 64-byte block exactly.
    w.add({"name": "Façade", "price": -0.0001, "weight": 1234.567, "day": datetime.date(1900, 1, 1),
           "ok": False, "notes": memo_text(56, spanish), "pic": b"\x00\x01\x02\xff"}, deleted=True)
    w.add({})
    w.add({"name": "Øre", "price": 9999999.9999, "weight": 0.001, "day": datetime.date(9999, 12, 31), "ok": True,
           "notes": memo_text(57, spanish)})
    w.add({"name": "six hundred", "notes": memo_text(600, spanish)})
    w.add({"name": "five thousand", "notes": memo_text(5000, spanish)}, deleted=True)
    w.finish(out)


def visual_foxpro(folder, out):
    w = Writer(folder, "vfp.dbf",
               "NAME C(24) null; QTY N(12,3); AMOUNT Y; AMOUNT2 Y; STAMP T; RATIO B; CNT I null; BORN D; OK L; "
               "NOTES M; PIC G",
               "vfp", "cp1252", memo_size=128)
    french = "Voix ambiguë d'un cœur qui, au zéphyr, préfère les jattes de kiwis – 5 €"
    w.add({"name": "Café crème € 5  ", "qty": 1234.567, "amount": D("12.3456"), "amount2": D("12.3456"),
           "stamp": datetime.datetime(2000, 2, 29, 23, 59, 59), "ratio": 3.141592653589793, "cnt": 0,
           "born": datetime.date(2000, 2, 29), "ok": True, "notes": memo_text(600, french),
           "pic": b"\x89PNG\r\n\x1a\n\x00\x00"})
    w.add({"name": "naïve", "qty": -0.5, "amount": D("-0.0001"), "amount2": D("-0.0051"),
           "stamp": datetime.datetime(1900, 1, 1, 0, 0, 0), "ratio": -2.5e-07, "cnt": 0,
           "born": datetime.date(1900, 1, 1), "ok": False, "notes": ""})
    w.add({"name": dbf.Null, "amount": D("214748.3648"), "amount2": D("214748.3649"),
           "stamp": datetime.datetime(9999, 12, 31, 23, 59, 59), "ratio": 1.7976931348623157e308, "cnt": dbf.Null,
           "born": datetime.date(9999, 12, 31), "notes": memo_text(2000, french)})
    w.add({"name": "Ÿ‰", "qty": 0, "amount": D("922337203685477.5807"), "amount2": D("-922337203685477.5807"),
           "stamp": datetime.datetime(2024, 6, 15, 12, 30, 45, 600000), "ratio": -1e10, "cnt": -5, "ok": True,
           "notes": "short"}, deleted=True)
    # 120 characters and the 8-byte block header fill one 128-byte block exactly.
    w.add({"name": "Ende", "qty": 1000000, "amount": D(0), "stamp": datetime.datetime(1999, 12, 31, 23, 59, 59, 700000),
           "ratio": 0.0, "cnt": 0, "born": datetime.date(2000, 1, 1), "ok": False, "notes": memo_text(120, french)})
    w.add({"name": "blank stamp", "amount": D("-12.3456"), "amount2": D("99.9949"),
           "stamp": None, "ratio": 1e-7, "cnt": 1, "notes": memo_text(121, french)})
    w.add({"name": "late morning", "stamp": datetime.datetime(2000, 3, 1, 8, 5, 9, 400000), "cnt": 2147483646})
    w.put_int(0, "cnt", 2147483647)
    w.put_int(1, "cnt", -2147483648)
    w.set_decimals("amount", 4)
    w.finish(out, memo_flag=True)


def currency(folder, out):
    w = Writer(folder, "money.dbf", "AMOUNT Y; AMOUNT2 Y", "vfp", "cp1252")
    for amount in ("12.3456", "-12.3456", "0", "-0.0001", "0.0049", "-0.0049", "-0.0051", "99.9951",
                   "214748.3647", "214748.3648", "-214748.3649", "922337203685477.5807", "-922337203685477.5807"):
        w.add({"amount": D(amount), "amount2": D(amount)})
    w.set_decimals("amount", 4)
    w.finish(out)


def visual_foxpro_as_written(folder, out):
    w = Writer(folder, "plain.dbf", "CODE I; NOTES M", "vfp", "cp1252")
    w.add({"code": 1, "notes": "kept in plain.fpt"})
    w.add({"code": 2, "notes": memo_text(300, "déjà vu")})
    w.finish(out)


def many_records(folder, out):
    w = Writer(folder, "many.dbf", "ID N(6,0); LABEL C(100); DAY D", "db3", "cp437")
    start = datetime.date(1990, 1, 1)
    for i in range(3000):
        w.add({"id": i, "label": "record %d ½" % i, "day": start + datetime.timedelta(days=i)}, deleted=i % 7 == 3)
    w.finish(out)


def upper_case_names(folder, out):
    w = Writer(folder, "CUSTOMER.DBF", "NAME C(10); NOTES M", "db3", "cp437")
    w.add({"name": "Ada", "notes": "memo in CUSTOMER.DBT"})
    w.add({"name": "Bob", "notes": memo_text(700, "upper case")})
    w.finish(out)


SCENARIOS = {
    "db3": dbase3,
    "clp": clipper,
    "fp": foxpro2,
    "vfp": visual_foxpro,
    "currency": currency,
    "vfp-as-written": visual_foxpro_as_written,
    "many": many_records,
    "upper": upper_case_names,
}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in SCENARIOS:
        sys.exit("usage: make_tables.py {%s} FOLDER" % ",".join(SCENARIOS))
    out = []
    SCENARIOS[sys.argv[1]](sys.argv[2], out)
    sys.stdout.write("".join("\t".join(item) + "\n" for item in out))


main()
