#include "platform/locale_info.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tabrix {
namespace {

TEST(DateFormatFromPattern, OrderAndSeparatorOfCommonPatterns) {
  struct Case {
    const char* pattern;
    char order, separator;
  } cases[] = {
      {"%m/%d/%y", '0', '/'}, {"%d.%m.%Y", '1', '.'}, {"%Y-%m-%d", '2', '-'},
      {"%d/%m/%Y", '1', '/'}, {"%Y年%m月%d日", '2', '/'}, {"%e-%m-%Ey", '1', '-'},
  };
  for (const Case& c : cases) {
    const DateFormat f = dateFormatFromPattern(c.pattern);
    EXPECT_EQ(f.order, c.order) << c.pattern;
    EXPECT_EQ(f.separator, c.separator) << c.pattern;
  }
}

TEST(CodePagesForLocale, WindowsPairsByLanguage) {
  auto pair = [](const char* name) {
    const CodePagePair p = codePagesForLocale(name);
    return std::to_string(p.ansi) + "/" + std::to_string(p.oem);
  };
  EXPECT_EQ(pair("en_US.UTF-8"), "1252/437");
  EXPECT_EQ(pair("de_DE.UTF-8"), "1252/850");
  EXPECT_EQ(pair("ru_RU.UTF-8"), "1251/866");
  EXPECT_EQ(pair("pl_PL"), "1250/852");
  EXPECT_EQ(pair("el_GR.UTF-8"), "1253/737");
  EXPECT_EQ(pair("zh_CN.UTF-8"), "936/936");
  EXPECT_EQ(pair("zh_TW.UTF-8"), "950/950");
  EXPECT_EQ(pair("C"), "1252/437");
  EXPECT_EQ(pair("C.UTF-8"), "1252/437");
}

TEST(CodePagesForLocale, EnvironmentOverridesTheLocale) {
  ::setenv("TABRIX_ANSI_CP", "1251", 1);
  ::setenv("TABRIX_OEM_CP", "866", 1);
  const CodePagePair p = environmentCodePages();
  ::unsetenv("TABRIX_ANSI_CP");
  ::unsetenv("TABRIX_OEM_CP");
  EXPECT_EQ(p.ansi, 1251);
  EXPECT_EQ(p.oem, 866);
}

}  // namespace
}  // namespace tabrix
