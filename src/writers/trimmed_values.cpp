#include "writers/trimmed_values.h"

#include <algorithm>
#include <cstring>

#include "util/text_scan.h"

namespace tabrix {

TrimmedValues::TrimmedValues(const JobContext& job) : job_(job) {
  buffer_.resize(std::max<size_t>(64, job.plan.textCapacity));
  stored_.resize(static_cast<size_t>(job.table.fieldCount()));
  for (const PlannedColumn& column : job.plan.columns)
    stored_[static_cast<size_t>(column.field)] = isStoredText(column, job);
}

std::string_view TrimmedValues::trimmed(const PlannedColumn& column, const uint8_t* record) {
  if (isBlankDate(*column.source, record)) return {};
  if (stored_[static_cast<size_t>(column.field)]) {
    const Field& f = *column.source;
    const char* text = reinterpret_cast<const char*>(record + f.offset);
    const size_t length = column.valueClass == ValueClass::Logical ? std::min<size_t>(f.length, 1) : f.length;
    // Trimmed first, then cut at a zero byte and trimmed again: the same
    // text as cutting first, with the zero byte looked for in fewer bytes.
    size_t n = withoutTrailingSpaces(text, length);
    if (const void* zero = std::memchr(text, '\0', n))
      n = withoutTrailingSpaces(text, static_cast<size_t>(static_cast<const char*>(zero) - text));
    return trimLeftBlanks({text, n});
  }
  return trimBlanks({buffer_.data(), column.decode(job_.table, column.field, record, job_.decode, buffer_.data())});
}

bool isStoredText(const PlannedColumn& column, const JobContext& job) {
  const FieldKind& kind = column.kind();
  return (kind.valueClass == ValueClass::Text && kind.storage == Storage::Text && !job.table.sourceIsOem()) ||
         (column.valueClass == ValueClass::Number && kind.storage == Storage::NumberText && !job.decode.dropDecimals) ||
         (column.valueClass == ValueClass::Logical && kind.storage == Storage::Logical);
}

bool isBlankDate(const Field& field, const uint8_t* record) {
  return field.kind.valueClass == ValueClass::Date &&
         (field.length == 0 || record[field.offset] == ' ' || record[field.offset] == '\0');
}

}  // namespace tabrix
