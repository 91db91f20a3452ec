#include "dbf/field_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/code_pages.h"
#include "table_builder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

using test::TableBuilder;

// Decodes field i of the first record.
std::string decode(DbfTable& table, int i, const DecodeOptions& options = {}) {
  table.rewind();
  const uint8_t* record = table.readNextRecord();
  EXPECT_NE(record, nullptr);
  if (!record) return {};
  std::string out(decodedTextCapacity(table.field(i)), '\0');
  out.resize(decodeFieldText(table, i, record, options, out.data()));
  return out;
}

std::string decodeOne(uint8_t version, char type, uint16_t length, const std::string& value, uint8_t decimals = 0,
                      const DecodeOptions& options = {}) {
  auto table = TableBuilder(version).field("F", type, length, decimals).record({value}).open();
  return decode(*table, 0, options);
}

DecodeOptions order(char o, char separator, bool skipSeconds = false) {
  DecodeOptions options;
  options.dateFormat = {o, separator};
  options.skipSeconds = skipSeconds;
  return options;
}

std::string foxProDateTime(uint32_t julianDay, uint32_t millis) { return test::le32(julianDay) + test::le32(millis); }

// Milliseconds of a level 7 timestamp, stored as a big-endian double.
std::string level7Timestamp(int year, unsigned month, unsigned day, int seconds) {
  const double days = static_cast<double>(daysFromCivil(year, month, day) + 719162 + 1);
  const double millis = (days * 86400 + seconds) * 1000;
  std::string le = test::doubleLe(millis);
  return std::string(le.rbegin(), le.rend());
}

TEST(DecodeDateTime, FoxProDateTimeRoundsMillisecondsToTheNearestSecond) {
  EXPECT_EQ(decodeOne(0x30, 'T', 8, foxProDateTime(2415386, 0), 0, order('1', '.')), "01.01.1901 00:00:00");
  EXPECT_EQ(decodeOne(0x30, 'T', 8, foxProDateTime(2451604, 0), 0, order('1', '.')), "29.02.2000 00:00:00");
  EXPECT_EQ(decodeOne(0x30, 'T', 8, foxProDateTime(2451604, 43199999), 0, order('1', '.')),
            "29.02.2000 12:00:00");
  EXPECT_EQ(decodeOne(0x30, 'T', 8, foxProDateTime(2451604, 45296789), 0, order('0', '/')),
            "02/29/2000 12:34:57");
  // 23:59:59.600 carries into the next day.
  EXPECT_EQ(decodeOne(0x30, 'T', 8, foxProDateTime(2451604, 86399600), 0, order('2', '-')),
            "2000-03-01 00:00:00");
}

TEST(DecodeDateTime, EmptyDateTimesGiveEmptyTextInEveryForm) {
  auto table = TableBuilder(0x30).field("T", 'T', 8).record({foxProDateTime(0, 5000)}).open();
  EXPECT_EQ(decode(*table, 0), "");
  const auto parts = decodeDateTime(*table, 0, table->record());
  EXPECT_FALSE(parts.has_value());
  char out[64];
  EXPECT_EQ(formatDateTimeIso(parts, false, IsoFlavour::Plain, out), 0u);
  EXPECT_EQ(formatDateTimeIso(parts, true, IsoFlavour::Oracle, out), 0u);
}

TEST(DecodeDateTime, SecondsAndTheYearFirstOrder) {
  const std::string value = foxProDateTime(2451604, (13 * 3600 + 5 * 60 + 9) * 1000);
  EXPECT_EQ(decodeOne(0x30, 'T', 8, value, 0, order('1', '.', true)), "29.02.2000 13:05");
  EXPECT_EQ(decodeOne(0x30, 'T', 8, value, 0, order('0', '-', true)), "02-29-2000 13:05");
  // The year-first order always shows its seconds.
  EXPECT_EQ(decodeOne(0x30, 'T', 8, value, 0, order('2', '/', true)), "2000/02/29 13:05:09");
}

TEST(DecodeDateTime, LevelSevenTimestampsSplitPlainly) {
  EXPECT_EQ(decodeOne(0x04, '@', 8, level7Timestamp(2020, 2, 20, 73220), 0, order('2', '-')), "2020-02-20 20:20:20");
  // The 59th minute stays where it is.
  EXPECT_EQ(decodeOne(0x04, '@', 8, level7Timestamp(1999, 12, 31, 10 * 3600 + 59 * 60 + 30), 0, order('2', '-')),
            "1999-12-31 10:59:30");
  EXPECT_EQ(decodeOne(0x04, '@', 8, std::string(8, '\0')), "");
  // In a level 7 table a T field holds the same bytes as @.
  EXPECT_EQ(decodeOne(0x04, 'T', 8, level7Timestamp(1800, 1, 1, 3661), 0, order('2', '-')), "1800-01-01 01:01:01");
}

