#include "platform/code_pages.h"

#include <iconv.h>

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

}  // namespace tabrix
