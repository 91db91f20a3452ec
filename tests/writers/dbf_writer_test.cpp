#include "writers/dbf_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "convert/conversion.h"
#include "dbf/date_time.h"
#include "dbf/dbf_format.h"
#include "dbf/field_decoder.h"
#include "dbf/table_builder.h"
#include "support/temp_folder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

using test::TableBuilder;

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string text(const std::vector<uint8_t>& bytes, size_t at, size_t n) {
  return {reinterpret_cast<const char*>(bytes.data()) + at, n};
}

ConversionOptions optionsFor(OutputFormat format, const std::string& output) {
  ConversionOptions o;
  o.outputFormat = format;
  o.outputPath = output;
  return o;
}

ConversionResult convert(DbfTable& table, const ConversionOptions& o) { return runConversion(o, table, nullptr); }

std::unique_ptr<DbfTable> openPath(const std::string& path) {
  auto table = std::make_unique<DbfTable>();
  EXPECT_TRUE(test::succeeded(table->open(path, {})));
  return table;
}

// The text our reader makes of field i of record n.
std::string valueText(DbfTable& table, int i, uint64_t n) {
  const uint8_t* record = table.readRecordAt(n);
  std::vector<char> buffer(decodedTextCapacity(table.field(i)));
  DecodeOptions options;
  options.dateFormat = {'2', '-'};
  return {buffer.data(), decodeFieldText(table, i, record, options, buffer.data())};
}

std::string foxProDateTime(int year, unsigned month, unsigned day, uint32_t millis) {
  return test::le32(static_cast<uint32_t>(daysFromCivil(year, month, day) + 2440588)) + test::le32(millis);
}

// Descriptor k of a 32-byte layout.
const uint8_t* descriptor(const std::vector<uint8_t>& dbf, size_t k) { return dbf.data() + 32 + 32 * k; }

TEST(DbfOutputDBase3, VisualFoxProTypesBecomeTypesOfDBaseIIIWideEnoughForEveryValue) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x30)
                         .field("NAME", 'C', 10)
                         .field("CNT", 'I', 4)
                         .field("PRICE", 'Y', 8, 4)
                         .field("STAMP", 'T', 8)
                         .field("RATE", 'B', 8)
                         .record({"abc", test::le32(0x80000000u), test::le64(0x8000000000000000ull),
                                  foxProDateTime(2024, 3, 5, (10 * 60 + 20) * 60000), test::doubleLe(-1.7976931348623157e308)})
                         .record({"", test::le32(42), test::le64(123456), std::string(8, '\0'), test::doubleLe(2.5)}, true)
                         .open();
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase3, out)).ok);
  const auto dbf = fileBytes(out);
  ASSERT_GE(dbf.size(), 32u * 5 + 33);
  EXPECT_EQ(dbf[0], 0x03);
  EXPECT_EQ(readLe32(&dbf[4]), 2u);
  EXPECT_EQ(readLe16(&dbf[8]), 32 * 5 + 33);
  const struct {
    char type;
    uint8_t length, decimals;
  } expected[] = {{'C', 10, 0}, {'N', 11, 0}, {'N', 21, 4}, {'D', 8, 0}, {'N', 24, 4}};
  uint32_t recordLength = 1;
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(descriptor(dbf, k)[11], expected[k].type) << k;
    EXPECT_EQ(descriptor(dbf, k)[16], expected[k].length) << k;
    EXPECT_EQ(descriptor(dbf, k)[17], expected[k].decimals) << k;
    recordLength += expected[k].length;
  }
  EXPECT_EQ(readLe16(&dbf[10]), recordLength);
  EXPECT_EQ(dbf[32 * 5 + 32], kDescriptorTerminator);
  const size_t first = 32 * 5 + 33;
  EXPECT_EQ(text(dbf, first, recordLength),
            " abc       -2147483648-922337203685477.580820240305-1.7976931348623157e+308");
  EXPECT_EQ(text(dbf, first + recordLength, recordLength),
            "*                   42              12.3456                             2.5");
  EXPECT_EQ(dbf.size(), first + 2 * recordLength + 1);
  EXPECT_EQ(dbf.back(), kEndOfFile);
}

