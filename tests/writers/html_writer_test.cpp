// Paged HTML output: which records land on which page file, the names of the
// page files, the links between them, and failures while switching pages;
// and the title taken from the table's path. The single-file layouts are
// covered byte for byte by the golden cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "convert/conversion.h"
#include "convert/conversion_options.h"
#include "dbf/dbf_table.h"
#include "support/temp_folder.h"
#include "table_builder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;
using test::TableBuilder;
using test::TempFolder;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A table of one numeric field ID holding 1..count; the records whose ID is
// in deleted carry the deletion mark.
std::string writeNumbers(const TempFolder& temp, int count, const std::set<int>& deleted = {}) {
  TableBuilder builder(0x03);
  builder.field("ID", 'N', 3);
  for (int id = 1; id <= count; ++id) {
    std::string value = std::to_string(id);
    builder.record({std::string(3 - value.size(), ' ') + value}, deleted.count(id) > 0);
  }
  const std::string path = temp.at("numbers.dbf");
  test::writeFile(path, builder.bytes());
  return path;
}

int run(std::vector<std::string> words) {
  ConversionOptions options;
  return runCommandLine(words, options);
}

// The head of every page: the tests run in code page 1252.
const std::string kHead =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">";

// What every page of the numbers table begins with, titled "T".
const std::string kPageStart =
    kHead + "<title>T</title></head><body text=\"#000000\" bgcolor=\"#ffffff\">\n"
    "<TABLE BORDER><TR> <TH COLSPAN=1 > <B>T</B> </TH></TR>\n"
    "<TR><TH>ID</TH></TR>\n";

std::string rows(int first, int last, const std::set<int>& skipped = {}) {
  std::string text;
  for (int id = first; id <= last; ++id)
    if (!skipped.count(id)) text += "<TR><TD>" + std::to_string(id) + "</TD>";
  return text;
}

std::string link(const std::string& target, const std::string& text) {
  return "<a href= \"" + target + "\" >" + text + "</a>";
}

// The pages parse as HTML without a complaint of xmllint, when it is there.
void expectParsesAsHtml(const std::vector<std::string>& pages) {
  if (!fs::exists("/usr/bin/xmllint")) return;
  for (const std::string& page : pages) {
    const std::string command = "/usr/bin/xmllint --html --noout '" + page + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char chunk[256];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) said.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << page;
    EXPECT_EQ(said, "") << page;
  }
}

TEST(HtmlPaging, SplitsEveryFiftyRecordsIntoLinkedPageFiles) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 120);
  ASSERT_EQ(run({table, temp.at("report.htm"), "/MAXPERPAGE=50", "/TITLE=T"}), kExitConverted);

  EXPECT_EQ(readFile(temp.at("report.htm")),
            kPageStart + rows(1, 50) + "</TABLE><br>" + link("report1.htm", "Next") + "</body></html>");
  EXPECT_EQ(readFile(temp.at("report1.htm")),
            kPageStart + rows(51, 100) + "</TABLE><br>" + link("report.htm", "Previos") + "|" +
                link("report2.htm", "Next") + "</body></html>");
  EXPECT_EQ(readFile(temp.at("report2.htm")),
            kPageStart + rows(101, 120) + "</TABLE><br>" + link("report1.htm", "Previos") + "</body></html>");
  EXPECT_FALSE(fs::exists(temp.at("report3.htm")));
  expectParsesAsHtml({temp.at("report.htm"), temp.at("report1.htm"), temp.at("report2.htm")});
}

TEST(HtmlPaging, LaterPagesLinkBackTwoNamesAway) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 120);
  ASSERT_EQ(run({table, temp.at("r.htm"), "/MAXPERPAGE=30", "/TITLE=T"}), kExitConverted);
  EXPECT_EQ(readFile(temp.at("r2.htm")),
            kPageStart + rows(61, 90) + "</TABLE><br>" + link("r1.htm", "Previos") + "|" + link("r3.htm", "Next") +
                "</body></html>");
  EXPECT_EQ(readFile(temp.at("r3.htm")),
            kPageStart + rows(91, 120) + "</TABLE><br>" + link("r2.htm", "Previos") + "</body></html>");
}

