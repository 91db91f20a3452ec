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