TEST(DecodeDateTime, FourteenCharacterDateTimes) {
  EXPECT_EQ(decodeOne(0x30, 'T', 14, "20240131235958", 0, order('1', '.')), "31.01.2024 23.59.58");
}

TEST(DecodeNumbers, CurrencyWithFourOrTwoDecimals) {
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(123456), 4), "12.3456");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(123456), 2), "12.35");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(static_cast<uint64_t>(-1)), 4), "-0.0001");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(static_cast<uint64_t>(-1)), 2), "-0.00");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(1250), 2), "0.13");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(static_cast<uint64_t>(-12345)), 2), "-1.23");
  // Amounts past what 32 bits hold.
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(9223372036854775807ull), 4), "922337203685477.5807");
  EXPECT_EQ(decodeOne(0x30, 'Y', 8, test::le64(0x8000000000000000ull), 4), "-922337203685477.5808");
}

TEST(DecodeNumbers, IntegersOfBothByteOrders) {
  EXPECT_EQ(decodeOne(0x30, 'I', 4, test::le32(static_cast<uint32_t>(-42))), "-42");
  EXPECT_EQ(decodeOne(0x31, '+', 4, test::le32(2147483647)), "2147483647");
  EXPECT_EQ(decodeOne(0x04, 'I', 4, std::string("\x80\x00\x00\x05", 4)), "5");
  EXPECT_EQ(decodeOne(0x04, 'I', 4, std::string("\x7F\xFF\xFF\xFB", 4)), "-5");
  EXPECT_EQ(decodeOne(0x04, '+', 4, std::string(4, '\0')), "0");
}

TEST(DecodeNumbers, DoublesWithSixOrElevenDecimals) {
  EXPECT_EQ(decodeOne(0x30, 'B', 8, test::doubleLe(2.5)), "2.500000");
  DecodeOptions csv;
  csv.csvDoublePrecision = true;
  EXPECT_EQ(decodeOne(0x30, 'B', 8, test::doubleLe(-1.0 / 3), 0, csv), "-0.33333333333");
  // A huge double still fits the buffer.
  EXPECT_EQ(decodeOne(0x30, 'B', 8, test::doubleLe(1e300)).size(), 301u + 7);
  // Level 7 doubles: big-endian with the sign bit inverted.
  std::string le = test::doubleLe(12.5);
  std::string be(le.rbegin(), le.rend());
  be[0] = static_cast<char>(be[0] ^ 0x80);
  EXPECT_EQ(decodeOne(0x04, 'O', 8, be), "12.500000");
  std::string negative = test::doubleLe(-12.5);
  std::string negativeBe(negative.rbegin(), negative.rend());
  for (char& c : negativeBe) c = static_cast<char>(~c);
  EXPECT_EQ(decodeOne(0x04, 'O', 8, negativeBe), "-12.500000");
}

TEST(DecodeNumbers, NumericTextAsStoredOrWithoutDecimals) {
  EXPECT_EQ(decodeOne(0x03, 'N', 8, "  -12.50", 2), "  -12.50");
  DecodeOptions drop;
  drop.dropDecimals = true;
  EXPECT_EQ(decodeOne(0x03, 'N', 8, "  -12.50", 2, drop), "  -12");
  EXPECT_EQ(decodeOne(0x03, 'F', 6, "  1.25", 2, drop), "  1");
  // Zero padding ends the value.
  EXPECT_EQ(decodeOne(0x03, 'N', 5, std::string("12\0\0\0", 5)), "12");
}

