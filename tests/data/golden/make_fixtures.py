"""Writes the input tables of the golden conversion cases.

Usage: /usr/bin/python3 make_fixtures.py

Each case folder beside this script gets its table as table.dbf (and table.dbt
or table.fpt for memos). The tables come from python3-dbf, a DBF writer
independent of Tabrix; what it cannot write (leading blanks of a character
value, a blank logical, a currency field with four decimals, a field name
outside ASCII) is patched into its bytes afterwards. The header date is fixed
so that a rerun gives the same bytes. The cases' args and expected files are
written by hand, not here. The XML cases hold cli_args in place of args: the
document names the table's absolute path, which their expected bytes hold as
{in}, so tests/markup/check_markup_outputs.py runs them instead.
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

HERE = os.path.dirname(os.path.abspath(__file__))
D = datetime.date
DT = datetime.datetime
# Currency as a decimal: a float amount is cut, not rounded, to the 64-bit integer.
DEC = decimal.Decimal


def layout(path):
    """Header length, record length and {name: (descriptor offset, record offset, length)}."""
    with open(path, "rb") as f:
        data = f.read()
    header_length, record_length = struct.unpack_from("<HH", data, 8)
    fields = {}
    at, offset = 32, 1
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b"\0")[0]
        length = data[at + 16]
        fields[name] = (at, offset, length)
        offset += length
        at += 32
    return header_length, record_length, fields


def patch(path, position, raw):
    with open(path, "r+b") as f:
        f.seek(position)
        f.write(raw)


def set_value(path, record, name, raw):
    """Stores raw bytes as the value of one field of one record (counted from 0)."""
    header_length, record_length, fields = layout(path)
    _, offset, length = fields[name.encode()]
    assert len(raw) == length, (name, raw)
    patch(path, header_length + record * record_length + offset, raw)


def set_decimals(path, name, decimals):
    at, _, _ = layout(path)[2][name.encode()]
    patch(path, at + 17, bytes([decimals]))


def rename(path, name, raw_name):
    at, _, _ = layout(path)[2][name.encode()]
    patch(path, at, raw_name.ljust(11, b"\0"))


def build(folder, fields, dbf_type, codepage, rows, deleted=()):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    path = os.path.join(HERE, folder, "table.dbf")
    for ext in (".dbf", ".dbt", ".fpt"):
        if os.path.exists(path[:-4] + ext):
            os.remove(path[:-4] + ext)
    table = dbf.Table(path, fields, dbf_type=dbf_type, codepage=codepage)
    table.open(dbf.READ_WRITE)
    for i, row in enumerate(rows):
        table.append(row)
        if i in deleted:
            dbf.delete(table[-1])
    table.close()
    patch(path, 1, bytes([124, 1, 1]))  # 1 January 2024
    return path


def basic(folder):
    """Commas, double quotes, blank values of every kind, dBase III in Windows 1252."""
    path = build(folder, "NAME C(12); CITY C(8); QTY N(6,2); DAY D; OK L", "db3", "cp1252", [
        ("Smith, John", "Berlin", 1.5, D(2024, 3, 5), True),
        ('Say "hi"', "Oslo", -2, None, False),
        ("  Lead", None, None, D(1999, 12, 31), None),
        ('x "a,b"', "Rome", 0, D(2000, 2, 29), True),
    ])
    # python3-dbf strips leading blanks from character values and writes None as "?".
    set_value(path, 2, "NAME", b"  Lead      ")
    set_value(path, 2, "OK", b" ")


def texts(folder):
    """Values holding delimiters and spaces."""
    build(folder, "TXT C(10); NUM N(5,1)", "db3", "cp1252", [
        ("a<>b;c", 1.5),
        ("x y", 10),
        (None, None),
    ])


def deleted(folder):
    """Deleted records in the middle and at the end, and an empty record."""
    build(folder, "ID N(3,0); NAME C(6)", "db3", "cp1252", [
        (1, "one"), (2, "two"), (3, "three"), (None, None), (5, "five"),
    ], deleted=(1, 4))


def twenty(folder):
    build(folder, "ID N(2,0)", "db3", "cp1252", [(n,) for n in range(1, 21)])


def untrimmed(folder):
    """Padded values without blank dates."""
    build(folder, "NAME C(8); QTY N(6,2); DAY D; OK L", "db3", "cp1252", [
        ("a,b", 1.5, D(2024, 3, 5), True),
        (None, None, D(1999, 12, 31), False),
    ])


def blank_date(folder):
    build(folder, "ID N(2,0); DAY D", "db3", "cp1252", [(1, None), (2, D(2024, 3, 5))])


def memos(folder):
    """Line breaks, quotes and tabs in character fields and in a dBase III memo file."""
    build(folder, "NAME C(6); NOTE M", "db3", "cp1252", [
        ("a\r\nb", "line1\r\nline2"),
        ('q"t', "p,q"),
        ("z\tw", 'say "x"\tend'),
        ("e", None),
    ])


def quoting(folder):
    """Values a reader takes apart unless they are enclosed: quotes at the start
    and inside, each delimiter, apostrophes, line breaks and tabs in memos."""
    build(folder, "NAME C(16); QTY N(5,1); NOTE M", "db3", "cp1252", [
        ('2 1/2" x 3 1/2"', 1.5, 'first\r\nsecond "line"'),
        ('"lead', -2, '"quoted"'),
        ("semi;colon", None, "pipe|bar"),
        ("O'Brien|x", 0, "tab\there;\rcr"),
        ("", 10, None),
    ])


def umlauts(folder, second):
    """Windows 1252 text, and a field name outside ASCII (GR\xd6SSE)."""
    path = build(folder, "NAME C(8); GROSSE N(3,0)", "db3", "cp1252", [
        ("M\u00fcller", 180),
        (second, 75),
    ])
    rename(path, "GROSSE", b"GR\xd6SSE")


def pair(folder):
    build(folder, "X C(3)", "db3", "cp1252", [("a",), ("b",)])


def oem_memo(folder):
    """A DOS table (code page 437, mark 0x01) whose text and memo hold \u00fc as 0x81."""
    build(folder, "NAME C(8); NOTE M", "db3", "cp437", [("M\u00fcller", "\u00fcber")])


def vfp_values(folder):
    """Visual FoxPro date-time, currency with 4 and with 0 decimals, double, integer."""
    path = build(folder, "STAMP T; PRICE Y; COST Y; RATE B; CNT I; QTY N(6,2)", "vfp", "cp1252", [
        (DT(2024, 3, 5, 13, 45, 30), DEC("12.3456"), DEC("12.3456"), 2.5, 42, 1.5),
        (None, 0, 0, -0.125, -7, -2),
    ])
    set_decimals(path, "PRICE", 4)


def vfp_fixed(folder):
    """Every type of the fixed-width output, with a memo, in Visual FoxPro."""
    path = build(folder, "NAME C(5); QTY N(6,2); DAY D; OK L; STAMP T; CNT I; PRICE Y; RATE B; NOTE M",
                 "vfp", "cp1252", [
                     ("ab", 1.5, D(2024, 3, 5), True, DT(2024, 3, 5, 13, 45, 30), 42, DEC("12.3456"), 2.5,
                      "memo text"),
                     ("del", 9, D(2024, 1, 2), True, DT(2024, 1, 2, 8, 0, 0), 9, 9, 9, "gone"),
                     ("xyz", -2, None, False, None, -7, 0, -0.125, None),
                 ], deleted=(1,))
    set_decimals(path, "PRICE", 4)


def html_values(folder):
    """Markup characters, addresses of every kind, a plain amount, blank values."""
    path = build(folder, "NAME C(12); CONTACT C(26); PRICE N(6,2); DAY D; OK L", "db3", "cp1252", [
        ("Smith & Sons", "info@smith.example", 12.5, D(2024, 3, 5), True),
        ('<b>"Q"</b>', "www.example.com", 0, None, False),
        ("Lead", "http://a.example/?x=1&y=2", -3.25, D(1999, 12, 31), None),
        (None, "C:\\docs\\a.txt", None, D(2000, 2, 29), True),
        ("a>b", "ftp.example.org", 1, None, False),
    ])
    set_value(path, 2, "OK", b" ")


def html_memo(folder):
    """A dBase III memo file: markup, padding, a line break, an address, no memo; one deleted record."""
    build(folder, "NAME C(6); NOTE M", "db3", "cp1252", [
        ("a", "first <memo> & more"),
        ("b", "  padded  "),
        ("c", "gone"),
        ("d", None),
        ("e", "line1\r\nx@y.example"),
    ], deleted=(2,))


def rtf_widths(folder):
    """Character fields of lengths 1, 50 and 200 in Visual FoxPro, the last one
    nullable so that the table has the _NullFlags field; RTF's special
    characters, accented letters, a tab and a line break in the values."""
    build(folder, "FLAG C(1); NOTE C(50); REMARK C(200) null", "vfp", "cp1252", [
        ("x", "a\\b {c} \u00e9t\u00e9", "caf\u00e9\tbar"),
        ("{", "two\r\nlines", None),
    ])


def no_records(folder):
    build(folder, "NAME C(12); DAY D", "db3", "cp1252", [])


def markup(folder):
    """Markup characters, a double quote, a backslash, control bytes, a blank
    date, memos with CR LF and a tab, titles that are no XML names (2ND, A B),
    and a deleted last record."""
    path = build(folder, "NAME C(12); SECOND C(6); AB N(5,1); DAY D; NOTE M", "db3", "cp1252", [
        ("AT&T", "x<y>", 1.5, D(2024, 3, 5), "line1\r\nline2"),
        ('5" pipe', "a\\b", -2, None, 'say "hi"\tend  '),
        ("M\u00fcller", "ctl", 0, D(1999, 12, 31), None),
        ("gone", "del", 9, D(2000, 2, 29), "bye"),
    ], deleted=(3,))
    set_value(path, 2, "SECOND", b"c\x01t\x1f  ")
    rename(path, "SECOND", b"2ND")
    rename(path, "AB", b"A B")


def vfp_times(folder):
    """Visual FoxPro date-times at 13:45:30, at 00:45 and none; a double, a
    currency, and a numeric value that did not fit (stars)."""
    path = build(folder, "STAMP T; QTY N(5,1); RATE B; PRICE Y", "vfp", "cp1252", [
        (DT(2024, 3, 5, 13, 45, 30), 1.5, 2.5, DEC("12.3456")),
        (DT(2000, 2, 29, 0, 45, 0), None, -0.125, 0),
        (None, 1, 0, 0),
    ])
    set_value(path, 2, "QTY", b"*****")


def sql_values(folder):
    """Apostrophes, a backslash, a reserved field name (DESC), blank values of
    every kind, an overflowed number, '?' and blank logicals, a deleted record
    and a dBase III memo with a line break."""
    path = build(folder, "NAME C(12); QTY N(6,2); CNT N(5,0); DAY D; OK L; NOTE M", "db3", "cp1252", [
        ("O'Brien", 1.5, 42, D(2024, 3, 5), True, "it's a\r\nmemo"),
        ("C:\\dir\\", -2, None, None, False, None),
        (None, None, None, None, None, None),
        ("deleted", 9, 9, D(2024, 1, 2), True, "gone"),
        ("last", 0, 7, D(1999, 12, 31), None, "x"),
    ], deleted=(3,))
    rename(path, "CNT", b"DESC")
    set_value(path, 2, "OK", b" ")
    set_value(path, 4, "QTY", b"******")


def blocks(folder):
    """Values around the sixteen-byte blocks values are copied in: a quote, a
    delimiter, a line break, a backslash or a zero byte in the second and third
    block, just inside a value's end and at the start of the next field, long
    runs of leading and trailing blanks, and blank values of every kind. The
    markup outputs trim such values where they are stored."""
    path = build(folder, "A C(3); B C(17); C C(33); N N(19,2); D D; L L; E C(1)", "db3", "cp1252", [
        ("abc", '"quoted" start', "x" * 30 + ",yz", 12.5, D(2024, 3, 5), True, ","),
        ("a", ",comma first", "y" * 31 + '"', -3, None, False, '"'),
        ("ab,", "tail;semi|pipe", "z" * 16 + "'apos\\back", None, D(1999, 12, 31), None, "x"),
        (",", "sixteen chars ok", "w" * 33, 1234567890.12, D(2000, 2, 29), True, None),
        ("", "", "", 0, None, None, "'"),
    ])
    set_value(path, 2, "L", b" ")
    set_value(path, 1, "B", b"line\r\nbreak\tx    ")
    set_value(path, 1, "N", b" " * 17 + b"-3")
    set_value(path, 3, "C", b"v" * 20 + b"\0" + b"tail" + b" " * 8)
    set_value(path, 4, "C", b"   lead and trail" + b" " * 16)


CASES = {
    "csv_hdr": basic,
    "tsv_hdr": basic,
    "tsv_seppipe": basic,
    "txt_singlequota": basic,
    "csv_doublequota": basic,
    "csv_allquotas_rowid": basic,
    "csv_hdrcapcase_rowid": basic,
    "csv_hdrlowercase_outtypes": basic,
    "csv_hdrlowercase_outtypes2_rowid": basic,
    "csv_lf": basic,
    "csv_sep_semicolon": basic,
    "txt_sep_dot_singlequota": basic,
    "csv_onlystructure": basic,
    "prg_basic": basic,
    "prg_exclude_last": basic,
    "txt_sep_multichar": texts,
    "txt_sepspace": texts,
    "csv_skip_deleted_default": deleted,
    "csv_exportall": deleted,
    "csv_onlydeleted": deleted,
    "csv_skipempty_rowid": deleted,
    "csv_reverse": deleted,
    "csv_last5": twenty,
    "csv_last5_reverse": twenty,
    "csv_notrim": untrimmed,
    "csv_notrim_blank_date": blank_date,
    "csv_memo": memos,
    "csv_memo_savelb": memos,
    "tsv_memo": memos,
    "csv_memo_allquotas": memos,
    "tsv_quoting_savelb": quoting,
    "csv_quoting_sep_semicolon": quoting,
    "txt_quoting_singlequota": quoting,
    "csv_utf8": lambda folder: umlauts(folder, "\u20ac"),
    "txt_tooem": lambda folder: umlauts(folder, "\u00c4\u00e9"),
    "csv_oem_memo": oem_memo,
    "csv_add_two_tables": pair,
    "csv_add_second_run": pair,
    "csv_add_utf8": lambda folder: umlauts(folder, "\u20ac"),
    "csv_vfp": vfp_values,
    "txt_vfp_skipseconds_dec0": vfp_values,
    "txt_vfp_singlequota": vfp_values,
    "sdf_types": vfp_fixed,
    "sdf_skipseconds_exportall": vfp_fixed,
    "html_table": html_values,
    "html_asform": html_values,
    "html_border3": html_values,
    "html_color_hash": html_values,
    "html_color_plain": html_values,
    "html_color_text_only": html_values,
    "html_number_memo": html_memo,
    "html_asform_memo": html_memo,
    "rtf_basic": basic,
    "rtf_widths": rtf_widths,
    "rtf_no_records": no_records,
    "rtf_tooem": lambda folder: umlauts(folder, "\u00c4\u00e9"),
    "xml_markup": markup,
    "xml_tagdeleted_tags": markup,
    "xml_badtags_rowid": markup,
    "xml_vfp": vfp_times,
    "xmlss_markup": markup,
    "xmlss_utf8_rowid_exportall": markup,
    "xmlss_vfp": vfp_times,
    "json_markup": markup,
    "json_utf8_exportall": markup,
    "json_onlystructure": markup,
    "sql_postgresql": sql_values,
    "sql_postgresql_createonly": sql_values,
    "sql_postgresql_rowid_names": sql_values,
    "sql_mysql_insertwithcolumns": sql_values,
    "sql_mysql_noheader": sql_values,
    "sql_mssql_go": sql_values,
    "sql_oracle": sql_values,
    "sql_ansi_rowid_names": sql_values,
    "sql_mssql_vfp": vfp_values,
    "sql_oracle_vfp": vfp_values,
    "sql_mysql_utf8": lambda folder: umlauts(folder, "\u20ac"),
    "sql_postgresql_utf8": lambda folder: umlauts(folder, "\u20ac"),
    "csv_blocks": blocks,
    "csv_blocks_allquotas": blocks,
    "tsv_blocks": blocks,
    "txt_blocks_singlequota": blocks,
    "sql_mysql_blocks": blocks,
    "sql_postgresql_blocks": blocks,
    "json_blocks": blocks,
    "html_blocks": blocks,
    "rtf_blocks": blocks,
}


def main():
    for folder, make in CASES.items():
        make(folder)


if __name__ == "__main__":
    main()
