#include "writers/spreadsheet_xml_writer.h"

#include <gtest/gtest.h>

#include "writers/markup_test_support.h"
#include "dbf/table_builder.h"

namespace tabrix {
namespace {

using test::contains;
using test::convertedBytes;
using test::TableBuilder;

ConversionOptions spreadsheetOptions(int ansiCodePage) {
  ConversionOptions o;
  o.outputFormat = OutputFormat::Xls;
  o.excelAsXml = true;
  o.ansiCodePage = ansiCodePage;
  return o;
}

std::string cell(const std::string& type, const std::string& text) {
  return "<Cell><Data ss:Type=\"" + type + "\">" + text + "</Data></Cell>\r\n";
}

// Text left in the ANSI code page is declared as that code page; its bytes
// without a character there would stop every parser, so they become '?'.
TEST(SpreadsheetXmlWriter, DeclaresTheCodePageAndReplacesItsUndefinedBytes) {
  auto table = TableBuilder(0x03).field("A", 'C', 6).record({"a\x81\xFC\x98z"}).open();
  const std::string western = convertedBytes(*table, spreadsheetOptions(1252), "out.xls");
  EXPECT_EQ(western.rfind("<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\r\n", 0), 0u);
  EXPECT_TRUE(contains(western, cell("String", "a?\xFC\x98z"))) << western;

  const std::string cyrillic = convertedBytes(*table, spreadsheetOptions(1251), "out.xls");
  EXPECT_EQ(cyrillic.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n", 0), 0u);
  EXPECT_TRUE(contains(cyrillic, cell("String", "a\x81\xFC?z"))) << cyrillic;
}

// Double-byte code pages have no name that every parser reads the same way:
// their text is converted to UTF-8, which needs no declaration.
TEST(SpreadsheetXmlWriter, DoubleByteCodePagesAreWrittenInUtf8) {
  auto table = TableBuilder(0x03).field("A", 'C', 4).record({"\x95\x5C"}).open();
  const std::string sheet = convertedBytes(*table, spreadsheetOptions(932), "out.xls");
  EXPECT_EQ(sheet.rfind("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n", 0), 0u);
  EXPECT_TRUE(contains(sheet, cell("String", "\xE8\xA1\xA8"))) << sheet;
}

// A Number or DateTime cell whose text is none makes a spreadsheet program
// drop the table: such values are String cells.
TEST(SpreadsheetXmlWriter, ValuesThatAreNoNumberOrDateAreStrings) {
  auto table = TableBuilder(0x03)
                   .field("N", 'N', 5)
                   .field("D", 'D', 8)
                   .record({"  1-2", "20230230"})
                   .record({"", "00000000"})
                   .record({"   12", "20240229"})
                   .record({" -1.5", "2024"})
                   .open();
  const std::string sheet = convertedBytes(*table, spreadsheetOptions(1252), "out.xls");
  EXPECT_TRUE(contains(sheet, "<Row>\r\n" + cell("String", "1-2") + cell("String", "02/30/2023") + "\r\n</Row>"))
      << sheet;
  EXPECT_TRUE(contains(sheet, "<Row>\r\n" + cell("String", "") + cell("String", "00/00/0000") + "\r\n</Row>"));
  EXPECT_TRUE(contains(sheet, "<Row>\r\n" + cell("Number", "12") +
                                  "<Cell ss:StyleID=\"Date\"><Data ss:Type=\"DateTime\">2024-02-29T00:00:00.000"
                                  "</Data></Cell>\r\n\r\n</Row>"));
  EXPECT_TRUE(contains(sheet, "<Row>\r\n" + cell("Number", "-1.5") + cell("String", "/  /2024") + "</Row>"));
}

// Date-times of 14 characters; a DateTime cell always carries its time,
// also in the hour after midnight, where the ISO text shows the date alone.
TEST(SpreadsheetXmlWriter, TextDateTimesCarryTheirTime) {
  auto table = TableBuilder(0x03)
                   .field("T", 'T', 14)
                   .record({"20240305134530"})
                   .record({"20240305004512"})
                   .record({""})
                   .record({"2024030599xxxx"})
                   .open();
  const std::string sheet = convertedBytes(*table, spreadsheetOptions(1252), "out.xls");
  const std::string date = "<Cell ss:StyleID=\"Date\"><Data ss:Type=\"DateTime\">";
  EXPECT_TRUE(contains(sheet, date + "2024-03-05T13:45:00.000</Data></Cell>\r\n")) << sheet;
  EXPECT_TRUE(contains(sheet, date + "2024-03-05T00:45:00.000</Data></Cell>\r\n"));
  EXPECT_TRUE(contains(sheet, "<Row>\r\n<Cell ss:StyleID=\"Date\"/>\r\n\r\n</Row>"));
  EXPECT_TRUE(contains(sheet, cell("String", "03/05/2024 99.xx.xx")));
}

}  // namespace
}  // namespace tabrix
