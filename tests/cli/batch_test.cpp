#include "cli/batch.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tabrix {
namespace {

namespace fs = std::filesystem;

// 6 December 2026, 09:05:03.
std::tm fixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 6;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  return t;
}

using test::TempFolder;

// Runs a test body in another current folder and returns to the old one.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : saved_(fs::current_path()) { fs::current_path(folder); }
  ~CurrentFolder() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

TEST(ReplaceAll, FindsEveryCopyInAnyCase) {
  std::string text = "a[DATE]b[date]c[Date]";
  replaceAll(text, "[date]", "X");
  EXPECT_EQ(text, "aXbXcX");
}

TEST(ReplaceAll, ShorterReplacementDoesNotSkipTheNextCopy) {
  std::string text = "[date:yyyy][date:yyyy]";
  replaceAll(text, "[date:yyyy]", "2026");
  EXPECT_EQ(text, "20262026");
}

TEST(ReplaceAll, ReplacementHoldingTheSearchTextIsNotRescanned) {
  std::string text = "a-a";
  replaceAll(text, "a", "aa");
  EXPECT_EQ(text, "aa-aa");
  std::string unchanged = "abc";
  replaceAll(unchanged, "", "x");
  EXPECT_EQ(unchanged, "abc");
}

TEST(DatePlaceholders, PlainAndFormattedForms) {
  const std::tm now = fixedTime();
  EXPECT_EQ(expandDatePlaceholders("out_[date].csv", now), "out_2026-12-06.csv");
  EXPECT_EQ(expandDatePlaceholders("out_[date:ddmmyyyy].csv", now), "out_06122026.csv");
  EXPECT_EQ(expandDatePlaceholders("/logs/[DATE:YYYY]/x.csv", now), "/logs/2026/x.csv");
  EXPECT_EQ(expandDatePlaceholders("[Date:Yyyy-Mm-Dd]", now), "2026-12-06");
  EXPECT_EQ(expandDatePlaceholders("no placeholder.csv", now), "no placeholder.csv");
}

TEST(DatePlaceholders, MonthAndDayArePaddedYearIsNot) {
  std::tm early = fixedTime();
  early.tm_year = 999 - 1900;
  early.tm_mon = 0;
  early.tm_mday = 2;
  EXPECT_EQ(expandDatePlaceholders("[date]", early), "999-01-02");
  EXPECT_EQ(expandDatePlaceholders("[date:mm/dd/yyyy]", early), "01/02/999");
}

TEST(DatePlaceholders, DateFormatKnowsNoTimeLetters) {
  EXPECT_EQ(expandDatePlaceholders("[date:hh-mm-ss]", fixedTime()), "hh-12-ss");
}

TEST(DatePlaceholders, OnlyTheFirstFormattedFormIsExpanded) {
  const std::tm now = fixedTime();
  // A path with a formatted form keeps the plain one as it is.
  EXPECT_EQ(expandDatePlaceholders("[date:yyyy]/[date].csv", now), "2026/[date].csv");
  EXPECT_EQ(expandDatePlaceholders("[date]/[date:yyyy].csv", now), "[date]/2026.csv");
  // Identical copies (in any case) go with the first; a different form stays.
  EXPECT_EQ(expandDatePlaceholders("[date:yyyy]_[DATE:YYYY]_[date:mm]", now), "2026_2026_[date:mm]");
}

TEST(DatePlaceholders, UnclosedFormTakesTheRestAsFormat) {
  EXPECT_EQ(expandDatePlaceholders("out_[date:yyyymm.csv", fixedTime()), "out_202612.csv");
}

TEST(TimePlaceholders, PlainAndFormattedForms) {
  const std::tm now = fixedTime();
  EXPECT_EQ(expandTimePlaceholders("log_[time].txt", now), "log_090503.txt");
  EXPECT_EQ(expandTimePlaceholders("[time:hh-mm]", now), "09-05");
  EXPECT_EQ(expandTimePlaceholders("[TIME:HHMMSS]", now), "090503");
  // In a time format "mm" is the minute; the time format knows no year.
  EXPECT_EQ(expandTimePlaceholders("[time:yyyy mm]", now), "yyyy 05");
}

