#include "writers/trimmed_values.h"

#include <algorithm>

#include "util/text_scan.h"

namespace tabrix {

TrimmedValues::TrimmedValues(const JobContext& job) : job_(job) {
  buffer_.resize(std::max<size_t>(64, job.plan.textCapacity));
}

std::string_view TrimmedValues::trimmed(const PlannedColumn& column, const uint8_t* record) {
  if (isBlankDate(*column.source, record)) return {};
  return trimBlanks({buffer_.data(), column.decode(job_.table, column.field, record, job_.decode, buffer_.data())});
}

bool isBlankDate(const Field& field, const uint8_t* record) {
  return field.kind.valueClass == ValueClass::Date &&
         (field.length == 0 || record[field.offset] == ' ' || record[field.offset] == '\0');
}

}  // namespace tabrix
