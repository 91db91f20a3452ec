#!/usr/bin/python3
"""Writes clients.dbf and clients.dbt, the sample table, with python3-dbf.

The sample is made by an independent DBF writer so that it also serves as a
check of the reader. Run with Debian's /usr/bin/python3; the output is
deterministic apart from the header's date of last update.
"""
import datetime
import os
import sys

import dbf

FIRST = ["Anna", "Boris", "Clara", "David", "Elena", "Frank", "Greta", "Hugo",
         "Ines", "Jonas", "Karin", "Lukas", "Marta", "Nils", "Olga", "Paul"]
LAST = ["Berg", "Castro", "Dubois", "Evans", "Fischer", "Garcia", "Hansen", "Ito"]
CITIES = ["Lisboa", "M\xfcnchen", "Paris", "Z\xfcrich", "Sevilla", "Oslo", "Graz"]


def main(folder):
    path = os.path.join(folder, "clients.dbf")
    table = dbf.Table(
        path,
        "ID N(6,0); NAME C(30); CITY C(20); SINCE D; BALANCE N(12,2); ACTIVE L; NOTES M",
        dbf_type="db3",
        codepage="cp1252",
    )
    table.open(dbf.READ_WRITE)
    for i in range(36):
        name = f"{FIRST[i % len(FIRST)]} {LAST[(i * 3) % len(LAST)]}"
        since = datetime.date(1990 + i % 30, 1 + i % 12, 1 + (i * 7) % 28)
        balance = round((i * 1234.567) % 25000 - 5000, 2)
        notes = "" if i % 4 == 3 else f"Client since {since.year}.\r\nPrefers contact by {'mail' if i % 2 else 'phone'}."
        table.append((i + 1, name, CITIES[i % len(CITIES)], since, balance, i % 5 != 0, notes))
    # One record is marked deleted; the converter skips it by default.
    dbf.delete(table[7])
    table.close()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