TEST(TimePlaceholders, OnlyTheFirstFormattedFormIsExpanded) {
  EXPECT_EQ(expandTimePlaceholders("[time:hh]_[time]", fixedTime()), "09_[time]");
}

TEST(TimePlaceholders, DateAndTimeInOnePath) {
  const std::tm now = fixedTime();
  EXPECT_EQ(expandTimePlaceholders(expandDatePlaceholders("/out/[date]/[time:hhmm]_[date:dd].csv", now), now),
            "/out/[date]/0905_06.csv");
  EXPECT_EQ(expandTimePlaceholders(expandDatePlaceholders("[date]_[time]", now), now), "2026-12-06_090503");
}

TEST(ReadSourceList, KeepsOnlyTableLines) {
  TempFolder dir;
  const std::string list = dir.write("list.txt", "a.dbf\nnotes.txt\n\n");
  std::vector<std::string> sources;
  ASSERT_TRUE(readSourceList(list, sources));
  EXPECT_EQ(sources, std::vector<std::string>{"a.dbf"});
}

TEST(ReadSourceList, CrLfTrailingSpacesAndCase) {
  TempFolder dir;
  const std::string list =
      dir.write("list.txt", "/data/A.DBF  \r\n   \r\nb.dbf\r\n/data/my tables/c.Dbf   \r\nx.dbf.bak\nlast.dbf");
  std::vector<std::string> sources{"already.dbf"};
  ASSERT_TRUE(readSourceList(list, sources));
  EXPECT_EQ(sources,
            (std::vector<std::string>{"already.dbf", "/data/A.DBF", "b.dbf", "/data/my tables/c.Dbf", "x.dbf.bak",
                                      "last.dbf"}));
}

TEST(ReadSourceList, NoLimitOnLineLengthOrCount) {
  TempFolder dir;
  const std::string longPath = "/" + std::string(5000, 'd') + "/t.dbf";
  std::string text = longPath + "\n";
  for (int i = 0; i < 5000; ++i) text += "t" + std::to_string(i) + ".dbf\n";
  std::vector<std::string> sources;
  ASSERT_TRUE(readSourceList(dir.write("list.txt", text), sources));
  ASSERT_EQ(sources.size(), 5001u);
  EXPECT_EQ(sources.front(), longPath);
  EXPECT_EQ(sources.back(), "t4999.dbf");
}

TEST(ReadSourceList, UnreadableListAddsNothing) {
  TempFolder dir;
  std::vector<std::string> sources{"kept.dbf"};
  EXPECT_EQ(readSourceList(dir.at("missing.txt"), sources).reason(), "No such file or directory");
  EXPECT_EQ(readSourceList(dir.path(), sources).reason(), "Is a directory");
  EXPECT_EQ(sources, std::vector<std::string>{"kept.dbf"});
}

TEST(MatchesWildcard, QuestionMarkIsExactlyOneCharacter) {
  EXPECT_TRUE(matchesWildcard("a1.dbf", "a?.dbf"));
  EXPECT_FALSE(matchesWildcard("a.dbf", "a?.dbf"));
  EXPECT_FALSE(matchesWildcard("a12.dbf", "a?.dbf"));
  EXPECT_TRUE(matchesWildcard("AB.DBF", "a?.dbf"));
}

TEST(MatchesWildcard, StarMatchesAnyRunIgnoringCase) {
  EXPECT_TRUE(matchesWildcard("SALES.DBF", "*.dbf"));
  EXPECT_TRUE(matchesWildcard(".dbf", "*.dbf"));
  EXPECT_FALSE(matchesWildcard("sales.dbf.bak", "*.dbf"));
  EXPECT_TRUE(matchesWildcard("Sales2024.dbf", "s*2*.D?F"));
  EXPECT_TRUE(matchesWildcard("abcbcd", "a*bcd"));  // the first "bc" is a false start
  EXPECT_FALSE(matchesWildcard("abcbce", "a*bcd"));
  EXPECT_TRUE(matchesWildcard("anything", "**"));
  EXPECT_TRUE(matchesWildcard("", "*"));
  EXPECT_FALSE(matchesWildcard("", "?"));
}

