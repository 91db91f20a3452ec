// Tables written by python3-dbf, a DBF writer independent of Tabrix, read back
// through DbfTable and compared field by field with what the writer stored.
// make_tables.py writes the tables and prints the stored values, so every
// expected text here comes from the writer's side, not from our decoder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "dbf/memo_file.h"
#include "platform/code_pages.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

// Debian's Python modules load only in the system interpreter.
constexpr const char* kPython = "/usr/bin/python3";

struct ExpectedValue {
  std::string kind;  // a line kind of make_tables.py: text, date, datetime, ...
  std::vector<std::string> args;
};

struct ExpectedField {
  std::string name;
  char type = 0;
  int offset = 0;
  int length = 0;
  int decimals = 0;
};

struct ExpectedRecord {
  bool deleted = false;
  std::vector<ExpectedValue> values;  // one per field
};

struct ExpectedTable {
  std::string file;
  std::vector<ExpectedField> fields;
  std::vector<ExpectedRecord> records;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string unhex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::vector<ExpectedTable> parseExpected(const std::string& text) {
  std::vector<ExpectedTable> tables;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> parts;
    std::istringstream items(line);
    for (std::string item; std::getline(items, item, '\t');) parts.push_back(item);
    if (parts.empty()) continue;
    const std::string kind = parts[0];
    parts.erase(parts.begin());
    if (kind == "table") {
      tables.push_back({parts.at(0), {}, {}});
    } else if (kind == "field") {
      tables.back().fields.push_back(
          {parts.at(0), parts.at(1).at(0), std::stoi(parts.at(2)), std::stoi(parts.at(3)), std::stoi(parts.at(4))});
    } else if (kind == "record") {
      tables.back().records.push_back({parts.at(0) == "1", {}});
    } else {
      tables.back().records.back().values.push_back({kind, parts});
    }
  }
  return tables;
}

std::string two(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string localDate(const std::string& year, const std::string& month, const std::string& day, DateFormat format) {
  const std::string s(1, format.separator);
  if (format.order == '0') return month + s + day + s + year;
  if (format.order == '2') return year + s + month + s + day;
  return day + s + month + s + year;
}

DecodeOptions withDates(char order, char separator) {
  DecodeOptions options;
  options.dateFormat = DateFormat{order, separator};
  return options;
}

// How a table is read and what its texts should then look like.
struct ReadCheck {
  DecodeOptions options;
  MemoFile* memo = nullptr;  // where the memo texts are read from
  bool ansiText = false;     // C fields come out in the ANSI code page paired with the table's OEM one
};

// The text decodeFieldText must give for a value the writer stored.
std::string expectedText(const ExpectedField& field, const ExpectedValue& value, const ReadCheck& check) {
  const std::vector<std::string>& a = value.args;
  const DecodeOptions& options = check.options;
  if (value.kind == "text") return unhex(check.ansiText && a.size() > 1 ? a[1] : a.at(0));
  if (value.kind == "date") {
    if (a.at(0) == "blank") return localDate("    ", "  ", "  ", options.dateFormat);
    return localDate(a.at(0), a.at(1), a.at(2), options.dateFormat);
  }
  if (value.kind == "datetime") {
    if (a.at(0) == "empty") return "";
    std::string text = localDate(a.at(0), two(std::stoi(a.at(1))), two(std::stoi(a.at(2))), options.dateFormat) + " " +
                       two(std::stoi(a.at(3))) + ":" + two(std::stoi(a.at(4)));
    // Year-first dates keep their seconds even when asked to drop them.
    if (!options.skipSeconds || options.dateFormat.order == '2') text += ":" + two(std::stoi(a.at(5)));
    return text;
  }
  if (value.kind == "currency") return field.decimals == 4 ? a.at(0) : a.at(1);
  if (value.kind == "double") return options.csvDoublePrecision ? a.at(1) : a.at(0);
  if (value.kind == "integer") return a.at(0);
  // A memo field names its kind whenever it holds a block, even one of an empty text.
  if (value.kind == "memo") return a.at(1) == "0" ? "" : "Memo";
  if (value.kind == "general") return a.at(1) == "0" ? "" : "Gen";
  if (value.kind == "raw") {
    const std::string bytes = unhex(a.at(0));
    return bytes.substr(0, bytes.find('\0'));
  }
  ADD_FAILURE() << "make_tables.py printed an unknown kind: " << value.kind;
  return {};
}

// decodeFieldText into a buffer of exactly the documented capacity, followed
// by guard bytes that must stay untouched.
std::string decode(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options) {
  constexpr char kGuard = 0x5A;
  const size_t capacity = decodedTextCapacity(table.field(i));
  std::vector<char> buffer(capacity + 32, kGuard);
  const size_t n = decodeFieldText(table, i, record, options, buffer.data());
  EXPECT_LE(n, capacity);
  EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(),
                          [](char c) { return c == kGuard; }))
      << "decodeFieldText wrote past its capacity of " << capacity;
  return std::string(buffer.data(), std::min(n, capacity));
}

