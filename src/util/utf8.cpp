#include "util/utf8.h"

#include <cstddef>
#include <cstdint>

namespace tabrix {

char32_t nextCodePoint(const char*& p, const char* end) {
  const auto lead = static_cast<uint8_t>(*p++);
  if (lead < 0x80) return lead;
  size_t more;
  char32_t c;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
  } else {
    return kNoCodePoint;
  }
  if (static_cast<size_t>(end - p) < more) return kNoCodePoint;
  for (size_t i = 0; i < more; ++i) {
    const auto b = static_cast<uint8_t>(p[i]);
    if ((b & 0xC0) != 0x80) return kNoCodePoint;
    c = (c << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are no characters.
  const char32_t least = more == 2 ? 0x800 : more == 3 ? 0x10000 : 0x80;
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNoCodePoint;
  p += more;
  return c;
}

bool isValidUtf8(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end)
    if (nextCodePoint(p, end) == kNoCodePoint) return false;
  return true;
}

}  // namespace tabrix
