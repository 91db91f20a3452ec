#include "dbf/dbf_table.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "convert/conversion.h"
#include "table_builder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

using test::TableBuilder;

std::string recordText(const DbfTable& table, const uint8_t* record) {
  return std::string(reinterpret_cast<const char*>(record), table.recordLength());
}

bool openBytes(DbfTable& table, std::vector<uint8_t> bytes, std::string& error, TableOpenOptions options = {}) {
  const Result opened = table.openFrom(std::make_unique<MemoryStore>(std::move(bytes)), nullptr, options);
  error = opened.reason();
  return opened.ok();
}

TEST(DbfTableLayout, DBaseThreeFieldsGetOffsetsAfterTheDeletionFlag) {
  auto table = TableBuilder(0x03).field("NAME", 'C', 10).field("AMOUNT", 'N', 8, 2).field("BORN", 'D', 8)
                   .record({"Ann", "   12.50", "20000229"}).open();
  ASSERT_EQ(table->fieldCount(), 3);
  EXPECT_EQ(table->field(0).offset, 1);
  EXPECT_EQ(table->field(1).offset, 11);
  EXPECT_EQ(table->field(2).offset, 19);
  EXPECT_EQ(table->field(1).decimals, 2);
  EXPECT_EQ(table->recordLength(), 27u);
  // The offsets are also stored in bytes 12-13 of the descriptors.
  EXPECT_EQ(table->descriptors()[2].offset(), 19);
}

TEST(DbfTableLayout, CharacterFieldLongerThan255MovesLaterOffsetsByItsFullLength) {
  auto table = TableBuilder(0x30).field("LONG", 'C', 300).field("AFTER", 'C', 2)
                   .record({std::string(299, 'x') + "y", "ok"}).open();
  ASSERT_EQ(table->fieldCount(), 2);
  EXPECT_EQ(table->field(0).length, 300);
  EXPECT_EQ(table->field(1).offset, 301);
  const uint8_t* record = table->readNextRecord();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record) + 301, 2), "ok");
}

TEST(DbfTableLayout, VisualFoxProOutsideAContainerYieldsExactlyItsFields) {
  // The count from the header length includes the 263-byte backlink area.
  auto table = TableBuilder(0x30).field("A", 'C', 3).field("B", 'I', 4).record({"abc", test::le32(7)}).open();
  EXPECT_EQ(table->fieldCount(), 2);
  EXPECT_EQ(table->recordCount(), 1u);
}

TEST(DbfTableLayout, VisualFoxProInAContainerCountsFieldsWithoutTheBacklink) {
  auto table = TableBuilder(0x30).tableFlags(0x04).field("A", 'C', 3).field("B", 'C', 1).record({"abc", "d"}).open();
  EXPECT_EQ(table->fieldCount(), 2);
  EXPECT_EQ(table->field(1).offset, 4);
}

TEST(DbfTableLayout, LevelSevenKeepsLongNamesAndDropsZeroLengthFields) {
  auto table = TableBuilder(0x04).field("A_VERY_LONG_FIELD_NAME", 'C', 5).field("EMPTY", 'C', 0)
                   .field("NUMBER", 'I', 4).record({"hello", "", "\x80\0\0\5"}).open();
  ASSERT_EQ(table->fieldCount(), 2);
  EXPECT_EQ(table->field(0).name, "A_VERY_LONG_FIELD_NAME");
  // The 32-byte descriptor form holds the first 10 characters.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table->descriptors()[0].bytes.data())), "A_VERY_LON");
  EXPECT_EQ(table->field(1).name, "NUMBER");
  EXPECT_EQ(table->field(1).offset, 6);
  EXPECT_TRUE(table->isLevel7());
}

TEST(DbfTableLayout, ExcelDecimalsOnACharacterFieldAreNotAHighLengthByte) {
  // Read as a high byte the decimals make the field 522 bytes long, but the
  // header's record length only adds up with the low bytes.
  auto bytes = TableBuilder(0x03).field("NAME", 'C', 10).field("HEIGHT", 'C', 6).record({"Ann", "123.45"}).bytes();
  bytes[32 + 32 + 17] = 2;
  DbfTable table;
  std::string error;
  ASSERT_TRUE(openBytes(table, bytes, error)) << error;
  EXPECT_EQ(table.field(1).length, 6);
  EXPECT_EQ(table.recordLength(), 17u);
  EXPECT_EQ(table.recordCount(), 1u);
}