// The memo of field i: the writer's block number and the text stored there.
void expectMemo(const DbfTable& table, int i, const uint8_t* record, MemoFile* memo, const ExpectedValue& value) {
  const MemoRef ref = memoBlockOf(table, i, record);
  EXPECT_EQ(ref.block, std::stoul(value.args.at(1)));
  if (ref.block == 0) return;
  const std::string expected = unhex(value.args.at(0));
  ASSERT_NE(memo, nullptr) << "no memo file to read block " << ref.block << " from";
  const std::string text(memo->readMemo(ref.block, ref.length));
  EXPECT_EQ(text.size(), expected.size()) << "memo at block " << ref.block;
  EXPECT_EQ(text, expected) << "memo at block " << ref.block;
}

void expectRecord(const DbfTable& table, const ExpectedTable& expected, size_t n, const uint8_t* record,
                  const ReadCheck& check) {
  SCOPED_TRACE("record " + std::to_string(n));
  const ExpectedRecord& want = expected.records.at(n);
  EXPECT_EQ(record[0], want.deleted ? '*' : ' ');
  ASSERT_EQ(want.values.size(), static_cast<size_t>(table.fieldCount()));
  for (int i = 0; i < table.fieldCount(); ++i) {
    SCOPED_TRACE("field " + table.field(i).name);
    const ExpectedValue& value = want.values[static_cast<size_t>(i)];
    EXPECT_EQ(decode(table, i, record, check.options),
              expectedText(expected.fields[static_cast<size_t>(i)], value, check));
    if (value.kind == "memo" || value.kind == "general") expectMemo(table, i, record, check.memo, value);
  }
}

// Walks the table from its first record and compares each with the writer's.
void expectRecords(DbfTable& table, const ExpectedTable& expected, const ReadCheck& check) {
  table.rewind();
  for (size_t n = 0; n < expected.records.size(); ++n) {
    const uint8_t* record = table.readNextRecord();
    ASSERT_NE(record, nullptr) << "record " << n << " of " << expected.records.size();
    expectRecord(table, expected, n, record, check);
  }
  EXPECT_EQ(table.readNextRecord(), nullptr);
}

void expectLayout(const DbfTable& table, const ExpectedTable& expected) {
  ASSERT_EQ(table.fieldCount(), static_cast<int>(expected.fields.size()));
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& field = table.field(i);
    const ExpectedField& want = expected.fields[static_cast<size_t>(i)];
    SCOPED_TRACE("field " + want.name);
    EXPECT_EQ(field.name, want.name);
    EXPECT_EQ(field.type, want.type);
    EXPECT_EQ(field.offset, want.offset);
    EXPECT_EQ(field.length, want.length);
    EXPECT_EQ(field.decimals, want.decimals);
    // Only the _NULLFLAGS system field is left out of every output.
    EXPECT_EQ(field.kind.valueClass == ValueClass::NullFlags, want.type == '0');
  }
  EXPECT_EQ(table.recordCount(), expected.records.size());
  EXPECT_EQ(table.headerRecordCount(), expected.records.size());
  EXPECT_FALSE(table.isShort());
}

void openTable(DbfTable& table, const std::string& path, const TableOpenOptions& options = {}) {
  ASSERT_TRUE(test::succeeded(table.open(path, options))) << path;
}

class PeerTables : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tabrix-peers-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    folder_ = pattern;
  }

  void TearDown() override {
    if (folder_.empty()) return;
    if (HasFailure())
      std::cerr << "the tables of this test are kept in " << folder_ << "\n";
    else
      fs::remove_all(folder_);
  }

  // Writes the tables of a make_tables.py scenario into the test's folder. A
  // missing python3-dbf fails the test: the peer check must not pass unseen.
  void write(const std::string& scenario, std::vector<ExpectedTable>& tables) {
    const fs::path out = folder_ / (scenario + "-expected.txt");
    const fs::path err = folder_ / (scenario + "-stderr.txt");
    // The folder comes from mkdtemp and the script path from the build: no quotes in either.
    const std::string command = std::string(kPython) + " '" + TABRIX_PEER_SCRIPT + "' " + scenario + " '" +
                                folder_.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "python3-dbf could not write the '" << scenario << "' tables; " << kPython << " exited with status "
        << (status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1) << ":\n"
        << readFile(err);
    tables = parseExpected(readFile(out));
    ASSERT_FALSE(tables.empty()) << "make_tables.py printed no table for " << scenario;
  }

  std::string pathOf(const ExpectedTable& table) const { return (folder_ / table.file).string(); }

  // Writes a scenario of one table, opens it and checks its layout.
  void writeAndOpen(const std::string& scenario, ExpectedTable& expected, DbfTable& table,
                    const TableOpenOptions& options = {}) {
    std::vector<ExpectedTable> tables;
    ASSERT_NO_FATAL_FAILURE(write(scenario, tables));
    ASSERT_EQ(tables.size(), 1u);
    expected = tables[0];
    ASSERT_NO_FATAL_FAILURE(openTable(table, pathOf(expected), options));
    expectLayout(table, expected);
  }

  fs::path folder_;
};

