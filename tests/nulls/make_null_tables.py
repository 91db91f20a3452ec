#!/usr/bin/python3
"""Writes Visual FoxPro tables with NULL values byte by byte, and the values
each record holds (None for NULL) for the checker.

nulls_all.dbf: every field nullable (C, N, I, B, Y, D, T, L, M), so the null
bit of a field is also its position, as python3-dbf numbers them.
nulls_var.dbf: adds a field that is not nullable, varchar (V) and varbinary (Q)
fields, nullable and not, whose "shorter than the field" bits come before
their null bits.

Record 1 holds values, record 2 is NULL in every nullable field (the bytes under
the flags are the zero fillers of record 3), record 3 holds those fillers as
real values: zero numbers, blank texts, a blank date, false.
"""
import datetime
import struct

BLOCK = 64


def julian(day):
    return day.toordinal() + 1721425


class Memo:
    def __init__(self):
        self.blocks = bytearray(512)

    def add(self, text):
        block = len(self.blocks) // BLOCK
        data = struct.pack(">II", 1, len(text)) + text
        data += b"\0" * (-len(data) % BLOCK)
        self.blocks += data
        return block

    def bytes(self):
        out = bytearray(self.blocks)
        struct.pack_into(">I", out, 0, len(out) // BLOCK)
        struct.pack_into(">H", out, 6, BLOCK)
        return bytes(out)


def encode(kind, length, decimals, value, memo):
    """The stored bytes of a value; None gives the zero filler."""
    if kind == "C":
        return (value or "").encode("latin-1").ljust(length)
    if kind == "N":
        return f"{value or 0:{length}.{decimals}f}".encode()
    if kind == "I":
        return struct.pack("<i", value or 0)
    if kind == "B":
        return struct.pack("<d", value or 0.0)
    if kind == "Y":
        return struct.pack("<q", round((value or 0) * 10000))
    if kind == "D":
        return value.strftime("%Y%m%d").encode() if value else b" " * 8
    if kind == "T":
        if not value:
            return b"\0" * 8
        millis = ((value.hour * 60 + value.minute) * 60 + value.second) * 1000
        return struct.pack("<ii", julian(value.date()), millis)
    if kind == "L":
        return b"T" if value else b"F"
    if kind == "M":
        return struct.pack("<I", memo.add(value.encode()) if value else 0)
    if kind in "VQ":
        raw = (value or b"") if kind == "Q" else (value or "").encode()
        if len(raw) < length:  # the length goes into the last byte
            return raw.ljust(length - 1, b"\0") + bytes([len(raw)])
        return raw
    raise ValueError(kind)


# name, type, length, decimals, nullable
ALL_FIELDS = [
    ("CNAME", "C", 10, 0, True), ("NAMT", "N", 8, 2, True), ("NCOUNT", "I", 4, 0, True),
    ("NDBL", "B", 8, 2, True), ("NCUR", "Y", 8, 4, True), ("NDAY", "D", 8, 0, True),
    ("NTIME", "T", 8, 0, True), ("NFLAG", "L", 1, 0, True), ("NNOTE", "M", 4, 0, True),
]
ALL_RECORDS = [
    ["Anna", 12.5, 42, 3.25, 7.1234, datetime.date(2024, 3, 1), datetime.datetime(2024, 3, 1, 10, 20, 30),
     True, "memo one"],
    [None] * 9,
    ["", 0, 0, 0.0, 0, "", "", False, ""],  # "": a blank date, an empty date-time
]
VAR_FIELDS = [
    ("PLAIN", "C", 5, 0, False), ("NVAR", "V", 10, 0, True), ("VFULL", "V", 4, 0, False),
    ("NBIN", "Q", 6, 0, True), ("CNAME", "C", 10, 0, True), ("NAMT", "N", 8, 2, True),
]
VAR_RECORDS = [
    ["p1", "abc", "ab", b"\x01\x02", "Anna", 12.5],
    ["p2", None, "wxyz", None, None, None],
    ["p3", "abcdefghij", "wxyz", b"\x01\x02\x03\x04\x05\x06", "", 0],
]


def null_bits(fields):
    """Per field: its length bit and its null bit (None when it has none)."""
    bits, n = [], 0
    for _, kind, _, _, nullable in fields:
        length_bit = n if kind in "VQ" else None
        n += kind in "VQ"
        null_bit = n if nullable else None
        n += nullable
        bits.append((length_bit, null_bit))
    return bits, n


def write_table(path, fields, records):
    memo = Memo()
    bits, count = null_bits(fields)
    flags_len = (count + 7) // 8
    descriptors, offset = b"", 1
    for name, kind, length, decimals, nullable in fields + [("_NullFlags", "0", flags_len, 0, False)]:
        flags = 0x05 if kind == "0" else (0x02 if nullable else 0) | (0x04 if kind == "Q" else 0)
        descriptors += (name.encode().ljust(11, b"\0") + kind.encode() + struct.pack("<I", offset) +
                        bytes([length, decimals, flags]) + b"\0" * 13)
        offset += length
    record_length = offset
    header_length = 32 + len(descriptors) + 1 + 263
    has_memo = any(f[1] == "M" for f in fields)
    header = struct.pack("<BBBBIHH", 0x30, 124, 1, 1, len(records), header_length, record_length)
    header += b"\0" * 16 + bytes([0x02 if has_memo else 0, 0x03]) + b"\0\0"
    body = b""
    for values in records:
        record, flags = b" ", 0
        for (name, kind, length, decimals, _), value, (length_bit, null_bit) in zip(fields, values, bits):
            stored = encode(kind, length, decimals, value, memo)
            assert len(stored) == length, name
            record += stored
            if value is None and null_bit is not None:
                flags |= 1 << null_bit
            raw_length = len(value) if isinstance(value, (str, bytes)) else 0
            if length_bit is not None and value is not None and raw_length < length:
                flags |= 1 << length_bit
        body += record + flags.to_bytes(flags_len, "little")
    with open(path, "wb") as f:
        f.write(header + descriptors + b"\r" + b"\0" * 263 + body + b"\x1a")
    if has_memo:
        with open(path[:-4] + ".fpt", "wb") as f:
            f.write(memo.bytes())


def write_all(folder):
    write_table(f"{folder}/nulls_all.dbf", ALL_FIELDS, ALL_RECORDS)
    write_table(f"{folder}/nulls_var.dbf", VAR_FIELDS, VAR_RECORDS)
