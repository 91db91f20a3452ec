#include "cli/command_words.h"

#include <gtest/gtest.h>

#include "cli/switch_words.h"

namespace tabrix {
namespace {

using Words = std::vector<std::string>;

// Only /data and its subfolder /data/in exist.
bool dataFolders(const std::string& folder) { return folder == "/data" || folder == "/data/in"; }

CommandWords split(const Words& words) { return splitCommandWords(words, dataFolders); }

TEST(SplitCommandWords, TwoWordsAreSourceAndOutput) {
  const CommandWords w = split({"a.dbf", "b.dbf", "/HDR", "/SEPTAB"});
  EXPECT_EQ(w.sources, Words{"a.dbf"});
  EXPECT_EQ(w.output, "b.dbf");
  EXPECT_EQ(w.switchWords, (Words{"/HDR", "/SEPTAB"}));
}

TEST(SplitCommandWords, ThreeOrMoreWordsEndWithTheOutput) {
  // What the shell makes of "*.dbf all.dbf" in a folder that already holds all.dbf.
  const CommandWords w = split({"a.dbf", "all.dbf", "b.dbf", "all.dbf", "/HDR"});
  EXPECT_EQ(w.sources, (Words{"a.dbf", "all.dbf", "b.dbf"}));
  EXPECT_EQ(w.output, "all.dbf");
  EXPECT_EQ(w.switchWords, Words{"/HDR"});
  // Words after the first switch are switch words, whatever they look like.
  EXPECT_EQ(split({"a.dbf", "b.dbf", "out.csv", "/HDR", "c.dbf"}).switchWords, (Words{"/HDR", "c.dbf"}));
}

TEST(SplitCommandWords, FewerWords) {
  EXPECT_EQ(split({}).sources, Words{});
  const CommandWords one = split({"a.dbf", "/HDR"});
  EXPECT_EQ(one.sources, Words{"a.dbf"});
  EXPECT_EQ(one.output, "");
  const CommandWords none = split({"/HDR", "a.dbf"});
  EXPECT_TRUE(none.sources.empty());
  EXPECT_EQ(none.switchWords, (Words{"/HDR", "a.dbf"}));
}

TEST(SplitCommandWords, ListWordIsTheSourceArgumentAndASwitch) {
  const CommandWords w = split({"/LIST:/data/tables.txt", "out", "/TOcsv"});
  EXPECT_EQ(w.sources, Words{"/LIST:/data/tables.txt"});
  EXPECT_EQ(w.output, "out");
  EXPECT_EQ(w.switchWords, (Words{"/LIST:/data/tables.txt", "/TOcsv"}));
}

TEST(IsSwitchWord, AbsolutePathsAreArguments) {
  EXPECT_FALSE(isSwitchWord("/data/in/a.dbf", dataFolders));
  EXPECT_FALSE(isSwitchWord("/data/new/out.csv", dataFolders));  // a folder still missing
  EXPECT_FALSE(isSwitchWord("/tmp/out.csv", dataFolders));       // "/tm" is a switch, "/tmp" is not
  EXPECT_FALSE(isSwitchWord("relative/out.csv", dataFolders));
  const CommandWords w = split({"/data/in/a.dbf", "/elsewhere/out.csv", "/HDR"});
  EXPECT_EQ(w.sources, Words{"/data/in/a.dbf"});
  EXPECT_EQ(w.output, "/elsewhere/out.csv");
}

TEST(IsSwitchWord, SwitchesWhoseValuesHoldSlashes) {
  for (const char* word : {"/HDR", "/tm", "/LOG:/var/log/x.log", "/TITLE=a/b", "/SEP/", "/FILTER:/f.txt",
                           "/COLUMNS:A/B", "/HRD", "/x.csv"})
    EXPECT_TRUE(isSwitchWord(word, dataFolders)) << word;
  // The exact-case switches keep their case here too.
  EXPECT_FALSE(isSwitchWord("/Tm/out.csv", dataFolders));
}

TEST(FindClash, NamesTheOutputAndTheSourceFileItMeets) {
  auto same = [](const std::string& a, const std::string& b) { return a == b; };
  const std::vector<SourceFiles> sources = {{"a.dbf", {"a.dbf", "a.dbt"}}, {"b.dbf", {"b.dbf", "b.fpt"}}};
  PathClash clash;
  EXPECT_FALSE(findClash(sources, {"out.dbf", "out.dbt"}, same, clash));
  ASSERT_TRUE(findClash(sources, {"out.dbf", "b.fpt"}, same, clash));
  EXPECT_EQ(clash.written, "b.fpt");
  EXPECT_EQ(clash.source, "b.dbf");
  EXPECT_EQ(clash.sourceFile, "b.fpt");
}

TEST(NearestSwitch, SuggestsTheSwitchATypoWasMeantFor) {
  EXPECT_EQ(nearestSwitch("/HRD"), "/HDR");
  EXPECT_EQ(nearestSwitch("HDR"), "/HDR");
  EXPECT_EQ(nearestSwitch("/SORTBI:NAME"), "/SORTBY:");
  EXPECT_EQ(nearestSwitch("/MAXPERPAGE:5"), "/MAXPERPAGE=");
  EXPECT_EQ(nearestSwitch("/color=ff0000"), "/COLOR=");
  EXPECT_EQ(nearestSwitch("/TM"), "/tm");
  EXPECT_EQ(nearestSwitch("/exportal"), "/EXPORTALL");
  EXPECT_EQ(nearestSwitch("/bogus"), "");
  EXPECT_EQ(nearestSwitch("/zz=1"), "");
}

TEST(IsKnownSwitch, WordsBeginningWithASwitchInItsCase) {
  for (const char* word : {"/addtoexist", "/SEPTAB", "/sep;", "/TOcsv", "/COLOR=ff", "/tm", "/go:5", "/LOG:x.log"})
    EXPECT_TRUE(isKnownSwitch(word)) << word;
  for (const char* word : {"/color=ff", "/TM", "/HRD", "HDR", ""}) EXPECT_FALSE(isKnownSwitch(word)) << word;
}

TEST(ParseCount, OnlyDigits) {
  EXPECT_EQ(parseCount("12"), 12);
  EXPECT_EQ(parseCount(" 0 "), 0);
  for (const char* text : {"", "-3", "+3", "abc", "1x", "   ", "1234567890123456"})
    EXPECT_FALSE(parseCount(text).has_value()) << text;
}

}  // namespace
}  // namespace tabrix
