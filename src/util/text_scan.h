#pragma once
// Small scans over value texts that every output needs the same way: blanks
// around a value, runs of digits, and the grammar of a decimal number.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tabrix {

constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The text without the blanks (spaces) on its left, its right, or both. An
// all-blank text gives an empty view that still points into text.
constexpr std::string_view trimLeftBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return text.substr(first == std::string_view::npos ? text.size() : first);
}
constexpr std::string_view trimRightBlanks(std::string_view text) {
  const size_t last = text.find_last_not_of(' ');
  return text.substr(0, last == std::string_view::npos ? 0 : last + 1);
}
constexpr std::string_view trimBlanks(std::string_view text) { return trimRightBlanks(trimLeftBlanks(text)); }

// The value of text made of decimal digits only; empty for any other byte,
// an empty text or a value beyond T.
template <typename T = unsigned>
std::optional<T> digitsValue(std::string_view text) {
  T value = 0;
  if (text.empty() || !isAsciiDigit(text[0])) return std::nullopt;  // from_chars would take a sign
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}
inline std::optional<unsigned> digitsValue(const uint8_t* bytes, size_t count) {
  return digitsValue(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

enum class SignRule { MinusOnly, PlusOrMinus };

// A decimal number as spreadsheets and SQL read it: a sign, digits with at
// most one point (at least one digit in all), an optional exponent. No blanks.
constexpr bool isDecimalNumber(std::string_view t, SignRule signs) {
  size_t i = 0, digits = 0;
  if (i < t.size() && (t[i] == '-' || (t[i] == '+' && signs == SignRule::PlusOrMinus))) ++i;
  for (; i < t.size() && isAsciiDigit(t[i]); ++i) ++digits;
  if (i < t.size() && t[i] == '.')
    for (++i; i < t.size() && isAsciiDigit(t[i]); ++i) ++digits;
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    const size_t start = i;
    while (i < t.size() && isAsciiDigit(t[i])) ++i;
    if (i == start) return false;
  }
  return i == t.size();
}

}  // namespace tabrix