const DecodeOptions kDayMonthYear = withDates('1', '.');

TEST_F(PeerTables, DbaseThreeTableWithMemo) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("db3", expected, table));
  EXPECT_EQ(table.version(), 0x83);
  EXPECT_TRUE(table.hasMemoFields());
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->format(), MemoFormat::DBase3);
  EXPECT_EQ(table.memo()->blockSize(), 512u);
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, ClipperTableWithLongCharacterField) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("clp", expected, table));
  EXPECT_EQ(table.version(), 0x83);
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->format(), MemoFormat::DBase3);
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, FoxProTwoTableWithMemoAndGeneral) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("fp", expected, table));
  EXPECT_EQ(table.version(), 0xF5);
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->format(), MemoFormat::FoxPro);
  EXPECT_EQ(table.memo()->blockSize(), 64u);  // memo_size in make_tables.py
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, VisualFoxProTableWithItsOwnTypesAndNulls) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("vfp", expected, table));
  EXPECT_EQ(table.version(), 0x30);
  ASSERT_NE(table.memo(), nullptr);
  EXPECT_EQ(table.memo()->format(), MemoFormat::FoxPro);
  EXPECT_EQ(table.memo()->blockSize(), 128u);  // memo_size in make_tables.py
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, CurrencyWithFourDecimalsOrRoundedToTwo) {
  // AMOUNT carries 4 decimals as Visual FoxPro writes it, AMOUNT2 the 0 python3-dbf writes.
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("currency", expected, table));
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, DateOrdersSecondsAndDoublePrecisionFollowTheOptions) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("vfp", expected, table));
  DecodeOptions monthFirst = withDates('0', '/');
  monthFirst.skipSeconds = true;
  expectRecords(table, expected, {monthFirst, table.memo()});
  DecodeOptions yearFirst = withDates('2', '-');
  yearFirst.skipSeconds = true;
  yearFirst.csvDoublePrecision = true;
  expectRecords(table, expected, {yearFirst, table.memo()});
}

TEST_F(PeerTables, VisualFoxProTableWithoutMemoFlagStillReadsItsMemoFile) {
  // python3-dbf leaves table flag 0x02 clear although it writes plain.fpt;
  // the existing memo file is read so that no memo is lost.
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("vfp-as-written", expected, table));
  EXPECT_EQ(table.header().tableFlags() & 0x02, 0);
  ASSERT_NE(table.memo(), nullptr);
  ASSERT_TRUE(table.memo()->isOpen());
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
}

TEST_F(PeerTables, MemoFileFoundWhateverItsNameCaseAndEmptyWhenMissing) {
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("upper", expected, table));  // CUSTOMER.DBF with CUSTOMER.DBT
  ASSERT_NE(table.memo(), nullptr);
  expectRecords(table, expected, {kDayMonthYear, table.memo()});
  table.close();

  ASSERT_TRUE(fs::remove(folder_ / "CUSTOMER.DBT"));
  ASSERT_NO_FATAL_FAILURE(openTable(table, pathOf(expected)));
  ASSERT_NE(table.memo(), nullptr);
  const int notes = 1;
  ASSERT_EQ(table.field(notes).name, "NOTES");
  for (size_t n = 0; n < expected.records.size(); ++n) {
    SCOPED_TRACE("record " + std::to_string(n));
    const uint8_t* record = table.readNextRecord();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(decode(table, notes, record, kDayMonthYear), "Memo");  // the block number is still there
    const MemoRef ref = memoBlockOf(table, notes, record);
    EXPECT_NE(ref.block, 0u);
    EXPECT_EQ(table.memo()->readMemo(ref.block), "");
  }
}