TEST(DbfOutputVisualFoxPro, MemoGetsFourByteBlocksOffsetsAndTheBacklinkArea) {
  test::TempFolder folder;
  std::vector<uint8_t> memo(1024, 0);  // a dBase III memo file with "hello" at block 1
  writeLe32(memo.data(), 2);
  std::memcpy(memo.data() + 512, "hello\x1A\x1A", 7);
  const auto table = TableBuilder(0x83)
                         .field("NAME", 'C', 5)
                         .field("NOTE", 'M', 10)
                         .record({"ab", "         1"})
                         .record({"cd", "          "})
                         .open(memo);
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::VisualFoxPro, out)).ok);
  const auto dbf = fileBytes(out);
  const size_t headerLength = 32 * 2 + 296;
  ASSERT_GT(dbf.size(), headerLength);
  EXPECT_EQ(dbf[0], 0x30);
  EXPECT_EQ(dbf[28], kFlagHasMemo);
  EXPECT_EQ(dbf[29], 0x03);
  EXPECT_EQ(readLe16(&dbf[8]), headerLength);
  EXPECT_EQ(readLe16(&dbf[10]), 1 + 5 + 4);
  EXPECT_EQ(descriptor(dbf, 1)[11], 'M');
  EXPECT_EQ(descriptor(dbf, 1)[16], 4);
  EXPECT_EQ(readLe32(descriptor(dbf, 0) + 12), 1u);
  EXPECT_EQ(readLe32(descriptor(dbf, 1) + 12), 6u);
  EXPECT_EQ(dbf[32 + 64], kDescriptorTerminator);
  EXPECT_TRUE(std::all_of(dbf.begin() + 32 + 65, dbf.begin() + headerLength, [](uint8_t b) { return b == 0; }));
  const uint32_t block = readLe32(&dbf[headerLength + 6]);
  EXPECT_EQ(block, 8u);  // the first block after a FoxPro header of 512 bytes in blocks of 64
  EXPECT_EQ(readLe32(&dbf[headerLength + 10 + 6]), 0u);

  auto written = openPath(out);
  ASSERT_NE(written->memo(), nullptr);
  EXPECT_EQ(written->memo()->path(), folder.at("out.fpt"));
  EXPECT_EQ(written->memo()->readMemo(block), "hello");
}

TEST(DbfOutputLevel7, HeaderDescriptorsAndValuesConvertedFromVisualFoxPro) {
  test::TempFolder folder;
  const std::string stamp = foxProDateTime(2024, 3, 5, 37200123);
  const auto table = TableBuilder(0x30)
                         .field("LONGER", 'C', 4)
                         .field("STAMP", 'T', 8)
                         .field("RATE", 'B', 8)
                         .record({"x", stamp, test::doubleLe(-2.5)})
                         .open();
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase7, out)).ok);
  const auto dbf = fileBytes(out);
  ASSERT_GT(dbf.size(), 213u);
  EXPECT_EQ(dbf[0], 0x04);
  EXPECT_EQ(readLe16(&dbf[8]), 213);
  EXPECT_EQ(text(dbf, 32, 9), std::string("DBWINUS0\0", 9));
  EXPECT_EQ(text(dbf, 68, 7), std::string("LONGER\0", 7));
  EXPECT_EQ(dbf[68 + 32], 'C');
  EXPECT_EQ(dbf[68 + 48 + 32], '@');
  EXPECT_EQ(dbf[68 + 96 + 32], 'O');
  EXPECT_EQ(dbf[212], kDescriptorTerminator);
  // -2.5 as a level 7 double: big-endian, every bit inverted for a negative.
  EXPECT_EQ(text(dbf, 213 + 1 + 4 + 8, 8), std::string("\x3F\xFB\xFF\xFF\xFF\xFF\xFF\xFF", 8));

  auto level7 = openPath(out);
  EXPECT_EQ(valueText(*level7, 1, 0), "2024-03-05 10:20:00");
  EXPECT_EQ(valueText(*level7, 2, 0), "-2.500000");
  // Back to Visual FoxPro: the same day and milliseconds.
  const std::string back = folder.at("back.dbf");
  ASSERT_TRUE(convert(*level7, optionsFor(OutputFormat::VisualFoxPro, back)).ok);
  const auto vfp = fileBytes(back);
  EXPECT_EQ(descriptor(vfp, 1)[11], 'T');
  EXPECT_EQ(descriptor(vfp, 2)[11], 'B');
  const size_t record = 32 * 3 + 296;
  EXPECT_EQ(text(vfp, record + 5, 8), stamp);
  EXPECT_EQ(text(vfp, record + 13, 8), test::doubleLe(-2.5));
}