TEST(DbfTableDamage, RecordLengthsShorterThanTheFieldsAreRefusedNamingBothNumbers) {
  auto bytes = TableBuilder(0x03).field("A", 'C', 4).field("B", 'C', 4).record({"aaaa", "bbbb"}).bytes();
  DbfTable table;
  std::string error;
  // Longer records than the fields need are fine: the bytes past them belong to no field.
  writeLe16(&bytes[10], 12);
  EXPECT_TRUE(openBytes(table, bytes, error)) << error;
  for (uint16_t length : {8, 1}) {
    writeLe16(&bytes[10], length);
    EXPECT_FALSE(openBytes(table, bytes, error));
    EXPECT_NE(error.find("record length " + std::to_string(length) + " is smaller than the 9 bytes"),
              std::string::npos) << error;
  }
  // A record length of 0 is taken from the fields, as long as they fit a record.
  writeLe16(&bytes[10], 0);
  ASSERT_TRUE(openBytes(table, bytes, error)) << error;
  EXPECT_EQ(table.recordLength(), 9u);
  auto wide = TableBuilder(0x83).field("NAME", 'C', 65535).field("AMOUNT", 'N', 8).bytes();
  writeLe16(&wide[10], 0);
  EXPECT_FALSE(openBytes(table, wide, error));
  EXPECT_NE(error.find("65544"), std::string::npos) << error;
}

TEST(DbfTableDamage, HeaderLengthsEndingInsideTheDescriptorsAreRefused) {
  DbfTable table;
  std::string error;
  // Five fields end at byte 193; a header length of 100 would start the records in the third.
  TableBuilder five(0x03);
  for (const char* name : {"A", "B", "C", "D", "E"}) five.field(name, 'C', 3);
  auto bytes = five.record({"a", "b", "c", "d", "e"}).bytes();
  writeLe16(&bytes[8], 100);
  EXPECT_FALSE(openBytes(table, bytes, error));
  EXPECT_NE(error.find("header length 100 ends inside the field descriptors, which end at byte 193"),
            std::string::npos) << error;
  // One byte short: the end mark itself would be the first deletion flag.
  writeLe16(&bytes[8], 192);
  EXPECT_FALSE(openBytes(table, bytes, error));

  // Level 7 reads its descriptors to their end mark, whatever the header length.
  auto level7 = TableBuilder(0x04).field("A", 'C', 2).field("B", 'N', 3).record({"xy", "123"}).bytes();
  writeLe16(&level7[8], 0);
  EXPECT_FALSE(openBytes(table, level7, error));
  EXPECT_NE(error.find("header length 0 ends inside the field descriptors, which end at byte 165"),
            std::string::npos) << error;
}

TEST(DbfTableTypes, UnknownTypeLettersAreRefusedWithTheFieldNamed) {
  DbfTable table;
  std::string error;
  EXPECT_FALSE(openBytes(table, TableBuilder(0x03).field("GOOD", 'C', 2).field("ODD", 'X', 2).bytes(), error));
  EXPECT_NE(error.find("ODD"), std::string::npos) << error;
  EXPECT_NE(error.find("'X'"), std::string::npos) << error;
  EXPECT_FALSE(openBytes(table, TableBuilder(0x03).field("FLAGS", '0', 1).bytes(), error));
  EXPECT_FALSE(openBytes(table, TableBuilder(0x03).field("BLANK", ' ', 1).bytes(), error));
}

TEST(DbfTableTypes, NullFlagsFieldIsAcceptedInAnyCaseAndExcluded) {
  auto table = TableBuilder(0x30).field("NAME", 'C', 4).field("_NullFlags", '0', 1).record({"abcd", "\x01"}).open();
  ASSERT_EQ(table->fieldCount(), 2);
  EXPECT_EQ(table->field(0).kind.valueClass, ValueClass::Text);
  EXPECT_EQ(table->field(1).kind.valueClass, ValueClass::NullFlags);
  auto other = TableBuilder(0x30).field("_NULLFLAGS", 'Z', 1).open();
  EXPECT_EQ(other->fieldCount(), 1);
}

TEST(DbfTableRecords, HeaderCountSmallerThanTheFileIsRaised) {
  auto table = TableBuilder(0x03).field("A", 'C', 2).record({"r1"}).record({"r2"}).record({"r3"})
                   .headerRecordCount(1).open();
  EXPECT_EQ(table->recordCount(), 3u);
  EXPECT_FALSE(table->isShort());
  int walked = 0;
  while (table->readNextRecord()) ++walked;
  EXPECT_EQ(walked, 3);
}