TEST(DecodeText, CharactersAndOemTranslation) {
  EXPECT_EQ(decodeOne(0x03, 'C', 6, "ab  "), "ab    ");
  const CodePageTables tables = buildCodePageTables(1252, 437);
  DecodeOptions options;
  options.oemToAnsi = &tables.oemToAnsi;
  TableOpenOptions oem;
  oem.sourceIsOem = true;
  auto table = TableBuilder(0x03).field("C", 'C', 3).field("N", 'N', 1).record({"\x81x\x9a", "\x81"}).open({}, oem);
  EXPECT_EQ(decode(*table, 0, options), "\xFCx\xDC");
  EXPECT_EQ(decode(*table, 1, options), "\x81");  // only character fields are translated
  auto ansiTable = TableBuilder(0x03).codePageMark(0x03).field("C", 'C', 1).record({"\x81"}).open({}, oem);
  EXPECT_EQ(decode(*ansiTable, 0, options), "\x81");
}

TEST(DecodeText, DatesInTheUserOrder) {
  EXPECT_EQ(decodeOne(0x03, 'D', 8, "20000229", 0, order('1', '.')), "29.02.2000");
  EXPECT_EQ(decodeOne(0x03, 'D', 8, "20000229", 0, order('0', '/')), "02/29/2000");
  EXPECT_EQ(decodeOne(0x03, 'D', 8, "20000229", 0, order('2', '-')), "2000-02-29");
  EXPECT_EQ(decodeOne(0x03, 'D', 8, "        ", 0, order('1', '.')), "  .  .    ");
}

TEST(DecodeText, VarcharAndVarbinaryLengths) {
  EXPECT_EQ(decodeOne(0x32, 'V', 10, std::string("ABC\0\0\0\0\0\0\x03", 10)), "ABC");
  const std::string full = "ABCDEFGHI\xE9";
  EXPECT_EQ(decodeOne(0x32, 'V', 10, full), full);
  // A length byte beyond the field never reads past it.
  EXPECT_EQ(decodeOne(0x32, 'V', 4, std::string("AB \x7F", 4)), "AB ");
  EXPECT_EQ(decodeOne(0x32, 'Q', 2, std::string("\xAB\x01", 2)), ":;");
  EXPECT_EQ(decodeOne(0x32, 'Q', 4, std::string("\x10\xFF\x00\x04", 4)), "10??00");
}

TEST(DecodeText, MemoAndGeneralReferences) {
  EXPECT_EQ(decodeOne(0x83, 'M', 10, "          "), "");
  EXPECT_EQ(decodeOne(0x83, 'M', 10, "         5"), "Memo");
  EXPECT_EQ(decodeOne(0x30, 'M', 4, test::le32(0)), "");
  EXPECT_EQ(decodeOne(0x30, 'M', 4, test::le32(9)), "Memo");
  EXPECT_EQ(decodeOne(0x30, 'G', 4, test::le32(3)), "Gen");
  EXPECT_EQ(decodeOne(0xF5, 'G', 10, "          "), "");
  EXPECT_EQ(decodeOne(0x8C, 'B', 10, "        12"), "Memo");
  auto smt = TableBuilder(0xE5).field("M", 'M', 10).record({std::string("\0\0", 2) + test::le32(77) + test::le32(3)}).open();
  const MemoRef ref = memoBlockOf(*smt, 0, smt->readNextRecord());
  EXPECT_EQ(ref.block, 3u);
  EXPECT_EQ(ref.length, 77u);
}

TEST(DecodeText, OtherTypesCopyTheirBytes) {
  EXPECT_EQ(decodeOne(0x03, 'L', 1, "T"), "T");
  EXPECT_EQ(decodeOne(0x03, 'L', 1, "?"), "?");
  EXPECT_EQ(decodeOne(0x30, 'P', 4, std::string("ab\0c", 4)), "ab");
  EXPECT_EQ(decodeOne(0x30, 'W', 4, "wxyz"), "wxyz");
}

TEST(DecodeText, ShortBinaryFieldsNeverReadBeyondTheField) {
  // A 2-byte I field followed by a marker: the marker must not become part of the value.
  auto table = TableBuilder(0x30).field("I", 'I', 2).field("X", 'C', 2).record({std::string("\x05\x00", 2), "\xFF\xFF"}).open();
  EXPECT_EQ(decode(*table, 0), "5");
}

// The memo of field 0 in every record, each with whether it was read whole.
struct MemoValues {
  std::vector<std::string> texts;
  std::vector<bool> whole;
};
MemoValues readAllMemos(DbfTable& table) {
  MemoValues v;
  table.rewind();
  while (const uint8_t* record = table.readNextRecord()) {
    const MemoRead read = readFieldMemo(table, 0, record);
    v.texts.emplace_back(read.text);
    v.whole.push_back(read.whole);
  }
  return v;
}