TEST(HtmlPaging, BreaksOnlyAtWrittenWalkPositions) {
  TempFolder temp;
  // Position 50 (record 51) is left out: no break there, the page runs on to position 100.
  const std::set<int> deleted = {51, 70};
  const std::string table = writeNumbers(temp, 120, deleted);
  ASSERT_EQ(run({table, temp.at("report.htm"), "/MAXPERPAGE=50", "/TITLE=T"}), kExitConverted);

  EXPECT_EQ(readFile(temp.at("report.htm")),
            kPageStart + rows(1, 100, deleted) + "</TABLE><br>" + link("report1.htm", "Next") + "</body></html>");
  EXPECT_EQ(readFile(temp.at("report1.htm")),
            kPageStart + rows(101, 120) + "</TABLE><br>" + link("report.htm", "Previos") + "</body></html>");
  EXPECT_FALSE(fs::exists(temp.at("report2.htm")));
}

TEST(HtmlPaging, NeverLeavesAPageEmpty) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 120);
  // The walk starts at position 100, a multiple of the page size.
  ASSERT_EQ(run({table, temp.at("last.htm"), "/MAXPERPAGE=10", "/last:20", "/NUMBER", "/TITLE=T"}), kExitConverted);
  const std::string start =
      kHead + "<title>T</title></head><body text=\"#000000\" bgcolor=\"#ffffff\">\n"
      "<TABLE BORDER><TR> <TH COLSPAN=2 > <B>T</B> </TH></TR>\n"
      "<TR><TH>N</TH><TH>ID</TH></TR>\n";
  std::string first, second;
  for (int id = 101; id <= 120; ++id)
    (id <= 110 ? first : second) += "<TR><TD>" + std::to_string(id) + "</TD><TD>" + std::to_string(id) + "</TD>";
  EXPECT_EQ(readFile(temp.at("last.htm")),
            start + first + "</TABLE><br>" + link("last1.htm", "Next") + "</body></html>");
  EXPECT_EQ(readFile(temp.at("last1.htm")),
            start + second + "</TABLE><br>" + link("last.htm", "Previos") + "</body></html>");
  EXPECT_FALSE(fs::exists(temp.at("last2.htm")));
}

TEST(HtmlPaging, FormPagesCloseNoTableTheyDidNotOpen) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 3);
  ASSERT_EQ(run({table, temp.at("form.htm"), "/ASFORM", "/MAXPERPAGE=2", "/TITLE=T"}), kExitConverted);
  const std::string start = kHead + "<title>T</title></head><body text=\"#000000\" bgcolor=\"#ffffff\">\n";
  auto form = [](int id) {
    return "<TABLE BORDER><TR><TD><B>ID</B></TD><TD>  " + std::to_string(id) + "</TD></TR></TABLE><BR>";
  };
  EXPECT_EQ(readFile(temp.at("form.htm")),
            start + form(1) + form(2) + "<br>" + link("form1.htm", "Next") + "</body></html>");
  EXPECT_EQ(readFile(temp.at("form1.htm")), start + form(3) + "<br>" + link("form.htm", "Previos") + "</body></html>");
  expectParsesAsHtml({temp.at("form.htm"), temp.at("form1.htm")});
}

// Runs the numbers table into output with 50 records a page.
ConversionResult convertPaged(const std::string& table, const std::string& output) {
  DbfTable source;
  EXPECT_TRUE(test::succeeded(source.open(table, {})));
  ConversionOptions options;
  options.outputFormat = OutputFormat::Html;
  options.outputPath = output;
  options.htmlPaging = true;
  options.htmlMaxPerPage = 50;
  options.htmlTitle = "T";
  return runConversion(options, source, nullptr);
}

