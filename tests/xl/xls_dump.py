"""Prints what xlrd reads from .xls workbooks, one fact a line, for the
workbook library's tests: texts as hex of their UTF-8, numbers as Python's
repr, each cell's number format string.

  sheet INDEX NAME_HEX ROWS COLS FROZEN_ROWS FROZEN_COLS
  width INDEX COLUMN WIDTH
  cell INDEX ROW COLUMN KIND VALUE FORMAT_HEX
"""
import sys

import xlrd

KINDS = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_BOOLEAN: "bool",
         xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_BLANK: "blank", xlrd.XL_CELL_DATE: "number",
         xlrd.XL_CELL_ERROR: "error"}

for path in sys.argv[1:]:
    book = xlrd.open_workbook(path, formatting_info=True)
    for index, sheet in enumerate(book.sheets()):
        frozen_rows = sheet.horz_split_pos if sheet.panes_are_frozen else 0
        frozen_cols = sheet.vert_split_pos if sheet.panes_are_frozen else 0
        print("sheet", index, sheet.name.encode().hex() or "-", sheet.nrows, sheet.ncols, frozen_rows, frozen_cols)
        for column, info in sorted(sheet.colinfo_map.items()):
            print("width", index, column, info.width)
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                cell = sheet.cell(r, c)
                kind = KINDS[cell.ctype]
                if kind in ("empty", "blank"):
                    continue
                if kind == "text":
                    value = cell.value.encode().hex() or "-"
                elif kind == "bool":
                    value = str(int(cell.value))
                else:
                    value = repr(float(cell.value))
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                print("cell", index, r, c, kind, value, fmt.encode().hex() or "-")