TEST(DbfOutputLevel7, LevelSevenIntegersDoublesAndTimestampsBecomeTheirVisualFoxProForms) {
  test::TempFolder folder;
  // Level 7 integers are big-endian with the sign bit inverted; -5 is 7F FF FF FB.
  const auto table = TableBuilder(0x04)
                         .field("COUNT", 'I', 4)
                         .field("NEXT", '+', 4)
                         .field("SIZE", 'O', 8)
                         .record({std::string("\x7F\xFF\xFF\xFB", 4), std::string("\x80\x00\x00\x07", 4),
                                  std::string("\xC0\x04\x00\x00\x00\x00\x00\x00", 8)})
                         .open();
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::VisualFoxPro, out)).ok);
  const auto vfp = fileBytes(out);
  EXPECT_EQ(descriptor(vfp, 0)[11], 'I');
  EXPECT_EQ(descriptor(vfp, 1)[11], 'I');
  EXPECT_EQ(descriptor(vfp, 2)[11], 'B');
  const size_t record = 32 * 3 + 296;
  EXPECT_EQ(text(vfp, record + 1, 4), test::le32(static_cast<uint32_t>(-5)));
  EXPECT_EQ(text(vfp, record + 5, 4), test::le32(7));
  EXPECT_EQ(text(vfp, record + 9, 8), test::doubleLe(2.5));

  // Into dBase III the same values are text.
  const std::string dbase3 = folder.at("three.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase3, dbase3)).ok);
  const auto three = fileBytes(dbase3);
  EXPECT_EQ(text(three, 32 * 3 + 33, 1 + 11 + 11 + 24), std::string(" ") + "         -5" + "          7" +
                                                            std::string(21, ' ') + "2.5");
}

TEST(DbfOutputMemo, UnexportedMemoStillMakesTheMemoVersionAndAMemoFile) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x83).field("NAME", 'C', 3).field("NOTE", 'M', 10).record({"a", "          "}).open({});
  const std::string out = folder.at("out.dbf");
  ConversionOptions o = optionsFor(OutputFormat::DBase3, out);
  o.columns = {{"NOTE"}, {"NOTE"}, /*exclude=*/true, {}};
  ASSERT_TRUE(convert(*table, o).ok);
  const auto dbf = fileBytes(out);
  EXPECT_EQ(dbf[0], 0x83);
  EXPECT_EQ(readLe16(&dbf[8]), 32 + 33);
  EXPECT_EQ(fileBytes(folder.at("out.dbt")).size(), 512u);
}

