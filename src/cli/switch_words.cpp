#include "cli/switch_words.h"

#include <strings.h>

namespace tabrix {

const std::string* SwitchWords::find(std::string_view text, Case c) const {
  for (const std::string& word : words_) {
    if (word.size() < text.size()) continue;
    const bool match = c == Case::Match ? word.compare(0, text.size(), text) == 0
                                        : ::strncasecmp(word.data(), text.data(), text.size()) == 0;
    if (match) return &word;
  }
  return nullptr;
}

std::optional<std::string> SwitchWords::value(std::string_view text, Case c) const {
  const std::string* word = find(text, c);
  if (!word) return std::nullopt;
  return word->substr(text.size());
}

std::optional<long long> SwitchWords::number(std::string_view text, Case c) const {
  const auto v = value(text, c);
  if (!v) return std::nullopt;
  return leadingNumber(*v);
}

long long leadingNumber(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v > (1LL << 53)) break;  // values this large mean nothing here
    v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

}  // namespace tabrix
