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

std::string_view binaryValue(DbfTable& table, const PlannedColumn& column, const uint8_t* record) {
  const Field& f = *column.source;
  return f.kind.inMemoFile ? readFieldMemo(table, column.field, record).text : storedVarbinary(f, record);
}

}  // namespace tabrix