TEST(DbfOutputMemo, SameVersionCopiesTheMemoFileWholeOtherVersionsRewriteIt) {
  test::TempFolder folder;
  std::vector<uint8_t> memo(3 * 512, 0);  // memos at blocks 1 and 2, as another program placed them
  writeLe32(memo.data(), 3);
  std::memcpy(memo.data() + 512, "first\x1A\x1A", 7);
  std::memcpy(memo.data() + 1024, "second\x1A\x1A", 8);
  const std::string source = folder.at("src.dbf");
  test::writeFile(source, TableBuilder(0x83)
                              .field("NOTE", 'M', 10)
                              .record({"         2"})
                              .record({"         1"})
                              .bytes());
  test::writeFile(folder.at("src.dbt"), memo);
  auto table = openPath(source);

  const std::string same = folder.at("same.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase3, same)).ok);
  EXPECT_EQ(fileBytes(folder.at("same.dbt")), memo);
  const auto dbf = fileBytes(same);
  EXPECT_EQ(text(dbf, 32 + 33, 22), "          2          1");

  const std::string vfp = folder.at("fox.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::VisualFoxPro, vfp)).ok);
  auto fox = openPath(vfp);
  EXPECT_EQ(fox->memo()->readMemo(readLe32(fox->readRecordAt(0) + 1)), "second");
  EXPECT_EQ(fox->memo()->readMemo(readLe32(fox->readRecordAt(1) + 1)), "first");
}

TEST(DbfOutputMemo, NewTableReplacesAMemoFileLeftFromAnEarlierRun) {
  test::TempFolder folder;
  std::vector<uint8_t> memo(1024, 0);
  writeLe32(memo.data(), 2);
  std::memcpy(memo.data() + 512, "text\x1A\x1A", 6);
  const auto table = TableBuilder(0x83).field("NOTE", 'M', 10).record({"         1"}).open(memo);
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase4, out)).ok);
  const auto first = fileBytes(folder.at("out.dbt"));
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase4, out)).ok);
  EXPECT_EQ(fileBytes(folder.at("out.dbt")), first);
  EXPECT_EQ(first.size(), 1024u);  // header block and one memo block
}

TEST(DbfOutputMemo, MemoHoldingTheDBaseIIIEndMarkIsReported) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x30)
                         .tableFlags(kFlagHasMemo)
                         .field("NOTE", 'M', 4)
                         .record({test::le32(8)})
                         .open([] {
                           std::vector<uint8_t> fpt(512 + 64, 0);
                           writeBe32(fpt.data(), 9);
                           fpt[7] = 64;
                           writeBe32(fpt.data() + 512, 1);
                           writeBe32(fpt.data() + 516, 3);
                           std::memcpy(fpt.data() + 520, "a\x1A" "b", 3);
                           return fpt;
                         }());
  const ConversionResult result = convert(*table, optionsFor(OutputFormat::DBase3, folder.at("out.dbf")));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("0x1A"), std::string::npos) << result.error;
}

TEST(DbfOutputRecords, DeletedRecordKeepsItsFlagAndZeroRecordsGiveHeaderAndEndMark) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x03).field("X", 'C', 2).record({"a"}).record({"b"}, true).open();
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase3, out)).ok);
  auto dbf = fileBytes(out);
  EXPECT_EQ(text(dbf, 65, 7), " a *b \x1A");

  const auto empty = TableBuilder(0x03).field("X", 'C', 2).open();
  ASSERT_TRUE(convert(*empty, optionsFor(OutputFormat::DBase4, out)).ok);
  dbf = fileBytes(out);
  ASSERT_EQ(dbf.size(), 66u);
  EXPECT_EQ(dbf[0], 0x43);
  EXPECT_EQ(readLe32(&dbf[4]), 0u);
  EXPECT_EQ(dbf[64], kDescriptorTerminator);
  EXPECT_EQ(dbf[65], kEndOfFile);
}

TEST(DbfOutputAppend, SameLayoutAppendsRecordsAndMemosOtherLayoutsAreRefused) {
  test::TempFolder folder;
  std::vector<uint8_t> memo(1024, 0);
  writeLe32(memo.data(), 2);
  std::memcpy(memo.data() + 512, "note\x1A\x1A", 6);
  const std::string source = folder.at("src.dbf");
  test::writeFile(source, TableBuilder(0x83).field("X", 'C', 2).field("NOTE", 'M', 10).record({"a", "         1"}).bytes());
  test::writeFile(folder.at("src.dbt"), memo);
  const auto table = openPath(source);
  const std::string out = folder.at("out.dbf");
  ConversionOptions o = optionsFor(OutputFormat::DBase3, out);
  o.appendToOutput = true;
  ASSERT_TRUE(convert(*table, o).ok);
  ASSERT_TRUE(convert(*table, o).ok);
  auto appended = openPath(out);
  ASSERT_EQ(appended->recordCount(), 2u);
  EXPECT_EQ(appended->headerRecordCount(), 2u);
  EXPECT_EQ(fileBytes(out).back(), kEndOfFile);
  EXPECT_EQ(fileBytes(out).size(), 97u + 2 * 13 + 1);
  for (uint64_t n = 0; n < 2; ++n) {
    const uint8_t* record = appended->readRecordAt(n);
    EXPECT_EQ(appended->memo()->readMemo(memoBlockOf(*appended, 1, record).block), "note") << n;
  }
  appended.reset();

  const auto before = fileBytes(out);
  const auto other = TableBuilder(0x03).field("Y", 'C', 2).record({"b"}).open();
  const ConversionResult refused = convert(*other, o);
  EXPECT_FALSE(refused.ok);
  EXPECT_FALSE(refused.error.empty());
  EXPECT_EQ(fileBytes(out), before);
}

