"""Which fields of each record of a Visual FoxPro table hold NULL, read from
the table's bytes: the bit of a nullable field (descriptor flag 0x02) in the
_NullFlags field is set. Bits go to nullable fields in field order; a varchar
or varbinary field (V, Q) first takes a bit of its own for its length."""
import struct


def null_fields(path):
    """Per record, the set of field indexes that hold NULL; None when the table has no _NullFlags."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 32 or data[0] not in (0x30, 0x31, 0x32):
        return None
    count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
    bits, flags, n, offset = [], None, 0, 32
    while offset + 32 <= min(header_length, len(data)) and data[offset] != 0x0D:
        d = data[offset:offset + 32]
        kind, start, length, nullable = chr(d[11]), struct.unpack_from("<I", d, 12)[0], d[16], d[18] & 0x02
        if d[:11].split(b"\0")[0].lower() == b"_nullflags":
            flags = (start, length)
        n += kind in "VQ"
        bits.append(n if nullable else None)
        n += bool(nullable)
        offset += 32
    if flags is None:
        return None
    records = []
    for r in range(count):
        base = header_length + r * record_length
        if base + record_length > len(data):
            break
        stored = int.from_bytes(data[base + flags[0]:base + flags[0] + flags[1]], "little")
        records.append({i for i, bit in enumerate(bits) if bit is not None and bit < 8 * flags[1] and stored >> bit & 1})
    return records


def numbered_by_position(path):
    """Whether the null bits of the table are also the fields' positions (the
    numbering python3-dbf reads): no null flags, or every field nullable and none V or Q."""
    with open(path, "rb") as f:
        data = f.read(65536)
    if len(data) < 32 or data[0] not in (0x30, 0x31, 0x32):
        return True
    fields, offset = [], 32
    while offset + 32 <= len(data) and data[offset] != 0x0D:
        d = data[offset:offset + 32]
        fields.append((d[:11].split(b"\0")[0].lower(), chr(d[11]), d[18]))
        offset += 32
    if not any(name == b"_nullflags" for name, _, _ in fields):
        return True
    return all(flags & 0x02 and kind not in "VQ" for name, kind, flags in fields if name != b"_nullflags")