TEST(ListMatches, FilesOnlySortedWithTheirFolder) {
  TempFolder dir;
  dir.write("b.dbf");
  dir.write("A.DBF");
  dir.write("notes.txt");
  dir.write("Sales.Dbf");
  fs::create_directory(dir.at("folder.dbf"));
  EXPECT_EQ(listMatches(dir.at("*.dbf")),
            (std::vector<std::string>{dir.at("A.DBF"), dir.at("Sales.Dbf"), dir.at("b.dbf")}));
  EXPECT_EQ(listMatches(dir.at("s*.DBF")), std::vector<std::string>{dir.at("Sales.Dbf")});
  EXPECT_EQ(listMatches(dir.at("?.dbf")), (std::vector<std::string>{dir.at("A.DBF"), dir.at("b.dbf")}));
  EXPECT_TRUE(listMatches(dir.at("missing/*.dbf")).empty());
}

TEST(ListMatches, PatternWithoutFolderSearchesTheCurrentFolder) {
  TempFolder dir;
  dir.write("T1.DBF");
  dir.write("t2.dbf");
  dir.write("sub/t3.dbf");
  CurrentFolder inside(dir.path());
  EXPECT_EQ(listMatches("t*.dbf"), (std::vector<std::string>{"T1.DBF", "t2.dbf"}));
}

TEST(PatternFolder, CutBeforeTheFirstStar) {
  EXPECT_EQ(patternFolder("/data/s*.dbf"), "/data");
  EXPECT_EQ(patternFolder("in/2024/*.dbf"), "in/2024");
  EXPECT_EQ(patternFolder("in/b*/c/*.dbf"), "in");
  EXPECT_EQ(patternFolder("*.dbf"), ".");
  EXPECT_EQ(patternFolder("/*.dbf"), "/");
  EXPECT_EQ(patternFolder("in/a?.dbf"), "in");
}

TEST(CollectTablesRecursively, SubfoldersFirstDepthFirstSortedByName) {
  TempFolder dir;
  dir.write("data/b.dbf");
  dir.write("data/A.dbf");
  dir.write("data/notes.txt");
  dir.write("data/x/a.dbf");
  dir.write("data/x/y/deep.DBF");
  dir.write("data/w/z.dbf");
  fs::create_directory(dir.at("data/empty"));
  std::vector<std::string> sources{"kept.dbf"};
  collectTablesRecursively(dir.at("data"), sources);
  EXPECT_EQ(sources, (std::vector<std::string>{"kept.dbf", dir.at("data/w/z.dbf"), dir.at("data/x/y/deep.DBF"),
                                               dir.at("data/x/a.dbf"), dir.at("data/A.dbf"), dir.at("data/b.dbf")}));
}

TEST(CollectTablesRecursively, TrailingSeparatorAndMissingFolder) {
  TempFolder dir;
  dir.write("data/x/a.dbf");
  std::vector<std::string> sources;
  collectTablesRecursively(dir.at("data/"), sources);
  EXPECT_EQ(sources, std::vector<std::string>{dir.at("data/x/a.dbf")});
  sources.clear();
  collectTablesRecursively(dir.at("missing"), sources);
  EXPECT_TRUE(sources.empty());
}

TEST(CollectTablesRecursively, LinkedFolderIsNotFollowed) {
  TempFolder dir;
  dir.write("data/a.dbf");
  fs::create_directory_symlink(dir.at("data"), dir.at("data/loop"));
  std::vector<std::string> sources;
  collectTablesRecursively(dir.at("data"), sources);
  EXPECT_EQ(sources, std::vector<std::string>{dir.at("data/a.dbf")});
}