TEST(HtmlTitle, WithoutATitleThePageShowsTheTablesPathEscaped) {
  TempFolder temp;
  const std::string numbers = writeNumbers(temp, 1);
  const std::string table = temp.at("a&<b>.dbf");
  fs::rename(numbers, table);
  ASSERT_EQ(run({table, temp.at("t.htm")}), kExitConverted);
  const std::string escaped = temp.at("a&amp;&lt;b&gt;.dbf");
  EXPECT_EQ(readFile(temp.at("t.htm")),
            kHead + "<title>" + escaped +
                "</title></head><body text=\"#000000\" bgcolor=\"#ffffff\">\n"
                "<TABLE BORDER><TR> <TH COLSPAN=1 > <B>" + escaped + "</B> </TH></TR>\n"
                "<TR><TH>ID</TH></TR>\n<TR><TD>1</TD></TABLE></body></html>");
}

TEST(HtmlPageNames, NumberGoesBeforeTheExtensionInTheOutputsFolder) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 101);
  fs::create_directories(temp.at("my.htm.d"));
  struct Case {
    std::string output;
    std::string page1, page2;
  } cases[] = {
      {"report.html", "report1.htm", "report2.htm"},
      {"REPORT.HTML", "REPORT1.HTM", "REPORT2.HTM"},
      {"pages.xhtml", "pages1.xhtml", "pages2.xhtml"},
      {"pages", "pages1", "pages2"},
      // A ".htm" in a folder name is no page name's place.
      {"my.htm.d/out.htm", "my.htm.d/out1.htm", "my.htm.d/out2.htm"},
  };
  for (const Case& c : cases) {
    const ConversionResult result = convertPaged(table, temp.at(c.output));
    EXPECT_TRUE(result.ok) << c.output << ": " << result.error;
    const std::string page1 = readFile(temp.at(c.page1));
    const std::string page2 = readFile(temp.at(c.page2));
    const std::string name0 = fs::path(c.output).filename().string();
    const std::string name1 = fs::path(c.page1).filename().string();
    const std::string name2 = fs::path(c.page2).filename().string();
    // Links hold the file names alone: the pages share a folder.
    EXPECT_NE(readFile(temp.at(c.output)).find(link(name1, "Next")), std::string::npos) << c.output;
    EXPECT_NE(page1.find(link(name0, "Previos") + "|" + link(name2, "Next")), std::string::npos) << c.output;
    EXPECT_NE(page2.find(rows(101, 101) + "</TABLE><br>" + link(name1, "Previos")), std::string::npos) << c.output;
  }
}

TEST(HtmlPageNames, MarkupInAFileNameIsEscapedInLinks) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 60);
  ASSERT_TRUE(convertPaged(table, temp.at("a&\"b.htm")).ok);
  EXPECT_NE(readFile(temp.at("a&\"b.htm")).find(link("a&amp;&quot;b1.htm", "Next")), std::string::npos);
  EXPECT_NE(readFile(temp.at("a&\"b1.htm")).find(link("a&amp;&quot;b.htm", "Previos")), std::string::npos);
}

TEST(HtmlPaging, APageThatCannotBeCreatedFailsTheJobAndNamesThePage) {
  TempFolder temp;
  const std::string table = writeNumbers(temp, 120);
  // A folder stands where the second page file belongs.
  fs::create_directories(temp.at("report1.htm"));
  const ConversionResult result = convertPaged(table, temp.at("report.htm"));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find(temp.at("report1.htm")), std::string::npos) << result.error;
  // The failed job leaves no page: the first one was never committed.
  EXPECT_FALSE(fs::exists(temp.at("report.htm")));
  EXPECT_FALSE(fs::exists(temp.at("report2.htm")));
}

TEST(HtmlPaging, AWriteFailureOnALaterPageFailsTheJob) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempFolder temp;
  const std::string table = writeNumbers(temp, 120);
  // The second page is the full device: its writes fail when the page is closed.
  fs::create_symlink("/dev/full", temp.at("report1.htm"));
  const ConversionResult result = convertPaged(table, temp.at("report.htm"));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find(temp.at("report1.htm")), std::string::npos) << result.error;
  EXPECT_FALSE(fs::exists(temp.at("report2.htm")));
}

}  // namespace
}  // namespace tabrix

