"""Reads XLSX books back with independent readers for the workbook library's tests.

  cells PATH       every cell of every sheet as xlrd and openpyxl read it, one line each
                   ("Sheet!A1 kind value format"); a MISMATCH line where the readers disagree
  layout PATH      frozen panes and column widths per sheet (openpyxl)
  rows PATH PART   the rows of a worksheet part as an XML parser sees them: rows or cells
                   out of order or given twice are reported
  members A B      each zip member of A: same, changed or missing in B; members only in B
  make PATH [1904] a workbook of openpyxl with styles, a defined name, two sheets, a formula,
                   a comment and a calculation chain (counting days from 1904 when asked)
  made PATH        what of that workbook openpyxl still reads, and the sheets' names
  damage A B HOW   B is A without its workbook part (HOW=noworkbook), with the workbook
                   part cut in half (cutxml), or without a sheet's part (nosheet)
"""
import sys
import zipfile
import xml.etree.ElementTree as ET

import openpyxl
import xlrd
from openpyxl.utils.cell import column_index_from_string
from openpyxl.utils.escape import unescape


def cells(path):
    book = openpyxl.load_workbook(path)
    peer = xlrd.open_workbook(path)
    for sheet in book.worksheets:
        other = peer.sheet_by_name(sheet.title)
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                value = cell.value
                if cell.data_type == "f":
                    # xlrd reads only a formula's stored result, and openpyxl saves none.
                    print("%s!%s f %r" % (sheet.title, cell.coordinate, value))
                    continue
                theirs = other.cell(cell.row - 1, cell.column - 1)
                if cell.is_date:
                    when = xlrd.xldate_as_datetime(theirs.value, peer.datemode)
                    agrees = theirs.ctype == xlrd.XL_CELL_DATE and abs((when - value).total_seconds()) < 0.001
                    kind, value = "d", value.isoformat()
                elif isinstance(value, bool):
                    kind, agrees = "b", theirs.ctype == xlrd.XL_CELL_BOOLEAN and bool(theirs.value) == value
                elif isinstance(value, (int, float)):
                    kind, value = "n", float(value)
                    agrees = theirs.ctype == xlrd.XL_CELL_NUMBER
                else:
                    # openpyxl leaves the _xHHHH_ escapes of control characters to its unescape.
                    kind, value, agrees = "s", unescape(value), theirs.ctype == xlrd.XL_CELL_TEXT
                if kind == "n":
                    agrees = agrees and abs(theirs.value - value) <= 1e-9 * max(1.0, abs(value))
                if kind == "s":
                    agrees = agrees and theirs.value == value
                if len(value if kind == "s" else "") > 60:
                    value = "%d chars %r...%r" % (len(value), value[:10], value[-10:])
                print("%s!%s %s %r %s" % (sheet.title, cell.coordinate, kind, value, cell.number_format))
                if not agrees:
                    print("MISMATCH xlrd reads %r (type %d)" % (theirs.value, theirs.ctype))


def layout(path):
    book = openpyxl.load_workbook(path)
    for sheet in book.worksheets:
        print("%s freeze=%s" % (sheet.title, sheet.freeze_panes))
        for key, dim in sorted(sheet.column_dimensions.items(), key=lambda kv: kv[1].min or 0):
            if dim.customWidth:
                print("%s cols %d-%d width %.1f" % (sheet.title, dim.min, dim.max, dim.width))


def rows(path, part):
    ns = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
    root = ET.fromstring(zipfile.ZipFile(path).read(part))
    last, count, problems = 0, 0, []
    for row in root.iter(ns + "row"):
        number = int(row.get("r"))
        if number <= last:
            problems.append("row %d after row %d" % (number, last))
        last, count = number, count + 1
        column = 0  # a cell without a reference follows the one before
        for cell in row.findall(ns + "c"):
            ref = cell.get("r")
            if ref is None:
                column += 1
                continue
            letters = ref.rstrip("0123456789")
            if ref[len(letters):] != str(number):
                problems.append("cell %s in row %d" % (ref, number))
            at = column_index_from_string(letters)
            if at <= column:
                problems.append("cell %s after column %d" % (ref, column))
            column = at
    print("%d rows" % count)
    for problem in problems:
        print(problem)


def members(a, b):
    old, new = zipfile.ZipFile(a), zipfile.ZipFile(b)
    new_names = set(new.namelist())
    for name in old.namelist():
        if name not in new_names:
            print("missing", name)
        else:
            print("same" if old.read(name) == new.read(name) else "changed", name)
    for name in new.namelist():
        if name not in old.namelist():
            print("added", name)


def make(path, epoch="1900"):
    from openpyxl.comments import Comment
    from openpyxl.styles import Font, PatternFill
    from openpyxl.utils.datetime import CALENDAR_MAC_1904
    from openpyxl.workbook.defined_name import DefinedName
    book = openpyxl.Workbook()
    if epoch == "1904":
        book.epoch = CALENDAR_MAC_1904
    first = book.active
    first.title = "First"
    first["A1"], first["A2"], first["A3"] = 2, 3, "=SUM(A1:A2)"
    first["A1"].font = Font(bold=True, color="FF0000")
    first["A2"].fill = PatternFill("solid", fgColor="FFFF00")
    first["B1"] = "kept"
    second = book.create_sheet("Second")
    for n in range(1, 11):
        second.cell(row=n, column=1, value="old %d" % n)
    book.defined_names.append(DefinedName("Inputs", attr_text="First!$A$1:$A$2"))
    second["A1"].comment = Comment("a note", "someone")
    book.save(path)
    # openpyxl writes no calculation chain; Excel does, listing the formula cells.
    with zipfile.ZipFile(path) as made:
        parts = {name: made.read(name) for name in made.namelist()}
    parts["xl/calcChain.xml"] = (b'<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                                 b'<c r="A3" i="1"/></calcChain>')
    parts["xl/_rels/workbook.xml.rels"] = parts["xl/_rels/workbook.xml.rels"].replace(
        b"</Relationships>", b'<Relationship Id="rId99" Target="calcChain.xml" Type="http://schemas.'
        b'openxmlformats.org/officeDocument/2006/relationships/calcChain"/></Relationships>')
    parts["[Content_Types].xml"] = parts["[Content_Types].xml"].replace(
        b"</Types>", b'<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-'
        b'officedocument.spreadsheetml.calcChain+xml"/></Types>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for name, data in parts.items():
            out.writestr(name, data)


def made(path):
    book = openpyxl.load_workbook(path)
    print("sheets", book.sheetnames)
    first = book["First"]
    print("formula", first["A3"].value)
    print("bold", first["A1"].font.b, "fill", first["A2"].fill.fgColor.rgb)
    print("name", book.defined_names.get("Inputs").attr_text)
    print("comment", book["Second"]["A1"].comment and book["Second"]["A1"].comment.text)


def damage(good, bad, how):
    source = zipfile.ZipFile(good)
    with zipfile.ZipFile(bad, "w") as out:
        for name in source.namelist():
            data = source.read(name)
            if name == "xl/workbook.xml" and how == "noworkbook":
                continue
            if name == "xl/worksheets/sheet1.xml" and how == "nosheet":
                continue
            if name == "xl/workbook.xml" and how == "cutxml":
                data = data[: len(data) // 2]
            out.writestr(name, data)


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"cells": cells, "layout": layout, "rows": rows, "members": members, "make": make, "made": made,
     "damage": damage}[command](*args)