TEST(DbfTableRecords, HeaderCountLargerThanTheFileWalksOnlyWholeRecords) {
  auto bytes = TableBuilder(0x03).field("A", 'C', 4).record({"r1"}).record({"r2"}).headerRecordCount(5)
                   .withoutEndMark().bytes();
  bytes.resize(bytes.size() + 2, 'x');  // a partial third record
  DbfTable table;
  std::string error;
  ASSERT_TRUE(openBytes(table, bytes, error)) << error;
  EXPECT_EQ(table.recordCount(), 2u);
  EXPECT_EQ(table.headerRecordCount(), 5u);
  EXPECT_TRUE(table.isShort());
  EXPECT_NE(table.readNextRecord(), nullptr);
  EXPECT_NE(table.readNextRecord(), nullptr);
  EXPECT_EQ(table.readNextRecord(), nullptr);
  EXPECT_EQ(table.readRecordAt(2), nullptr);
}

TEST(DbfTableRecords, EndMarkPaddedToARecordIsNoRecord) {
  auto bytes = TableBuilder(0x03).field("A", 'C', 4).record({"r1"}).withoutEndMark().bytes();
  bytes.push_back(0x1A);
  bytes.resize(bytes.size() + 4, ' ');
  DbfTable table;
  std::string error;
  ASSERT_TRUE(openBytes(table, bytes, error)) << error;
  EXPECT_EQ(table.recordCount(), 1u);
}

TEST(DbfTableRecords, EndOfFileByteIsNotARecordOfAOneByteRecordTable) {
  auto table = TableBuilder(0x03).record({}).record({}, true).open();
  EXPECT_EQ(table->fieldCount(), 0);
  EXPECT_EQ(table->recordCount(), 2u);
}

TEST(DbfTableRecords, ChunkedWalkAndPositionedReadsAgreeInBothDirections) {
  TableBuilder builder(0x03);
  builder.field("N", 'N', 7).field("PAD", 'C', 200);
  const int count = 5000;  // several read chunks
  for (int i = 0; i < count; ++i) builder.record({std::to_string(i), "p"}, i % 7 == 0);
  auto table = builder.open();
  ASSERT_EQ(table->recordCount(), static_cast<uint64_t>(count));
  std::vector<std::string> forward;
  while (const uint8_t* r = table->readNextRecord()) forward.push_back(recordText(*table, r));
  ASSERT_EQ(forward.size(), static_cast<size_t>(count));
  EXPECT_EQ(forward[4998].substr(0, 8), "*4998   ");
  for (int i = count - 1; i >= 0; --i) {
    const uint8_t* r = table->readRecordAt(static_cast<uint64_t>(i));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(recordText(*table, r), forward[static_cast<size_t>(i)]) << "record " << i;
  }
  EXPECT_EQ(recordText(*table, table->readRecordAt(1234)), forward[1234]);
  table->rewind();
  EXPECT_EQ(recordText(*table, table->readNextRecord()), forward[0]);
}