TEST_F(PeerTables, MemosCutToTheCallersBuffer) {
  for (const char* scenario : {"db3", "fp"}) {  // read block by block, and by stored length
    SCOPED_TRACE(scenario);
    ExpectedTable expected;
    DbfTable table;
    ASSERT_NO_FATAL_FAILURE(writeAndOpen(scenario, expected, table));
    ASSERT_NE(table.memo(), nullptr);
    int checked = 0;
    for (size_t n = 0; n < expected.records.size(); ++n) {
      const uint8_t* record = table.readRecordAt(n);
      ASSERT_NE(record, nullptr);
      for (int i = 0; i < table.fieldCount(); ++i) {
        const ExpectedValue& value = expected.records[n].values[static_cast<size_t>(i)];
        const std::string text = unhex(value.args.at(0));
        if (value.kind != "memo" || text.size() < 100) continue;
        SCOPED_TRACE("record " + std::to_string(n) + ", " + std::to_string(text.size()) + " bytes");
        const uint32_t block = memoBlockOf(table, i, record).block;
        std::vector<char> buffer(text.size() + 8, 'x');
        EXPECT_EQ(table.memo()->readMemo(block, 0, buffer.data(), 100), 100u);
        EXPECT_EQ(std::string(buffer.data(), 100), text.substr(0, 100));
        EXPECT_EQ(buffer[100], 'x');
        EXPECT_EQ(table.memo()->readMemo(block, 0, buffer.data(), text.size() + 1), text.size());
        EXPECT_EQ(std::string(buffer.data(), text.size()), text);
        EXPECT_EQ(buffer[text.size()], '\0');
        ++checked;
      }
    }
    EXPECT_GE(checked, 2);
  }
}

TEST_F(PeerTables, OemTablesReadAsAnsiWhenAsked) {
  struct Case {
    const char* scenario;
    int ansi;
    int oem;  // the code page python3-dbf wrote the table in
  };
  for (const Case& c : {Case{"db3", 1252, 437}, Case{"clp", 1251, 866}, Case{"fp", 1252, 850}}) {
    SCOPED_TRACE(c.scenario);
    std::string error;
    const CodePageTables pages = buildCodePageTables(c.ansi, c.oem, &error);
    ASSERT_TRUE(error.empty()) << error;
    DecodeOptions options = kDayMonthYear;
    options.oemToAnsi = &pages.oemToAnsi;
    TableOpenOptions oem;
    oem.sourceIsOem = true;
    ExpectedTable expected;
    DbfTable table;
    ASSERT_NO_FATAL_FAILURE(writeAndOpen(c.scenario, expected, table, oem));
    EXPECT_TRUE(table.sourceIsOem());
    expectRecords(table, expected, {options, table.memo(), /*ansiText=*/true});

    // Declared ANSI, the same table keeps its bytes.
    TableOpenOptions ansi = oem;
    ansi.sourceIsAnsi = true;
    ASSERT_NO_FATAL_FAILURE(openTable(table, pathOf(expected), ansi));
    EXPECT_FALSE(table.sourceIsOem());
    expectRecords(table, expected, {options, table.memo()});
  }
}

TEST_F(PeerTables, WindowsCodePageMarkIsNeverReadAsOem) {
  const CodePageTables pages = buildCodePageTables(1252, 437);
  DecodeOptions options = kDayMonthYear;
  options.oemToAnsi = &pages.oemToAnsi;
  TableOpenOptions oem;
  oem.sourceIsOem = true;
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("vfp", expected, table, oem));  // code page mark 0x03: Windows 1252
  EXPECT_EQ(table.header().codePageMark(), 0x03);
  EXPECT_FALSE(table.sourceIsOem());
  expectRecords(table, expected, {options, table.memo()});
}

TEST_F(PeerTables, RecordsReadInAnyOrderAcrossReadChunks) {
  // 3000 records of 115 bytes: more than one 256 KiB read.
  ExpectedTable expected;
  DbfTable table;
  ASSERT_NO_FATAL_FAILURE(writeAndOpen("many", expected, table));
  const ReadCheck check{kDayMonthYear, table.memo()};
  expectRecords(table, expected, check);
  const size_t count = expected.records.size();
  for (size_t n = count; n-- > 0;) {  // backwards, as the reverse-order export reads
    const uint8_t* record = table.readRecordAt(n);
    ASSERT_NE(record, nullptr) << "record " << n;
    expectRecord(table, expected, n, record, check);
  }
  size_t n = 0;
  for (int jump = 0; jump < 300; ++jump) {  // scattered, as the wizard's record list reads
    n = (n * 7919 + 1013) % count;
    const uint8_t* record = table.readRecordAt(n);
    ASSERT_NE(record, nullptr) << "record " << n;
    expectRecord(table, expected, n, record, check);
  }
  EXPECT_EQ(table.readRecordAt(count), nullptr);
}

}  // namespace
}  // namespace tabrix
