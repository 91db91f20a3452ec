#include "select/column_selection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "table_builder.h"

namespace tabrix {
namespace {

using Texts = std::vector<std::string>;
using Flags = std::vector<uint8_t>;

struct Columns {
  Texts names, titles;
};

Columns parsedItems(const std::string& items) {
  Columns c;
  parseColumnItems(items, c.names, c.titles);
  return c;
}

TEST(ParseColumnItems, NamesAloneAreTheirOwnTitles) {
  const Columns c = parsedItems("NAME,CITY");
  EXPECT_EQ(c.names, (Texts{"NAME", "CITY"}));
  EXPECT_EQ(c.titles, (Texts{"NAME", "CITY"}));
}

TEST(ParseColumnItems, TheFirstColonSeparatesNameAndTitle) {
  const Columns c = parsedItems("NAME:Customer,CITY,TIME:At 12:00");
  EXPECT_EQ(c.names, (Texts{"NAME", "CITY", "TIME"}));
  EXPECT_EQ(c.titles, (Texts{"Customer", "CITY", "At 12:00"}));
}

TEST(ParseColumnItems, TrailingSpacesGoAndLeadingSpacesStay) {
  const Columns c = parsedItems("NAME  ,CITY:Town  , QTY");
  EXPECT_EQ(c.names, (Texts{"NAME", "CITY", " QTY"}));
  EXPECT_EQ(c.titles, (Texts{"NAME", "Town", " QTY"}));
}

TEST(ParseColumnItems, ItemsFollowThoseAlreadyListed) {
  Columns c{{"NAME"}, {"NAME"}};
  parseColumnItems("NAME:Customer", c.names, c.titles);
  EXPECT_EQ(c.names, (Texts{"NAME", "NAME"}));
  EXPECT_EQ(c.titles, (Texts{"NAME", "Customer"}));
}

TEST(ReadColumnsList, OneUntrimmedNamePerLineWithoutCarriageReturns) {
  test::TempFolder dir;
  const std::string text = "NAME\r\nCITY \n MEMO1\nQTY";
  test::writeFile(dir.at("columns.txt"), std::vector<uint8_t>(text.begin(), text.end()));
  Columns c;
  std::string error;
  ASSERT_TRUE(readColumnsList(dir.at("columns.txt"), c.names, c.titles, error)) << error;
  EXPECT_EQ(c.names, (Texts{"NAME", "CITY ", " MEMO1", "QTY"}));
  EXPECT_EQ(c.titles, c.names);
}

TEST(ReadColumnsList, AMissingFileGivesTheSystemsReasonAndNoNames) {
  test::TempFolder dir;
  Columns c;
  std::string error;
  EXPECT_FALSE(readColumnsList(dir.at("missing.txt"), c.names, c.titles, error));
  EXPECT_EQ(error, std::strerror(ENOENT));
  EXPECT_TRUE(c.names.empty());
}

TEST(ReadColumnsList, AFolderIsNotAColumnsList) {
  test::TempFolder dir;
  Columns c;
  std::string error;
  EXPECT_FALSE(readColumnsList(dir.path(), c.names, c.titles, error));
  EXPECT_EQ(error, std::strerror(EISDIR));
  EXPECT_TRUE(c.names.empty());
}

// CITY comes before NAME in the table, as in a customer file laid out by place.
std::unique_ptr<DbfTable> customers() {
  return test::TableBuilder(0x03)
      .field("CITY", 'C', 10)
      .field("NAME", 'C', 10)
      .field("MEMO1", 'C', 5)
      .field("QTY", 'N', 5)
      .field("MEMO2", 'C', 5)
      .open();
}

TEST(ApplyColumnList, KeptFieldsStayInTableOrderWithTheirTitles) {
  auto table = customers();
  applyColumnList(*table, {"NAME", "CITY"}, {"Customer", "CITY"}, false);
  EXPECT_EQ(table->excludedFields, (Flags{0, 0, 1, 1, 1}));
  EXPECT_EQ(table->fieldTitles, (Texts{"CITY", "Customer", "MEMO1", "QTY", "MEMO2"}));
  EXPECT_EQ(table->fieldOrder, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(ApplyColumnList, NamesMatchInAnyCaseAndTheFirstEntryGivesTheTitle) {
  auto table = customers();
  applyColumnList(*table, {"name", "Name", "qty"}, {"First", "Second", "Count"}, false);
  EXPECT_EQ(table->excludedFields, (Flags{1, 0, 1, 0, 1}));
  EXPECT_EQ(table->fieldTitles[1], "First");
  EXPECT_EQ(table->fieldTitles[3], "Count");
}

TEST(ApplyColumnList, NamesMatchTheCurrentTitle) {
  auto table = customers();
  table->fieldTitles[1] = "Customer";
  applyColumnList(*table, {"NAME", "customer"}, {"NAME", "Client"}, false);
  EXPECT_EQ(table->excludedFields, (Flags{1, 0, 1, 1, 1}));
  EXPECT_EQ(table->fieldTitles[1], "Client");
}

TEST(ApplyColumnList, UnknownNamesAreIgnoredAndNoMatchLeavesNoColumns) {
  auto table = customers();
  applyColumnList(*table, {"NOSUCH", "QTY"}, {"NOSUCH", "QTY"}, false);
  EXPECT_EQ(table->excludedFields, (Flags{1, 1, 1, 0, 1}));
  auto other = customers();
  applyColumnList(*other, {"NOSUCH", " NAME"}, {"NOSUCH", " NAME"}, false);
  EXPECT_EQ(other->excludedFields, (Flags{1, 1, 1, 1, 1}));
}

TEST(ApplyColumnList, ExcludeLeavesOutTheNamedFieldsAndKeepsEveryTitle) {
  auto table = customers();
  applyColumnList(*table, {"memo1", "MEMO2", "NOSUCH"}, {"X", "Y", "Z"}, true);
  EXPECT_EQ(table->excludedFields, (Flags{0, 0, 1, 0, 1}));
  EXPECT_EQ(table->fieldTitles, (Texts{"CITY", "NAME", "MEMO1", "QTY", "MEMO2"}));
}

TEST(ApplyColumnList, AnEmptyListChangesNothing) {
  for (bool exclude : {false, true}) {
    auto table = customers();
    applyColumnList(*table, {}, {}, exclude);
    EXPECT_EQ(table->excludedFields, (Flags{0, 0, 0, 0, 0}));
    EXPECT_EQ(table->fieldTitles, (Texts{"CITY", "NAME", "MEMO1", "QTY", "MEMO2"}));
  }
}

}  // namespace
}  // namespace tabrix
