#include "platform/code_pages.h"

#include <gtest/gtest.h>

namespace tabrix {
namespace {

TEST(CodePageTables, WesternOemAndAnsiPairTranslatesBothWays) {
  const CodePageTables t = buildCodePageTables(1252, 437);
  EXPECT_EQ(t.oemToAnsi[0x81], 0xFC);  // u with diaeresis
  EXPECT_EQ(t.ansiToOem[0xFC], 0x81);
  EXPECT_EQ(t.oemToAnsi['A'], 'A');
  // A box-drawing character has no counterpart in 1252.
  EXPECT_EQ(t.oemToAnsi[0xC4], '?');
}

TEST(CodePageTables, CyrillicPair) {
  const CodePageTables t = buildCodePageTables(1251, 866);
  EXPECT_EQ(t.oemToAnsi[0x80], 0xC0);  // capital A
  EXPECT_EQ(t.ansiToOem[0xFF], 0xEF);  // small ya
  char text[] = "\x8F\xE0\xA8";
  translateBytes(t.oemToAnsi, text, 3);
  EXPECT_STREQ(text, "\xCF\xF0\xE8");
}

TEST(CodePageTables, UnknownOrDoubleBytePagesGiveIdentity) {
  std::string error;
  const CodePageTables unknown = buildCodePageTables(1252, 99999, &error);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(unknown.oemToAnsi[0x81], 0x81);
  const CodePageTables japanese = buildCodePageTables(932, 932);
  EXPECT_EQ(japanese.ansiToOem[0x82], 0x82);
}

}  // namespace
}  // namespace tabrix

namespace tabrix {
namespace {

std::string toUtf8(int codePage, const std::string& text) {
  Utf8Converter converter(codePage);
  std::string out(Utf8Converter::capacityFor(text.size()), '\0');
  out.resize(converter.convert(text.data(), text.size(), out.data()));
  return out;
}

TEST(Utf8Converter, SingleAndDoubleBytePages) {
  EXPECT_EQ(toUtf8(1252, "M\xFCnchen \x80"), "M\xC3\xBCnchen \xE2\x82\xAC");
  EXPECT_EQ(toUtf8(1251, "\xCF\xF0\xE8"), "\xD0\x9F\xD1\x80\xD0\xB8");
  // Shift-JIS: two bytes for one character.
  EXPECT_EQ(toUtf8(932, "a\x93\xFA"), "a\xE6\x97\xA5");
  // 0x80 starts no Shift-JIS character; the next character still converts.
  EXPECT_EQ(toUtf8(932, "\x80\x93\xFA"), "?\xE6\x97\xA5");
  // 0x85 0x40 is no character; the second byte is read again on its own.
  EXPECT_EQ(toUtf8(932, "\x85\x40" "a"), "?@a");
  // 0x81 is undefined in 1252.
  EXPECT_EQ(toUtf8(1252, "\x81"), "?");
}

// A non-ASCII byte before, inside and after runs of eight and more ASCII bytes.
TEST(Utf8Converter, AsciiRunsAroundOtherCharacters) {
  for (size_t before = 0; before <= 17; ++before) {
    SCOPED_TRACE(before);
    const std::string left(before, 'a'), right(17 - before, 'b');
    EXPECT_EQ(toUtf8(1252, left + "\xFC" + right + "\x80"), left + "\xC3\xBC" + right + "\xE2\x82\xAC");
  }
}

// A value cut after the lead byte of a character ends in U+FFFD, in every
// double-byte page; the characters before it stay whole.
TEST(Utf8Converter, ValueCutInsideACharacterEndsInReplacement) {
  const struct {
    int codePage;
    std::string whole, text;
  } pages[] = {{932, "\x93\xFA", "\xE6\x97\xA5"},
               {936, "\xD6\xD0", "\xE4\xB8\xAD"},
               {949, "\xB0\xA1", "\xEA\xB0\x80"},
               {950, "\xA4\xA4", "\xE4\xB8\xAD"}};
  for (const auto& p : pages) {
    SCOPED_TRACE(p.codePage);
    EXPECT_EQ(toUtf8(p.codePage, p.whole + p.whole), p.text + p.text);
    EXPECT_EQ(toUtf8(p.codePage, p.whole + p.whole.substr(0, 1)), p.text + "\xEF\xBF\xBD");
  }
}

}  // namespace
}  // namespace tabrix
