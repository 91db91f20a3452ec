#include "writers/typed_values.h"

#include "dbf/date_time.h"

namespace tabrix {

bool holdsDate(const JobContext& job, const PlannedColumn& column, const uint8_t* record) {
  const Field& f = *column.source;
  const uint8_t* bytes = record + f.offset;
  switch (f.kind.storage) {
    case Storage::Date: return dateFromText(bytes, f.length).has_value();
    case Storage::DateTimeText: return f.length >= 14 && dateTimeFromText(bytes).has_value();
    default: return decodeDateTime(job.table, column.field, record).has_value();
  }
}

std::optional<bool> logicalValue(const Field& field, const uint8_t* record) {
  switch (field.length > 0 ? record[field.offset] : ' ') {
    case 'T': case 't': case 'Y': case 'y': return true;
    case 'F': case 'f': case 'N': case 'n': return false;
    default: return std::nullopt;
  }
}

void appendHex(TextBuffer& out, std::string_view bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  char* p = out.extend(2 * bytes.size());
  for (const char c : bytes) {
    *p++ = kDigits[static_cast<uint8_t>(c) >> 4];
    *p++ = kDigits[static_cast<uint8_t>(c) & 15];
  }
  out.commit(2 * bytes.size());
}

void appendBase64(TextBuffer& out, std::string_view bytes) {
  constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  char* p = out.extend(4 * (bytes.size() / 3 + 1));
  char* const start = p;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = uint32_t{b[i]} << 16 | uint32_t{b[i + 1]} << 8 | b[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) *p++ = kDigits[(v >> shift) & 63];
  }
  if (const size_t rest = bytes.size() - i; rest > 0) {
    const uint32_t v = uint32_t{b[i]} << 16 | (rest == 2 ? uint32_t{b[i + 1]} << 8 : 0);
    *p++ = kDigits[(v >> 18) & 63];
    *p++ = kDigits[(v >> 12) & 63];
    *p++ = rest == 2 ? kDigits[(v >> 6) & 63] : '=';
    *p++ = '=';
  }
  out.commit(static_cast<size_t>(p - start));
}

std::string_view binaryValue(DbfTable& table, const PlannedColumn& column, const uint8_t* record) {
  const Field& f = *column.source;
  return f.kind.inMemoFile ? readFieldMemo(table, column.field, record).text : storedVarbinary(f, record);
}

}  // namespace tabrix
