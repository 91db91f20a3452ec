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

}  // namespace tabrix