TEST(CollectTablesRecursively, PatternFileNameDoesNotNarrowTheSearch) {
  TempFolder dir;
  dir.write("data/x/a.dbf");
  dir.write("data/b.dbf");
  dir.write("data/s.dbf");
  std::vector<std::string> sources;
  collectTablesRecursively(patternFolder(dir.at("data/s*.dbf")), sources);
  EXPECT_EQ(sources, (std::vector<std::string>{dir.at("data/x/a.dbf"), dir.at("data/b.dbf"), dir.at("data/s.dbf")}));
}

TEST(OutputNameFor, FolderFormCutsTheNameAtItsFirstDot) {
  EXPECT_EQ(outputNameFor("/out", "/in/Sales.DBF", "csv", ""), "/out/Sales.csv");
  EXPECT_EQ(outputNameFor("/out/", "/in/Sales.2024.dbf", "csv", ""), "/out/Sales.csv");
  EXPECT_EQ(outputNameFor("/out", "/in.v2/README", "htm", ""), "/out/README.htm");
  EXPECT_EQ(outputNameFor("", "t.dbf", "xml", ""), "t.xml");
}

TEST(OutputNameFor, FolderFormCreatesNothing) {
  TempFolder dir;
  EXPECT_EQ(outputNameFor(dir.at("out"), dir.at("in/x/a.dbf"), "csv", ""), dir.at("out/a.csv"));
  EXPECT_FALSE(fs::exists(dir.at("out")));
}

TEST(OutputNameFor, RecursiveRunRepeatsSubfolders) {
  TempFolder dir;
  dir.write("data/x/a.dbf");
  dir.write("data/b.dbf");
  const std::string pattern = dir.at("data/*.dbf");
  std::vector<std::string> sources;
  collectTablesRecursively(patternFolder(pattern), sources);
  ASSERT_EQ(sources, (std::vector<std::string>{dir.at("data/x/a.dbf"), dir.at("data/b.dbf")}));

  const std::string searched = patternFolder(pattern);
  EXPECT_EQ(outputNameFor(dir.at("out"), sources[0], "csv", searched), dir.at("out/x/a.csv"));
  EXPECT_EQ(outputNameFor(dir.at("out") + "/", sources[1], "csv", searched), dir.at("out/b.csv"));
  EXPECT_EQ(outputNameFor(dir.at("out"), dir.at("data/x/y/T.2024.DBF"), "csv", searched + "/"),
            dir.at("out/x/y/T.csv"));
  EXPECT_FALSE(fs::exists(dir.at("out")));
}

TEST(OutputNameFor, RecursiveRunFromTheCurrentFolder) {
  TempFolder dir;
  dir.write("x/a.dbf");
  CurrentFolder inside(dir.path());
  std::vector<std::string> sources;
  collectTablesRecursively(patternFolder("*.dbf"), sources);
  ASSERT_EQ(sources, std::vector<std::string>{"./x/a.dbf"});
  EXPECT_EQ(outputNameFor("out", sources[0], "csv", "."), "out/x/a.csv");
}

TEST(MakeFolders, CreatesEveryFolderButNotTheLastPart) {
  TempFolder dir;
  fs::create_directory(dir.at("a"));
  makeFolders(dir.at("a/b/c/file.csv"));
  EXPECT_TRUE(fs::is_directory(dir.at("a/b/c")));
  EXPECT_FALSE(fs::exists(dir.at("a/b/c/file.csv")));
  makeFolders(dir.at("a/b/d/"));
  EXPECT_TRUE(fs::is_directory(dir.at("a/b/d")));
}

TEST(MakeFolders, FailuresAreIgnored) {
  TempFolder dir;
  dir.write("file");
  makeFolders(dir.at("file/sub/x.csv"));
  EXPECT_FALSE(fs::exists(dir.at("file/sub")));
  EXPECT_TRUE(fs::is_regular_file(dir.at("file")));
}

}  // namespace
}  // namespace tabrix
