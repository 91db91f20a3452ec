#pragma once
// What the XML, SpreadsheetML and JSON writers share: the value text of a
// field as these outputs show it, and reading UTF-8 back into code points.
#include <cstdint>
#include <string_view>
#include <vector>

#include "convert/record_writer.h"

namespace tabrix {

// Decodes field values into one buffer sized once for the widest exported
// field, so a record walk allocates nothing.
class MarkupValues {
 public:
  explicit MarkupValues(const JobContext& job);

  // The decodeFieldText text trimmed of blanks on both sides. A blank date
  // (first byte a blank or zero) gives the empty text, not the separators the
  // local form would put between blanks. Valid until the next call.
  std::string_view trimmed(int field, const uint8_t* record);

 private:
  const JobContext& job_;
  std::vector<char> buffer_;
};

// A D field that holds no date: its first byte is a blank or a zero byte.
bool isBlankDate(const Field& field, const uint8_t* record);

inline constexpr char32_t kNoCodePoint = 0xFFFFFFFF;

// The code point of the UTF-8 sequence at p, moving p past it; kNoCodePoint
// (and p moved one byte) for a byte that starts no valid sequence.
char32_t nextCodePoint(const char*& p, const char* end);

bool isValidUtf8(std::string_view text);

}  // namespace tabrix
