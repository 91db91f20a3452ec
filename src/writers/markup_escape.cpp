#include "writers/markup_escape.h"

namespace tabrix {

void appendEscapedMarkup(TextBuffer& out, const char* text, size_t n, MarkupKind kind) {
  // An entity is at most 6 bytes long.
  char* p = out.extend(6 * n);
  char* const start = p;
  auto put = [&p](const char* entity, size_t len) {
    for (size_t k = 0; k < len; ++k) *p++ = entity[k];
  };
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    switch (c) {
      case '&': put("&amp;", 5); break;
      case '<': put("&lt;", 4); break;
      case '>': put("&gt;", 4); break;
      case '"': put("&quot;", 6); break;
      default:
        if (kind == MarkupKind::Xml && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
          *p++ = '?';
        else
          *p++ = c;
    }
  }
  out.commit(static_cast<size_t>(p - start));
}

}  // namespace tabrix