TEST(DbfOutputRecords, OutputOverTheSourceTableIsRefused) {
  test::TempFolder folder;
  const std::string source = folder.at("src.dbf");
  test::writeFile(source, TableBuilder(0x03).field("X", 'C', 2).record({"a"}).bytes());
  const auto before = fileBytes(source);
  auto table = openPath(source);
  const ConversionResult result = convert(*table, optionsFor(OutputFormat::DBase3, source));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(fileBytes(source), before);
}

TEST(DbfOutputVersion, FormatIndexOrCommandLineVersionChoosesTheLevel) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x30).field("X", 'C', 1).record({"a"}).open();
  const std::string out = folder.at("out.dbf");
  ConversionOptions o = optionsFor(OutputFormat::DBase7, out);
  o.commandLineMode = true;
  o.keepSourceDbfVersion = true;
  ASSERT_TRUE(convert(*table, o).ok);
  EXPECT_EQ(fileBytes(out)[0], 0x30);
  o.keepSourceDbfVersion = false;
  o.dbfVersion = 0x43;
  ASSERT_TRUE(convert(*table, o).ok);
  EXPECT_EQ(fileBytes(out)[0], 0x43);
  o.commandLineMode = false;
  ASSERT_TRUE(convert(*table, o).ok);
  EXPECT_EQ(fileBytes(out)[0], 0x04);
}

TEST(DbfOutputNames, NamesCutToTenCharactersStayDistinct) {
  test::TempFolder folder;
  const auto table = TableBuilder(0x04)
                         .field("CUSTOMER_NAME_1", 'C', 3)
                         .field("CUSTOMER_NAME_2", 'C', 3)
                         .record({"a", "b"})
                         .open();
  const std::string out = folder.at("out.dbf");
  ASSERT_TRUE(convert(*table, optionsFor(OutputFormat::DBase3, out)).ok);
  const auto dbf = fileBytes(out);
  EXPECT_EQ(text(dbf, 32, 11), std::string("CUSTOMER_N\0", 11));
  EXPECT_EQ(text(dbf, 64, 11), std::string("CUSTOMER_1\0", 11));
}

TEST(PrgOutput, ScriptListsExportedFieldsAndAlignsShortTitlesOnly) {
  test::TempFolder folder;
  const std::string source = folder.at("clients.dbf");
  test::writeFile(source, TableBuilder(0x03)
                              .field("NAME", 'C', 300)
                              .field("PRICE", 'N', 8, 2)
                              .field("GONE", 'L', 1)
                              .bytes());
  auto table = openPath(source);
  const std::string out = folder.at("out.prg");
  ConversionOptions o = optionsFor(OutputFormat::Prg, out);
  o.columns = {{"NAME", "PRICE"}, {"NAME", std::string(33, 'T')}, false, {}};
  ASSERT_TRUE(convert(*table, o).ok);
  const auto prg = fileBytes(out);
  EXPECT_EQ(text(prg, 0, prg.size()), " DBCREATE (\"clients.dbf\", {;\r\n"
                                       "{\"NAME\",  " + std::string(27, ' ') + "\"C\",  44,  1  },; \r\n"
                                       "{\"" + std::string(33, 'T') + "\",  \"N\",  8,  2  },; \r\n"
                                       "\r\n })");
}

}  // namespace
}  // namespace tabrix
