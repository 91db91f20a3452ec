#pragma once
// The value text of a field as the markup outputs (XML, SpreadsheetML, JSON,
// HTML, RTF) show it: without the blanks around it, a blank date empty.
#include <cstdint>
#include <string_view>
#include <vector>

#include "convert/record_writer.h"

namespace tabrix {

// Decodes field values into one buffer sized once for the widest planned
// column, so a record walk allocates nothing.
class TrimmedValues {
 public:
  explicit TrimmedValues(const JobContext& job);

  // The column's text trimmed of blanks on both sides; a blank date gives the
  // empty text. Valid until the next call or the next record.
  std::string_view trimmed(const PlannedColumn& column, const uint8_t* record);

 private:
  const JobContext& job_;
  std::vector<char> buffer_;
  // By field: the text is the stored bytes up to a zero byte (character
  // fields in the output's own code page, numbers as stored, logicals), so
  // it is trimmed where it is stored instead of being copied.
  std::vector<uint8_t> stored_;
};

// Whether a column's text is its stored bytes up to a zero byte, so it can be
// trimmed where it is stored: a character field of a table in a Windows page,
// a number kept whole, a logical's letter (its first byte).
bool isStoredText(const PlannedColumn& column, const JobContext& job);

// A date field that holds no date (its first byte a blank or a zero byte):
// its local form would show the separators between blanks.
bool isBlankDate(const Field& field, const uint8_t* record);

}  // namespace tabrix
