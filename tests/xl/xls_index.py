"""Adds INDEX records, as Excel writes them, to a workbook made by xlwt, or
checks them: each names the stream position of its sheet's DIMENSIONS record
(Excel's name the DBCELL records of row blocks; any record serves to see that
positions follow a sheet that moved).

  xls_index.py make OUT.xls     a two-sheet workbook with INDEX records
  xls_index.py check FILE.xls   prints "index N ok" or "index N wrong" for each
"""
import struct
import sys

import xlwt
import xlwt.CompoundDoc
import xlrd.compdoc


def records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from('<HH', stream, pos)
        yield pos, kind, stream[pos + 4:pos + 4 + size]
        pos += 4 + size


def make(path):
    book = xlwt.Workbook(encoding='utf-8')
    for name in ('One', 'Two'):
        sheet = book.add_sheet(name)
        for r in range(50):
            sheet.write(r, 0, '%s %d' % (name, r))
            sheet.write(r, 1, r * 0.5)
    out = bytearray()
    sheet_starts, bound_fields, index_fields = [], [], []
    for _, kind, data in records(book.get_biff_data()):
        if kind == 0x0085:
            bound_fields.append(len(out) + 4)
        if kind == 0x0200:
            struct.pack_into('<I', out, index_fields[-1], len(out))
        out += struct.pack('<HH', kind, len(data)) + data
        if kind == 0x0809 and struct.unpack_from('<H', data, 2)[0] == 0x0010:
            sheet_starts.append(len(out) - 4 - len(data))
            out += struct.pack('<HHIIII', 0x020B, 20, 0, 0, 50, 0) + struct.pack('<I', 0)
            index_fields.append(len(out) - 4)
    for field, start in zip(bound_fields, sheet_starts):
        struct.pack_into('<I', out, field, start)
    xlwt.CompoundDoc.XlsDoc().save(path, bytes(out))


def check(path):
    stream = xlrd.compdoc.CompDoc(open(path, 'rb').read()).get_named_stream('Workbook')
    count = 0
    for _, kind, data in records(stream):
        if kind == 0x020B:
            count += 1
            target = struct.unpack_from('<I', data, 16)[0]
            fits = target + 2 <= len(stream) and struct.unpack_from('<H', stream, target)[0] == 0x0200
            print('index', count, 'ok' if fits else 'wrong')


if __name__ == '__main__':
    {'make': make, 'check': check}[sys.argv[1]](sys.argv[2])
