#include "platform/code_pages.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace tabrix {

namespace {

bool isDoubleByte(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// Converts one byte from one single-byte code page to another; -1 when the
// character has no counterpart.
int convertByte(iconv_t cd, uint8_t byte) {
  char in = static_cast<char>(byte);
  char out[8];
  char* inPtr = &in;
  char* outPtr = out;
  size_t inLeft = 1, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return -1;
  if (sizeof out - outLeft != 1) return -1;
  return static_cast<uint8_t>(out[0]);
}

void fillTable(std::array<uint8_t, 256>& table, iconv_t cd) {
  for (int b = 0; b < 256; ++b) {
    int mapped = b < 0x80 ? b : convertByte(cd, static_cast<uint8_t>(b));
    table[b] = static_cast<uint8_t>(mapped < 0 ? '?' : mapped);
  }
}

void fillIdentity(std::array<uint8_t, 256>& table) {
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b);
}

}  // namespace

std::string iconvNameOf(int codePage) { return "CP" + std::to_string(codePage); }

CodePageTables buildCodePageTables(int ansi, int oem, std::string* error) {
  CodePageTables tables;
  tables.ansi = ansi;
  tables.oem = oem;
  fillIdentity(tables.oemToAnsi);
  fillIdentity(tables.ansiToOem);
  if (ansi == oem || isDoubleByte(ansi) || isDoubleByte(oem)) return tables;
  iconv_t toAnsi = iconv_open(iconvNameOf(ansi).c_str(), iconvNameOf(oem).c_str());
  iconv_t toOem = iconv_open(iconvNameOf(oem).c_str(), iconvNameOf(ansi).c_str());
  if (toAnsi == reinterpret_cast<iconv_t>(-1) || toOem == reinterpret_cast<iconv_t>(-1)) {
    if (error) *error = "code page " + std::to_string(ansi) + " or " + std::to_string(oem) + " is not known to iconv";
  } else {
    fillTable(tables.oemToAnsi, toAnsi);
    fillTable(tables.ansiToOem, toOem);
  }
  if (toAnsi != reinterpret_cast<iconv_t>(-1)) iconv_close(toAnsi);
  if (toOem != reinterpret_cast<iconv_t>(-1)) iconv_close(toOem);
  return tables;
}

namespace {

// Upper case of the letters single-byte code pages hold: Latin-1, Latin
// Extended-A, Greek and Cyrillic.
char32_t upperOf(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x137 && (c & 1)) return c - 1;
  if (c >= 0x139 && c <= 0x148 && !(c & 1)) return c - 1;
  if (c >= 0x14A && c <= 0x177 && (c & 1)) return c - 1;
  if (c == 0x17A || c == 0x17C || c == 0x17E) return c - 1;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3C9) return c - 32;
  if (c >= 0x3AC && c <= 0x3AF) return c == 0x3AC ? 0x386 : c - 37;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c == 0x491) return 0x490;
  return c;
}

}  // namespace

CharacterBytes characterBytes(int codePage) {
  CharacterBytes bytes;
  if (!isDoubleByte(codePage)) return bytes;
  bytes.doubleByte = true;
  const auto mark = [](std::array<bool, 256>& set, int first, int last) {
    for (int b = first; b <= last; ++b) set[b] = true;
  };
  if (codePage == 932) {
    mark(bytes.lead, 0x81, 0x9F);
    mark(bytes.lead, 0xE0, 0xFC);
    mark(bytes.trail, 0x40, 0x7E);
    mark(bytes.trail, 0x80, 0xFC);
  } else {
    mark(bytes.lead, 0x81, 0xFE);
    if (codePage == 949) {
      // UHC ends characters with letters and high bytes only.
      mark(bytes.trail, 0x41, 0x5A);
      mark(bytes.trail, 0x61, 0x7A);
      mark(bytes.trail, 0x81, 0xFE);
    } else {
      mark(bytes.trail, 0x40, 0x7E);
      mark(bytes.trail, codePage == 950 ? 0xA1 : 0x80, 0xFE);
    }
  }
  return bytes;
}

