#pragma once
// Small scans over value texts that every output needs the same way: blanks
// around a value, runs of digits, the grammar of a decimal number, and text
// that needs no escape.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tabrix {

constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The scans below read bytes in little-endian order.
static_assert(std::endian::native == std::endian::little);

// Length of text[0, n) without its trailing blanks, eight bytes at a time: the
// highest byte of a word that differs from a blank ends the text.
inline size_t withoutTrailingSpaces(const char* text, size_t n) {
  constexpr uint64_t kEightSpaces = 0x2020202020202020ULL;
  while (n >= 8) {
    uint64_t word;
    std::memcpy(&word, text + n - 8, 8);
    if (const uint64_t other = word ^ kEightSpaces) return n - 8 + (63 - std::countl_zero(other)) / 8 + 1;
    n -= 8;
  }
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

// Number of blanks text[0, n) begins with, eight bytes at a time.
inline size_t leadingSpaces(const char* text, size_t n) {
  constexpr uint64_t kEightSpaces = 0x2020202020202020ULL;
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if (const uint64_t other = word ^ kEightSpaces) return i + std::countr_zero(other) / 8;
    i += 8;
  }
  while (i < n && text[i] == ' ') ++i;
  return i;
}

// The text without the blanks (spaces) on its left, its right, or both. An
// all-blank text gives an empty view that still points into text.
inline std::string_view trimLeftBlanks(std::string_view text) {
  return text.substr(leadingSpaces(text.data(), text.size()));
}
inline std::string_view trimRightBlanks(std::string_view text) {
  return text.substr(0, withoutTrailingSpaces(text.data(), text.size()));
}
inline std::string_view trimBlanks(std::string_view text) { return trimRightBlanks(trimLeftBlanks(text)); }

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

// Whether text is printable ASCII (0x20 to 0x7E) without any of Specials: such
// text reads the same in every code page and in UTF-8, and needs no escape.
template <char... Specials>
bool isPlainText(std::string_view text) {
  const char* t = text.data();
  const size_t n = text.size();
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    // Bytes from 0x80 on compare as negative, so "below 0x20" takes them too.
    __m128i other = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
    ((other = _mm_or_si128(other, _mm_cmpeq_epi8(v, _mm_set1_epi8(Specials)))), ...);
    if (_mm_movemask_epi8(other) != 0) return false;
  }
#endif
  for (; i < n; ++i) {
    const auto b = static_cast<uint8_t>(t[i]);
    if (b < 0x20 || b >= 0x7F || ((t[i] == Specials) || ...)) return false;
  }
  return true;
}

}  // namespace tabrix
