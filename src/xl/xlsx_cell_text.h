#pragma once
// The text of worksheet cells as SpreadsheetML writes it: cell references,
// numbers and escaped strings, appended to a caller's buffer (no allocation
// beyond the buffer's growth).
#include <cstdint>
#include <string>
#include <string_view>

namespace tabrix::xl {

// The column's letters: 0 -> "A", 27 -> "AB".
void appendColumnName(std::string& out, uint32_t column);

// The column of the letters at the start of text, moving past them; false
// when there are none or they name no column below 16384.
bool readColumnName(std::string_view& text, uint32_t& column);

// The shortest text that reads back as value. Returns its length.
size_t appendNumber(std::string& out, double value);

// text as XML character data: markup characters escaped; characters XML 1.0
// cannot hold (control bytes but tab, LF and CR; U+FFFE, U+FFFF) in the
// spreadsheet escape _xHHHH_, and a literal "_xHHHH_" guarded by _x005F_ so it
// reads back as written; invalid UTF-8 as U+FFFD; LF and CR as character
// references so they survive reading. The text is cut after maxUnits UTF-16
// units (what spreadsheets count). Returns the characters kept.
size_t appendCellText(std::string& out, std::string_view text, size_t maxUnits);

// text as an XML attribute value (sheet names): escaped, invalid UTF-8 and
// characters XML cannot hold as U+FFFD.
void appendAttributeText(std::string& out, std::string_view text);

}  // namespace tabrix::xl