namespace tabrix {
namespace {

// A page says the code page its bytes are in; with /utf8 every page, its
// head and the pages after a break included, is UTF-8 and says so.
// A value holding "@", "www.", "http:", ":\\" or "ftp." anywhere, also past
// its first sixteen bytes, is a link; near misses are plain text.
TEST(HtmlLinks, AValueHoldingAnAddressMarkAnywhereIsALink) {
  const std::string block = "0123456789abcdef";  // the marks below stand in the second block of 16
  const std::vector<std::pair<std::string, bool>> values = {
      {"name@example.org", true},
      {block + "x@example.org  and more", true},
      {block + "see www.x.org and more text", true},
      {block + "ahttp://a.example/b/c/d", true},
      {block + "C:\\dir\\file.txt and more", true},
      {block + " ftp.x.org and more texts", true},
      {"ww.x wwx. htp: ftp x:/ :", false},
      {block + " 12.50 ftpx. w.ww xhttp :/ wwwx", false},
      {"http", false},
      {"", false}};
  TempFolder temp;
  TableBuilder builder(0x03);
  builder.field("V", 'C', 60);
  for (const auto& [value, link] : values) builder.record({value + std::string(60 - value.size(), ' ')});
  const std::string table = temp.at("links.dbf");
  test::writeFile(table, builder.bytes());
  ASSERT_EQ(run({table, temp.at("links.htm"), "/TITLE=T"}), kExitConverted);
  const std::string page = readFile(temp.at("links.htm"));
  size_t row = 0;
  for (size_t at = page.find("<TR><TD>"); at != std::string::npos; ++row) {
    const size_t next = page.find("<TR><TD>", at + 1);
    const std::string cells = page.substr(at, next - at);
    ASSERT_LT(row, values.size()) << cells;
    EXPECT_EQ(cells.find("<a href=") != std::string::npos, values[row].second) << cells;
    at = next;
  }
  EXPECT_EQ(row, values.size());
}

TEST(HtmlCharset, PagesDeclareTheCodePageOrUtf8TheyAreWrittenIn) {
  TempFolder temp;
  TableBuilder builder(0x03);
  builder.field("NAME", 'C', 6);
  builder.record({"\xC0\xE1\xE2   "});  // "Абв" in code page 1251
  builder.record({"\xA8\xE6    "});     // "Ёж"
  const std::string table = temp.at("names.dbf");
  test::writeFile(table, builder.bytes());
  auto convert = [&](std::vector<std::string> words, int codePage) {
    ConversionOptions options;
    options.ansiCodePage = codePage;
    return runCommandLine(words, options);
  };
  const std::string meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";

  ASSERT_EQ(convert({table, temp.at("ansi.htm"), "/TITLE=\xC0"}, 1251), kExitConverted);
  const std::string ansi = readFile(temp.at("ansi.htm"));
  EXPECT_NE(ansi.find(meta + "windows-1251\">"), std::string::npos) << ansi;
  EXPECT_NE(ansi.find("<TD>\xC0\xE1\xE2</TD>"), std::string::npos) << ansi;

  ASSERT_EQ(convert({table, temp.at("utf8.htm"), "/utf8", "/TITLE=\xC0", "/MAXPERPAGE=1"}, 1251), kExitConverted);
  for (const char* page : {"utf8.htm", "utf81.htm"}) {
    const std::string text = readFile(temp.at(page));
    EXPECT_EQ(text.rfind("<html><head>" + meta + "UTF-8\"><title>\u0410</title>", 0), 0u) << text;
  }
  EXPECT_NE(readFile(temp.at("utf8.htm")).find("<TD>\u0410\u0431\u0432</TD>"), std::string::npos);
  EXPECT_NE(readFile(temp.at("utf81.htm")).find("<TD>\u0401\u0436</TD>"), std::string::npos);

  ASSERT_EQ(convert({table, temp.at("gbk.htm")}, 936), kExitConverted);
  EXPECT_NE(readFile(temp.at("gbk.htm")).find(meta + "GBK\">"), std::string::npos);
}

}  // namespace
}  // namespace tabrix
