#pragma once
// Translation between the ANSI and OEM code pages as 256-byte tables, built once
// with iconv, so translating text costs one table look-up per byte.
#include <array>
#include <cstdint>
#include <string>

namespace tabrix {

struct CodePageTables {
  int ansi = 1252;
  int oem = 437;
  std::array<uint8_t, 256> oemToAnsi{};
  std::array<uint8_t, 256> ansiToOem{};
};

// The iconv name of a Windows code page ("CP1252", "CP932", ...).
std::string iconvNameOf(int codePage);

// Tables for the pair; bytes without a single-byte counterpart become '?'.
// Identity tables when the pair is not single-byte on both sides or iconv
// does not know a code page (error then names it).
CodePageTables buildCodePageTables(int ansi, int oem, std::string* error = nullptr);

// The upper-case letter of every byte of a single-byte code page (ASCII only
// for double-byte ones and pages iconv does not know).
std::array<uint8_t, 256> upperCaseTable(int codePage);

// Which bytes of a double-byte code page (932, 936, 949, 950) begin a
// two-byte character and which may end one; none for single-byte pages. A
// lead byte followed by a byte that cannot end a character stands alone.
struct CharacterBytes {
  bool doubleByte = false;
  std::array<bool, 256> lead{};
  std::array<bool, 256> trail{};
};
CharacterBytes characterBytes(int codePage);

// In-place translation of len bytes through a table.
inline void translateBytes(const std::array<uint8_t, 256>& table, char* text, size_t len) {
  for (size_t i = 0; i < len; ++i) text[i] = static_cast<char>(table[static_cast<uint8_t>(text[i])]);
}

// ANSI text to UTF-8. Single-byte code pages go through a per-byte table;
// double-byte ones through iconv, a whole value at a time, so a character's
// bytes stay together. Bytes that do not convert become '?'; a value ending
// inside a double-byte character ends in U+FFFD. The output is always UTF-8.
class Utf8Converter {
 public:
  explicit Utf8Converter(int codePage);
  ~Utf8Converter();
  Utf8Converter(const Utf8Converter&) = delete;
  Utf8Converter& operator=(const Utf8Converter&) = delete;

  // Room the output of len input bytes needs at most.
  static size_t capacityFor(size_t len) { return 3 * len; }
  // Converts len bytes into out, which holds capacityFor(len) bytes; returns the length written.
  size_t convert(const char* in, size_t len, char* out);

 private:
  // Per byte: the UTF-8 bytes and their count.
  std::array<std::array<char, 4>, 256> sequences_{};
  void* iconv_ = nullptr;  // for double-byte code pages
};

}  // namespace tabrix
