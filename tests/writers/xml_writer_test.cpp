#include "writers/xml_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "writers/markup_test_support.h"
#include "dbf/table_builder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

using test::contains;
using test::convertedBytes;
using test::TableBuilder;

TEST(XmlElementName, KeepsNamesAndMendsWhatNoNameMayHold) {
  const std::pair<const char*, const char*> cases[] = {
      {"NAME", "NAME"},
      {"first_name-2.x", "first_name-2.x"},
      {"2ND", "_2ND"},           // a digit may not begin a name
      {"-x", "_-x"},
      {".x", "_.x"},
      {"A B", "A_B"},
      {"rec:ord", "rec_ord"},    // a colon would read as a namespace prefix
      {"a&b<c>\"d", "a_b_c__d"},
      {"", "_"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},  // letters beyond ASCII stay
      {"a\xC3\x97" "b", "a_b"},                    // the multiplication sign is no name character
      {"\xC2\xB7x", "_\xC2\xB7x"},                 // the middle dot may follow, not begin
      {"\xFF" "x", "_x"},                          // not UTF-8
      {"x\xC3", "x_"},                             // a cut sequence
      {"\xE2\x82\xAC", "\xE2\x82\xAC"},            // the euro sign is a name start character
  };
  for (const auto& [title, name] : cases) EXPECT_EQ(xmlElementName(title), name) << title;
}

// Titles given by the user: the element name is mended, the structure
// section shows the title itself, escaped.
TEST(XmlWriter, TitlesThatAreNoNamesGiveMendedElementsAndEscapedFieldNames) {
  auto table = TableBuilder(0x03).field("A", 'C', 3).record({"x"}).open();
  ConversionOptions o;
  o.columns = {{"A"}, {"1 \"q\"&\xFC"}, false, {}};
  o.outputFormat = OutputFormat::Xml;
  const std::string xml = convertedBytes(*table, o, "out.xml");
  EXPECT_TRUE(contains(xml, "<Field_Name>1 &quot;q&quot;&amp;\xC3\xBC</Field_Name>")) << xml;
  EXPECT_TRUE(contains(xml, "     <_1__q__\xC3\xBC>x</_1__q__\xC3\xBC>\r\n")) << xml;
}

// Control bytes in a value and in a memo become '?', so the document stays
// well-formed; CR LF in a memo is an escaped line break tag.
TEST(XmlWriter, ControlBytesBecomeQuestionMarks) {
  auto table = TableBuilder(0x03).field("A", 'C', 6).record({std::string("a\x01\x1b" "b\x7f", 5)}).open();
  ConversionOptions o;
  o.outputFormat = OutputFormat::Xml;
  const std::string xml = convertedBytes(*table, o, "out.xml");
  EXPECT_TRUE(contains(xml, "<A>a??b\x7f</A>")) << xml;
}

// The Database attribute holds the absolute path of a table opened by a
// relative one: as it is when it is UTF-8, read as ANSI text otherwise.
TEST(XmlWriter, DatabasePathIsAbsoluteAndUtf8) {
  test::TempFolder temp;
  const std::vector<uint8_t> bytes = TableBuilder(0x03).field("A", 'C', 1).record({"x"}).bytes();
  for (const auto& [name, shown] : {std::pair<std::string, std::string>{"m\xFCller.dbf", "m\xC3\xBCller.dbf"},
                                    {"\xC3\xA9t\xC3\xA9.dbf", "\xC3\xA9t\xC3\xA9.dbf"},
                                    {"a&b.dbf", "a&amp;b.dbf"}}) {
    test::writeFile(temp.at(name), bytes);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(temp.path());
    DbfTable table;
    ASSERT_TRUE(test::succeeded(table.open(name, {})));
    ConversionOptions o;
    o.outputFormat = OutputFormat::Xml;
    const std::string xml = convertedBytes(table, o, "out.xml");
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(contains(xml, "<Root Database=\"" + temp.path() + "/" + shown + "\">\r\n")) << xml;
  }
}

}  // namespace
}  // namespace tabrix
