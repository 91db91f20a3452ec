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

// In-place translation of len bytes through a table.
inline void translateBytes(const std::array<uint8_t, 256>& table, char* text, size_t len) {
  for (size_t i = 0; i < len; ++i) text[i] = static_cast<char>(table[static_cast<uint8_t>(text[i])]);
}

}  // namespace tabrix
