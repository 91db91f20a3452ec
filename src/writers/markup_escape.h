#pragma once
// Text placed inside HTML and XML markup.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/text_buffer.h"

namespace tabrix {

enum class MarkupKind { Html, Xml };

// Appends text[0, n) to out with &, <, > and " written as entities. For XML,
// bytes that XML 1.0 does not allow (control bytes other than tab, CR and LF)
// become '?', so damaged or binary fields still give a well-formed document.
void appendEscapedMarkup(TextBuffer& out, const char* text, size_t n, MarkupKind kind);

// Whether text is printable ASCII (0x20 to 0x7E) without any of Specials: such
// text reads the same in every code page and in UTF-8, and needs no escape.
template <char... Specials>
bool isPlainText(std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b >= 0x7F || ((c == Specials) || ...)) return false;
  }
  return true;
}

}  // namespace tabrix
