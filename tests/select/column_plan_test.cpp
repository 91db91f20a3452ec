#include "select/column_plan.h"

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
  const Result read = readColumnsList(dir.at("columns.txt"), c.names, c.titles);
  ASSERT_TRUE(read) << read.reason();
  EXPECT_EQ(c.names, (Texts{"NAME", "CITY ", " MEMO1", "QTY"}));
  EXPECT_EQ(c.titles, c.names);
}

TEST(ReadColumnsList, AMissingFileGivesTheSystemsReasonAndNoNames) {
  test::TempFolder dir;
  Columns c;
  const Result read = readColumnsList(dir.at("missing.txt"), c.names, c.titles);
  EXPECT_FALSE(read);
  EXPECT_EQ(read.reason(), std::strerror(ENOENT));
  EXPECT_TRUE(c.names.empty());
}

TEST(ReadColumnsList, AFolderIsNotAColumnsList) {
  test::TempFolder dir;
  Columns c;
  const Result read = readColumnsList(dir.path(), c.names, c.titles);
  EXPECT_FALSE(read);
  EXPECT_EQ(read.reason(), std::strerror(EISDIR));
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

// The fields the plan shows and their titles, in the order they are written.
struct Shown {
  std::vector<int> fields;
  Texts titles;
};

Shown shown(const DbfTable& table, const ColumnChoice& choice) {
  Shown s;
  for (const PlannedColumn& c : planColumns(table, choice).columns) {
    s.fields.push_back(c.field);
    s.titles.push_back(c.title);
    EXPECT_EQ(c.source, &table.field(c.field));
  }
  return s;
}

TEST(PlanColumns, KeptFieldsStayInTableOrderWithTheirTitles) {
  auto table = customers();
  const Shown s = shown(*table, {{"NAME", "CITY"}, {"Customer", "CITY"}, false, {}});
  EXPECT_EQ(s.fields, (std::vector<int>{0, 1}));
  EXPECT_EQ(s.titles, (Texts{"CITY", "Customer"}));
}

TEST(PlanColumns, NamesMatchInAnyCaseAndTheFirstEntryGivesTheTitle) {
  auto table = customers();
  const Shown s = shown(*table, {{"name", "Name", "qty"}, {"First", "Second", "Count"}, false, {}});
  EXPECT_EQ(s.fields, (std::vector<int>{1, 3}));
  EXPECT_EQ(s.titles, (Texts{"First", "Count"}));
}

TEST(PlanColumns, UnknownNamesAreIgnoredAndNoMatchLeavesNoColumns) {
  auto table = customers();
  EXPECT_EQ(shown(*table, {{"NOSUCH", "QTY"}, {"NOSUCH", "QTY"}, false, {}}).fields, (std::vector<int>{3}));
  EXPECT_TRUE(planColumns(*table, {{"NOSUCH", " NAME"}, {"NOSUCH", " NAME"}, false, {}}).empty());
}

TEST(PlanColumns, ExcludeLeavesOutTheNamedFieldsAndKeepsEveryTitle) {
  auto table = customers();
  const Shown s = shown(*table, {{"memo1", "MEMO2", "NOSUCH"}, {"X", "Y", "Z"}, true, {}});
  EXPECT_EQ(s.fields, (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(s.titles, (Texts{"CITY", "NAME", "QTY"}));
}

TEST(PlanColumns, AnEmptyListKeepsEveryFieldButTheNullFlags) {
  for (bool exclude : {false, true}) {
    auto table = customers();
    EXPECT_EQ(shown(*table, {{}, {}, exclude, {}}).titles, (Texts{"CITY", "NAME", "MEMO1", "QTY", "MEMO2"}));
  }
  auto flagged = test::TableBuilder(0x30).field("NAME", 'C', 10).field("_NullFlags", '0', 1).open();
  EXPECT_EQ(shown(*flagged, {}).titles, (Texts{"NAME"}));
}

TEST(PlanColumns, EachColumnCarriesItsFieldsKindAndADecoderForIt) {
  auto table = test::TableBuilder(0x30).field("QTY", 'N', 5, 2).field("WHEN", 'T', 8).field("PAID", 'Y', 8, 4).open();
  const ColumnPlan plan = planColumns(*table, {});
  ASSERT_EQ(plan.columns.size(), 3u);
  EXPECT_EQ(plan.columns[0].valueClass, ValueClass::Number);
  EXPECT_EQ(plan.columns[0].width, 5);
  EXPECT_EQ(plan.columns[0].decimals, 2);
  EXPECT_EQ(plan.columns[1].valueClass, ValueClass::DateTime);
  EXPECT_EQ(plan.columns[2].valueClass, ValueClass::Currency);
  for (const PlannedColumn& c : plan.columns) EXPECT_EQ(c.decode, textDecoderOf(*c.source));
  EXPECT_GE(plan.textCapacity, decodedTextCapacity(table->field(1)));
}

}  // namespace
}  // namespace tabrix

namespace tabrix {
namespace {

// A Visual FoxPro table whose descriptors carry the given flags bytes; the
// last field is _NullFlags.
std::unique_ptr<DbfTable> tableWithFlags(test::TableBuilder& builder, const std::vector<uint8_t>& flags) {
  std::vector<uint8_t> bytes = builder.bytes();
  for (size_t k = 0; k < flags.size(); ++k) bytes[32 + 32 * k + 18] = flags[k];
  auto table = std::make_unique<DbfTable>();
  EXPECT_TRUE(table->openFrom(std::make_unique<MemoryStore>(std::move(bytes)), nullptr, {}));
  return table;
}

std::vector<bool> nullsOf(const ColumnPlan& plan, const uint8_t* record) {
  std::vector<bool> nulls;
  for (const PlannedColumn& column : plan.columns) nulls.push_back(isNull(column.nullBit, record));
  return nulls;
}

// Bits go to nullable fields in field order; a varchar field takes its
// "shorter" bit before its null bit, even when it is not nullable.
TEST(PlanColumns, FindsEachNullableColumnsBit) {
  test::TableBuilder builder(0x30);
  builder.field("PLAIN", 'C', 2).field("VSHORT", 'V', 3).field("NV", 'V', 3).field("AMT", 'N', 3)
      .field("_NullFlags", '0', 1)
      .record({"a", "b", "c", "1", std::string(1, '\x02' | '\x08')})   // NV shorter, AMT NULL
      .record({"a", "b", "c", "1", std::string(1, '\x04')});           // NV NULL
  auto table = tableWithFlags(builder, {0, 0, 0x02, 0x02, 0x05});
  const ColumnPlan plan = planColumns(*table, {});
  ASSERT_EQ(plan.columns.size(), 4u);
  table->rewind();
  EXPECT_EQ(nullsOf(plan, table->readNextRecord()), (std::vector<bool>{false, false, false, true}));
  EXPECT_EQ(nullsOf(plan, table->readNextRecord()), (std::vector<bool>{false, false, true, false}));
}

// A flags field too short for a nullable field's bit never makes it NULL,
// and a table without _NullFlags has no NULL at all.
TEST(PlanColumns, ReadsNoNullBeyondTheFlags) {
  test::TableBuilder withFlags(0x30);
  for (int i = 0; i < 9; ++i) withFlags.field("N" + std::to_string(i), 'C', 1);
  withFlags.field("_NullFlags", '0', 1).record({"a", "b", "c", "d", "e", "f", "g", "h", "i", "\xff"});
  auto table = tableWithFlags(withFlags, {2, 2, 2, 2, 2, 2, 2, 2, 2, 5});
  table->rewind();
  const std::vector<bool> nulls = nullsOf(planColumns(*table, {}), table->readNextRecord());
  EXPECT_EQ(nulls, (std::vector<bool>{true, true, true, true, true, true, true, true, false}));

  test::TableBuilder without(0x30);
  without.field("A", 'C', 1).record({"\xff"});
  auto plain = tableWithFlags(without, {2});
  plain->rewind();
  EXPECT_EQ(nullsOf(planColumns(*plain, {}), plain->readNextRecord()), (std::vector<bool>{false}));
}

}  // namespace
}  // namespace tabrix