// The pages of a table's text: /CP:n, then /ANSI, then a mark naming a known
// page, then /OEM, then the user's pages.
TEST(DbfTableCodePage, TextPagesFollowTheOrderOfChoices) {
  struct Case {
    uint8_t version, mark;
    int codePage;
    bool ansi, oem;
    int wantAnsi, wantOem;
    bool wantOemText, wantNamed;
  };
  // The user's pages are 1252 and 850 throughout.
  const Case cases[] = {
      {0x03, 0x00, 0, false, false, 1252, 850, false, false},
      {0x03, 0x00, 0, false, true, 1252, 850, true, false},
      {0x03, 0xF0, 0, false, true, 1252, 850, true, false},    // unknown mark: as unmarked
      {0x03, 0x69, 0, false, true, 1252, 850, true, false},    // Mazovia: no iconv table, as unmarked
      {0x04, 0x00, 0, false, true, 1252, 850, false, false},   // level 7 is never OEM by request
      {0x03, 0xC9, 0, false, true, 1251, 866, false, true},    // a Windows mark wins over /OEM
      {0x03, 0x03, 0, false, false, 1252, 850, false, true},   // the user's own page keeps their OEM page
      {0x03, 0x7A, 0, false, false, 936, 936, false, true},
      {0x03, 0x65, 0, false, false, 1251, 866, true, true},    // a DOS mark: OEM text in its page
      {0x03, 0x1B, 0, false, true, 1252, 437, true, true},
      {0x03, 0x65, 0, true, true, 1252, 850, false, false},    // /ANSI: the user's page whatever the mark
      {0x03, 0xC9, 1250, true, false, 1250, 852, false, true}, // /CP:n before everything
      {0x03, 0xC9, 866, false, false, 1251, 866, true, true},
      {0x03, 0xC9, 12345, false, false, 1251, 866, false, true},  // a page not known is no choice
  };
  for (const Case& c : cases) {
    TableOpenOptions options;
    options.codePage = c.codePage;
    options.sourceIsAnsi = c.ansi;
    options.sourceIsOem = c.oem;
    options.userPages = {1252, 850};
    auto table = TableBuilder(c.version).codePageMark(c.mark).field("A", 'C', 1).open({}, options);
    SCOPED_TRACE(testing::Message() << "mark 0x" << std::hex << int{c.mark} << std::dec << " /CP:" << c.codePage
                                    << " ansi " << c.ansi << " oem " << c.oem);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->textPages().ansi, c.wantAnsi);
    EXPECT_EQ(table->textPages().oem, c.wantOem);
    EXPECT_EQ(table->sourceIsOem(), c.wantOemText);
    EXPECT_EQ(table->textPagesNamed(), c.wantNamed);
  }
}

TEST(DbfTableDamage, DamagedHeadersFailWithAReason) {
  DbfTable table;
  std::string error;
  EXPECT_FALSE(openBytes(table, {0x03}, error));
  EXPECT_NE(error.find("too short"), std::string::npos);

  auto shortHeader = TableBuilder(0x03).field("A", 'C', 1).bytes();
  writeLe16(&shortHeader[8], 16);
  EXPECT_FALSE(openBytes(table, shortHeader, error));
  EXPECT_FALSE(error.empty());

  // A header length that promises descriptors the file does not hold.
  auto cut = TableBuilder(0x03).field("A", 'C', 1).field("B", 'C', 1).bytes();
  cut.resize(32 + 32 + 10);
  EXPECT_FALSE(openBytes(table, cut, error));
  EXPECT_NE(error.find("past the end"), std::string::npos) << error;

  // A level 7 file that ends before its terminator.
  auto level7 = TableBuilder(0x04).field("A", 'C', 1).bytes();
  level7.resize(32 + 36 + 48);
  EXPECT_FALSE(openBytes(table, level7, error));
  EXPECT_NE(error.find("terminator"), std::string::npos) << error;
}

TEST(DbfTableDamage, MissingTerminatorTakesTheCountFromTheHeaderLength) {
  auto bytes = TableBuilder(0x03).field("A", 'C', 2).field("B", 'C', 2).record({"aa", "bb"}).bytes();
  bytes.erase(bytes.begin() + 32 + 64);  // drop the terminator
  writeLe16(&bytes[8], 32 + 64);
  DbfTable table;
  std::string error;
  ASSERT_TRUE(openBytes(table, bytes, error)) << error;
  EXPECT_EQ(table.fieldCount(), 2);
  EXPECT_EQ(table.recordCount(), 1u);
}

class DbfTableOnDisk : public ::testing::Test {
 protected:
  test::TempFolder dir;
};

TEST_F(DbfTableOnDisk, VersionThreeWithMemoFieldsIsReadAsEightyThreeAndFindsItsMemoIgnoringCase) {
  const std::string path = dir.at("agencias.dbf");
  test::writeFile(path, TableBuilder(0x03).field("NOTE", 'M', 10).record({"         1"}).bytes());
  std::vector<uint8_t> memo(1024, 0);
  writeLe32(memo.data(), 2);
  std::memcpy(memo.data() + 512, "hello\x1A\x1A", 7);
  test::writeFile(dir.at("AGENCIAS.DBT"), memo);

  DbfTable table;
  ASSERT_TRUE(test::succeeded(table.open(path, {})));
  EXPECT_EQ(table.version(), 0x83);
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->path(), dir.at("AGENCIAS.DBT"));
  EXPECT_EQ(table.memo()->readMemo(1), "hello");
  // The table was opened for reading: the file keeps its version byte.
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(in.get(), 0x03);
}

// Every file of a folder with its bytes.
std::map<std::string, std::vector<uint8_t>> folderBytes(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
  }
  return files;
}