// A FoxPro memo file with 64-byte blocks: "hello" at block 8, and at block 9 a
// memo claiming 100 bytes of which the file holds 3.
std::vector<uint8_t> foxProMemos() {
  std::vector<uint8_t> memo = test::foxProMemoFile({"hello", "abc"});
  writeBe32(memo.data() + 580, 100);
  return memo;
}

TEST(ReadFieldMemo, LostMemosAreCountedAndWhatTheFileHoldsIsKept) {
  auto table = TableBuilder(0x30).tableFlags(0x02).field("NOTE", 'M', 4)
                   .record({test::le32(8)}).record({test::le32(0)}).record({test::le32(99)})
                   .record({test::le32(9)}).open(foxProMemos());
  const MemoValues v = readAllMemos(*table);
  EXPECT_EQ(v.texts, (std::vector<std::string>{"hello", "", "", "abc"}));
  EXPECT_EQ(v.whole, (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(table->lostMemos(), 2u);
  table->resetLostMemos();
  EXPECT_EQ(table->lostMemos(), 0u);
}

TEST(ReadFieldMemo, DamagedDecimalPointersAndDBaseThreeBlocks) {
  std::vector<uint8_t> memo(512 * 3 + 10, 0);
  std::memcpy(memo.data() + 512, "first\x1A\x1A", 7);
  std::memset(memo.data() + 1024, 'x', 512 + 10);  // block 2 runs to the end without its end mark
  auto table = TableBuilder(0x83).field("NOTE", 'M', 10)
                   .record({"         1"}).record({"          "}).record({"0000000000"})
                   .record({"  12ab?   "}).record({"9999999999"}).record({"        40"}).record({"         2"})
                   .open(memo);
  const MemoValues v = readAllMemos(*table);
  EXPECT_EQ(v.texts[0], "first");
  EXPECT_EQ(v.whole, (std::vector<bool>{true, true, true, false, false, false, false}));
  EXPECT_EQ(v.texts[6], std::string(522, 'x'));
  // "  12ab?" reads as block 12, outside the file; 9999999999 is no 32-bit block number.
  EXPECT_EQ(table->lostMemos(), 4u);
}

TEST(ReadFieldMemo, EveryPointerIsLostWithoutAUsableMemoFile) {
  TableBuilder builder(0x8B);
  builder.field("NOTE", 'M', 10).record({"         1"}).record({"          "}).record({"         3"});
  // No memo file at all.
  auto none = builder.open();
  EXPECT_EQ(none->memo(), nullptr);
  readAllMemos(*none);
  EXPECT_EQ(none->lostMemos(), 2u);

  // A memo file shorter than its header, and one whose block 1 lacks the dBase IV mark.
  auto cut = builder.open(std::vector<uint8_t>(300, 0));
  EXPECT_FALSE(cut->memo()->headerIsSound());
  readAllMemos(*cut);
  EXPECT_EQ(cut->lostMemos(), 2u);
  std::vector<uint8_t> unmarked(512 * 4, 'z');
  writeLe16(unmarked.data() + 20, 512);
  auto noMark = builder.open(unmarked);
  EXPECT_TRUE(noMark->memo()->headerIsSound());
  EXPECT_EQ(readAllMemos(*noMark).texts, (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(noMark->lostMemos(), 2u);

  // A FoxPro header with block size 0.
  std::vector<uint8_t> zero = foxProMemos();
  zero[7] = 0;
  auto noSize = TableBuilder(0x30).tableFlags(0x02).field("NOTE", 'M', 4).record({test::le32(8)}).open(zero);
  readAllMemos(*noSize);
  EXPECT_EQ(noSize->lostMemos(), 1u);
}

TEST(ReadFieldMemo, AnEmptyMemoFileIsReadNotRepaired) {
  auto memoStore = std::make_unique<MemoryStore>(std::vector<uint8_t>{});
  const MemoryStore* memoBytes = memoStore.get();
  DbfTable table;
  ASSERT_TRUE(test::succeeded(table.openFrom(
      std::make_unique<MemoryStore>(TableBuilder(0x30).tableFlags(0x02).field("NOTE", 'M', 4).record({test::le32(8)}).bytes()),
      std::move(memoStore), {})));
  readAllMemos(table);
  EXPECT_EQ(table.lostMemos(), 1u);
  EXPECT_TRUE(memoBytes->bytes().empty());  // no fresh header written over it
}

}  // namespace
}  // namespace tabrix