std::array<uint8_t, 256> upperCaseTable(int codePage) {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 32 : b);
  if (isDoubleByte(codePage)) return table;
  iconv_t toWide = iconv_open("UTF-32LE", iconvNameOf(codePage).c_str());
  iconv_t fromWide = iconv_open(iconvNameOf(codePage).c_str(), "UTF-32LE");
  if (toWide != reinterpret_cast<iconv_t>(-1) && fromWide != reinterpret_cast<iconv_t>(-1)) {
    for (int b = 0x80; b < 256; ++b) {
      char in = static_cast<char>(b);
      char32_t wide = 0;
      char* inPtr = &in;
      char* widePtr = reinterpret_cast<char*>(&wide);
      size_t inLeft = 1, wideLeft = sizeof wide;
      iconv(toWide, nullptr, nullptr, nullptr, nullptr);
      if (iconv(toWide, &inPtr, &inLeft, &widePtr, &wideLeft) == static_cast<size_t>(-1)) continue;
      char32_t upper = upperOf(wide);
      if (upper == wide) continue;
      char out[4];
      char* upperPtr = reinterpret_cast<char*>(&upper);
      char* outPtr = out;
      size_t upperLeft = sizeof upper, outLeft = sizeof out;
      iconv(fromWide, nullptr, nullptr, nullptr, nullptr);
      if (iconv(fromWide, &upperPtr, &upperLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && outLeft == 3)
        table[b] = static_cast<uint8_t>(out[0]);
    }
  }
  if (toWide != reinterpret_cast<iconv_t>(-1)) iconv_close(toWide);
  if (fromWide != reinterpret_cast<iconv_t>(-1)) iconv_close(fromWide);
  return table;
}

Utf8Converter::Utf8Converter(int codePage) {
  if (isDoubleByte(codePage)) {
    iconv_t cd = iconv_open("UTF-8", iconvNameOf(codePage).c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_ = cd;
  }
  iconv_t single = iconv_ ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", iconvNameOf(codePage).c_str());
  for (int b = 0; b < 256; ++b) {
    auto& seq = sequences_[static_cast<size_t>(b)];
    seq = {static_cast<char>(b), 0, 0, 1};
    if (b < 0x80 || single == reinterpret_cast<iconv_t>(-1)) {
      if (b >= 0x80) seq = {'?', 0, 0, 1};
      continue;
    }
    char in = static_cast<char>(b);
    char out[4];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = 3;
    iconv(single, nullptr, nullptr, nullptr, nullptr);
    if (iconv(single, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      seq = {'?', 0, 0, 1};
    } else {
      const size_t n = 3 - outLeft;
      std::memcpy(seq.data(), out, n);
      seq[3] = static_cast<char>(n);
    }
  }
  if (single != reinterpret_cast<iconv_t>(-1)) iconv_close(single);
}

Utf8Converter::~Utf8Converter() {
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

size_t Utf8Converter::convert(const char* in, size_t len, char* out) {
  char* p = out;
  if (!iconv_) {
    size_t i = 0;
    while (i < len) {
      // Text is mostly ASCII, which UTF-8 keeps as it is: eight such bytes
      // are copied at once, the others go through the table.
      uint64_t word;
      if (len - i >= 8 && (std::memcpy(&word, in + i, 8), (word & 0x8080808080808080ULL) == 0)) {
        std::memcpy(p, &word, 8);
        p += 8;
        i += 8;
        continue;
      }
      const auto& seq = sequences_[static_cast<uint8_t>(in[i++])];
      std::memcpy(p, seq.data(), 3);
      p += seq[3];
    }
    return static_cast<size_t>(p - out);
  }
  auto cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = len, outLeft = capacityFor(len);
  while (inLeft > 0) {
    if (iconv(cd, &inPtr, &inLeft, &p, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == EINVAL) {
      // The value ends inside a character (a field cut after a lead byte):
      // the broken character becomes U+FFFD.
      if (outLeft >= 3) {
        std::memcpy(p, "\xEF\xBF\xBD", 3);
        p += 3;
      }
      break;
    }
    if (errno != EILSEQ || outLeft == 0) break;
    // A byte that starts no character of the page: '?' for it, as single-byte
    // pages write for bytes they do not define.
    *p++ = '?';
    --outLeft;
    ++inPtr;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return static_cast<size_t>(p - out);
}

}  // namespace tabrix