TEST_F(DbfTableOnDisk, DamagedOrMissingMemoFilesAreReadNeverWrittenAndTheirLossReported) {
  auto table = TableBuilder(0x30).tableFlags(0x02).field("NAME", 'C', 4).field("NOTE", 'M', 4)
                   .record({"one", test::le32(8)}).record({"two", test::le32(0)}).record({"six", test::le32(9)}).bytes();
  const std::vector<uint8_t> memo = test::foxProMemoFile({"body", "more"});
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> memo;
    uint64_t lost;
  };
  const std::vector<Case> cases = {
      {"whole", memo, 0},
      {"missing", std::nullopt, 2},
      {"empty", std::vector<uint8_t>{}, 2},
      {"truncated", std::vector<uint8_t>(memo.begin(), memo.begin() + 580), 1},
      {"no block size", [&] { auto m = memo; m[7] = 0; return m; }(), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFolder source;
    test::TempFolder out;
    const std::string path = source.at("t.dbf");
    test::writeFile(path, table);
    if (c.memo) test::writeFile(source.at("t.fpt"), *c.memo);
    ::chmod(path.c_str(), 0444);  // a table the user may only read opens all the same
    const auto before = folderBytes(source.path());

    DbfTable t;
    ASSERT_TRUE(test::succeeded(t.open(path, {})));
    for (OutputFormat format : {OutputFormat::Csv, OutputFormat::VisualFoxPro}) {
      ConversionOptions o;
      o.outputFormat = format;
      o.outputPath = out.at(format == OutputFormat::Csv ? "out.csv" : "out.dbf");
      const ConversionResult result = runConversion(o, t, nullptr);
      EXPECT_EQ(result.recordsWritten, 3u);
      EXPECT_EQ(result.ok, c.lost == 0) << result.error;
      if (c.lost > 0) {
        EXPECT_NE(result.error.find(std::to_string(c.lost) + " memo value"), std::string::npos) << result.error;
      }
    }
    t.close();
    EXPECT_EQ(folderBytes(source.path()), before);
  }
}

TEST_F(DbfTableOnDisk, VisualFoxProWithoutMemoFlagReadsAnExistingMemoFileAndCreatesNone) {
  const std::string path = dir.at("t.dbf");
  test::writeFile(path, TableBuilder(0x30).field("NOTE", 'M', 4).record({test::le32(8)}).bytes());
  DbfTable table;
  ASSERT_TRUE(test::succeeded(table.open(path, {})));
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_FALSE(table.memo()->isOpen());
  EXPECT_EQ(table.memo()->path(), dir.at("t.fpt"));
  EXPECT_FALSE(std::filesystem::exists(dir.at("t.fpt")));

  test::writeFile(dir.at("T.FPT"), test::foxProMemoFile({"ok"}));
  ASSERT_TRUE(test::succeeded(table.open(path, {})));
  EXPECT_EQ(table.memo()->readMemo(8), "ok");
}

TEST_F(DbfTableOnDisk, DatabaseContainerReadsItsDctMemoFile) {
  const std::string path = dir.at("sales.DBC");
  test::writeFile(path, TableBuilder(0x30).tableFlags(0x06).field("CODE", 'M', 4).record({test::le32(8)}).bytes());
  test::writeFile(dir.at("sales.DCT"), test::foxProMemoFile({"body"}));
  test::writeFile(dir.at("sales.fpt"), std::vector<uint8_t>(512, 0));  // another table's memo file

  DbfTable table;
  ASSERT_TRUE(test::succeeded(table.open(path, {})));
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->path(), dir.at("sales.DCT"));
  EXPECT_EQ(table.memo()->readMemo(8), "body");
  EXPECT_EQ(memoExtensionFor("/a/b.scx", 0x30), "sct");
  EXPECT_EQ(memoExtensionFor("/a/b.DBF", 0x30), "fpt");
  EXPECT_EQ(memoExtensionFor("/a.x/b", 0xF5), "fpt");
  EXPECT_EQ(memoExtensionFor("/a/b.dbc", 0x83), "dbt");
}

TEST_F(DbfTableOnDisk, OpenFailureGivesTheSystemText) {
  DbfTable table;
  const Result absent = table.open(dir.at("absent.dbf"), {});
  EXPECT_FALSE(absent);
  EXPECT_EQ(absent.reason(), "No such file or directory");
  EXPECT_FALSE(table.open(dir.path(), {}));
}

}  // namespace
}  // namespace tabrix
