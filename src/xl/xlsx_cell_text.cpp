#include "xl/xlsx_cell_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "util/utf8.h"

namespace tabrix::xl {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Whether the character at i goes out as an escape (which begins with '_').
bool escapedAt(std::string_view text, size_t i) {
  if (i >= text.size()) return false;
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x20) return c != '\t' && c != '\n' && c != '\r';
  // U+FFFE and U+FFFF
  return c == 0xEF && text.size() - i >= 3 && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
         (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE;
}

// Whether text at i would read back as an escape "_xHHHH_": followed by '_'
// of its own or by the '_' an escape of the next character begins with.
bool startsEscape(std::string_view text, size_t i) {
  if (text.size() - i < 7 || text[i + 1] != 'x') return false;
  if (!isHex(text[i + 2]) || !isHex(text[i + 3]) || !isHex(text[i + 4]) || !isHex(text[i + 5])) return false;
  return text[i + 6] == '_' || escapedAt(text, i + 6);
}

void appendEscape(std::string& out, unsigned code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(code >> shift) & 0xF];
  out += '_';
}

// Bytes that go out unchanged in character data.
bool plain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '<' && c != '>' && c != '&' && c != '_'; }

}  // namespace

void appendColumnName(std::string& out, uint32_t column) {
  char letters[8];
  int n = 0;
  uint64_t value = uint64_t{column} + 1;
  while (value > 0) {
    letters[n++] = static_cast<char>('A' + (value - 1) % 26);
    value = (value - 1) / 26;
  }
  while (n > 0) out += letters[--n];
}

bool readColumnName(std::string_view& text, uint32_t& column) {
  uint32_t value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
    value = value * 26 + static_cast<uint32_t>(text[i] - 'A' + 1);
    if (value > 16384) return false;
    ++i;
  }
  if (i == 0) return false;
  column = value - 1;
  text.remove_prefix(i);
  return true;
}

size_t appendNumber(std::string& out, double value) {
  char digits[32];
  // Whole numbers go out in plain digits ("1000000", not the shorter
  // "1e+06"), as they are shown.
  const bool whole = std::fabs(value) < 1e15 && std::trunc(value) == value;
  const auto [end, ec] = whole ? std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed)
                               : std::to_chars(digits, digits + sizeof digits, value);
  const size_t length = ec == std::errc() ? static_cast<size_t>(end - digits) : 0;
  out.append(digits, length);
  return length;
}

size_t appendCellText(std::string& out, std::string_view text, size_t maxUnits) {
  size_t units = 0, chars = 0, i = 0;
  while (i < text.size() && units < maxUnits) {
    // Runs of plain ASCII go out whole.
    size_t run = i;
    const size_t runEnd = i + std::min(text.size() - i, maxUnits - units);
    while (run < runEnd && plain(static_cast<unsigned char>(text[run]))) ++run;
    if (run > i) {
      out.append(text.data() + i, run - i);
      units += run - i;
      chars += run - i;
      i = run;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '\t': out += '\t'; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        case '_':
          if (startsEscape(text, i)) appendEscape(out, '_');
          else out += '_';
          break;
        default: appendEscape(out, c); break;
      }
      ++i;
      ++units;
      ++chars;
      continue;
    }
    const char* p = text.data() + i;
    const char* const start = p;
    const char32_t code = nextCodePoint(p, text.data() + text.size());
    const size_t width = code != kNoCodePoint && code > 0xFFFF ? 2 : 1;
    if (units + width > maxUnits) break;
    if (code == kNoCodePoint) out += kReplacement;
    else if (code == 0xFFFE || code == 0xFFFF) appendEscape(out, static_cast<unsigned>(code));
    else out.append(start, static_cast<size_t>(p - start));
    i = static_cast<size_t>(p - text.data());
    units += width;
    ++chars;
  }
  return chars;
}

void appendAttributeText(std::string& out, std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      ++p;
      if (c == '<') out += "&lt;";
      else if (c == '>') out += "&gt;";
      else if (c == '&') out += "&amp;";
      else if (c == '"') out += "&quot;";
      else if (c < 0x20) out += kReplacement;
      else out += static_cast<char>(c);
      continue;
    }
    const char* const start = p;
    const char32_t code = nextCodePoint(p, end);
    if (code == kNoCodePoint || code == 0xFFFE || code == 0xFFFF) out += kReplacement;
    else out.append(start, static_cast<size_t>(p - start));
  }
}

}  // namespace tabrix::xl
