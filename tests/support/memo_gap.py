"""Which tables point at memos their memo file does not hold (a test helper)."""
import os
import struct


def memo_file_lacks_memos(table_path, deleted_too=False):
    """Whether some memo a record points at is not in the table's memo file: the file is
    missing, shorter than its 512-byte header, or a block number is damaged or lies at or past its
    end. Read from the bytes here, apart from the converter, to know which conversions must warn
    that memo values could not be read. Deleted records count only with deleted_too (the command
    line skips them unless told otherwise)."""
    with open(table_path, "rb") as f:
        data = f.read()
    if len(data) < 32:
        return False
    version = data[0]
    header_length, record_length = struct.unpack_from("<HH", data, 8)
    count = struct.unpack_from("<I", data, 4)[0]
    level7 = version & 7 == 4
    fields, offset, at = [], 1, 68 if level7 else 32
    size = 48 if level7 else 32
    while at < len(data) and data[at] != 0x0D and at + size <= len(data):
        d = data[at:at + size]
        kind, length = (chr(d[32]), d[33]) if level7 else (chr(d[11]), d[16] | (d[17] << 8 if chr(d[11]) == "C" else 0))
        if kind in "MGPW" or (kind == "B" and length != 8):
            fields.append((offset, length))
        offset += length
        at += size
        if not level7 and at >= header_length:
            break
    if not fields:
        return False
    foxpro = version in (0x30, 0x31, 0x32, 0xF5)
    base, ext = os.path.splitext(table_path)
    # FoxPro database containers keep their memos in a .dct file.
    memo_ext = (".dct" if ext.lower() == ".dbc" else ".fpt") if foxpro else ".dbt"
    wanted = os.path.basename(base).lower() + memo_ext
    folder = os.path.dirname(table_path) or "."
    memo = next((os.path.join(folder, n) for n in sorted(os.listdir(folder)) if n.lower() == wanted), None)
    memo_bytes = open(memo, "rb").read() if memo else b""
    if foxpro:
        block_size = struct.unpack_from(">H", memo_bytes, 6)[0] if len(memo_bytes) >= 8 else 0
    elif version == 0x8B or level7:
        block_size = (struct.unpack_from("<H", memo_bytes, 20)[0] if len(memo_bytes) >= 22 else 0) or 512
    else:
        block_size = 512
    whole = (len(data) - header_length) // record_length if record_length else 0
    for r in range(min(count, whole) if count else whole):
        record = data[header_length + r * record_length:header_length + (r + 1) * record_length]
        if record[:1] == b"*" and not deleted_too:
            continue
        for start, length in fields:
            raw = record[start:start + length]
            if length == 4:
                block = struct.unpack("<I", raw)[0]
                if not block:
                    continue
            else:
                if not raw.strip(b" \0").strip(b"0"):
                    continue
                digits = raw.strip(b" \0")
                block = int(digits) if digits.isdigit() else 0
            if len(memo_bytes) < 512 or block_size == 0 or block == 0 or block * block_size >= len(memo_bytes):
                return True
    return False
