// The .xls book, checked through independent readers: xlrd (through
// xls_dump.py) for values, kinds, number formats, panes and widths, and
// LibreOffice for one sample; existing workbooks made by xlwt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "xl/book.h"

namespace tabrix::xl {
namespace {

namespace fs = std::filesystem;

std::string hex(std::string_view text) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

struct Cell {
  std::string kind, value, format;
};
using Key = std::tuple<int, int, int>;  // sheet, row, column

// What xlrd reads from a workbook.
struct Dump {
  std::string text;
  std::vector<std::vector<std::string>> sheets;  // the fields of each "sheet" line
  std::map<Key, Cell> cells;
  std::map<std::pair<int, int>, int> widths;

  // The lines of one sheet, for comparing sheets between files.
  std::string sheetLines(int index) const {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string what, sheet;
      words >> what >> sheet;
      if (sheet == std::to_string(index)) out += line.substr(what.size() + sheet.size() + 2) + "\n";
    }
    return out;
  }
};

Dump readBack(const fs::path& path) {
  Dump dump;
  dump.text = run("/usr/bin/python3 " TABRIX_XL_TEST_DIR "/xls_dump.py '" + path.string() + "' 2>&1");
  std::istringstream in(dump.text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string what;
    words >> what;
    if (what == "sheet") {
      std::vector<std::string> fields;
      for (std::string f; words >> f;) fields.push_back(f);
      dump.sheets.push_back(fields);
    } else if (what == "width") {
      int sheet, column, width;
      words >> sheet >> column >> width;
      dump.widths[{sheet, column}] = width;
    } else if (what == "cell") {
      int sheet, row, column;
      Cell cell;
      words >> sheet >> row >> column >> cell.kind >> cell.value >> cell.format;
      dump.cells[{sheet, row, column}] = cell;
    }
  }
  return dump;
}

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

// Python's repr of a float, parsed back, compares exactly with the value written.
void expectNumber(const Dump& dump, Key key, double value, const std::string& format) {
  const auto it = dump.cells.find(key);
  ASSERT_NE(it, dump.cells.end()) << "no cell " << std::get<1>(key) << "," << std::get<2>(key);
  EXPECT_EQ(it->second.kind, "number");
  EXPECT_EQ(std::strtod(it->second.value.c_str(), nullptr), value) << number(value);
  EXPECT_EQ(it->second.format, hex(format));
}

void expectText(const Dump& dump, Key key, std::string_view text) {
  const auto it = dump.cells.find(key);
  ASSERT_NE(it, dump.cells.end()) << "no cell " << std::get<1>(key) << "," << std::get<2>(key);
  EXPECT_EQ(it->second.kind, "text");
  EXPECT_EQ(it->second.value, hex(text)) << text.substr(0, 40);
}

class XlsBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xls_book_test_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path path(const std::string& name) const { return dir_ / name; }
  // A workbook made by xlwt from the python statements given (book is the xlwt.Workbook).
  fs::path xlwtBook(const std::string& name, const std::string& statements) {
    const fs::path out = path(name);
    const std::string script = path(name + ".py").string();
    std::ofstream(script) << "import datetime, xlwt\nbook = xlwt.Workbook(encoding='utf-8')\n" << statements
                          << "\nbook.save('" << out.string() << "')\n";
    EXPECT_EQ(std::system(("/usr/bin/python3 " + script).c_str()), 0);
    return out;
  }

  fs::path dir_;
};

const std::vector<std::string> kTexts = {
    "", "plain", "Ünïcödé Latin-1 ÿ", "Привет, мир", "日本語のテキスト", "emoji 😀 pair", "tab\tand\nnew line",
    std::string(255, 'x'), std::string(256, 'y'), "ends with space ", "\x01\x1f control",
};

TEST_F(XlsBookTest, NewBookHoldsEveryCellKindAsXlrdReadsIt) {
  auto book = Book::create(BookFormat::Xls);
  ASSERT_TRUE(book);
  Sheet* sheet = book->addSheet("Data");
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->maxRows(), 65536u);
  const FormatId date = book->addFormat(NumberFormat::Date);
  const FormatId integer = book->addFormat(NumberFormat::Integer);
  const auto header = [&](const char* prefix) {
    for (int c = 0; c < 5; ++c) {
      sheet->writeString(0, c, std::string(prefix) + std::to_string(c));
      sheet->setColumnWidth(c, c, kFitToContent);
    }
    sheet->split(1, 0);
  };
  header("first");
  std::mt19937_64 random(7);
  const int rows = 300;
  std::vector<double> numbers(rows + 1);
  for (double& v : numbers) {
    do {
      const uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
    } while (!std::isfinite(v));
  }
  const auto writeRow = [&](int r) {
    sheet->writeString(r, 0, kTexts[r % kTexts.size()]);
    sheet->writeNumber(r, 1, numbers[r]);
    sheet->writeNumber(r, 2, r * 1000.0 - 7, integer);
    sheet->writeNumber(r, 3, datePack(1900 + r % 200, 1 + r % 12, 1 + r % 28, r % 24, r % 60, r % 60), date);
    if (r % 4) sheet->writeBool(r, 4, r % 3 == 0);
  };
  // Rows 77 and 150 are written late (after later rows), 150 in two parts.
  for (int r = 1; r <= rows; ++r)
    if (r != 77) writeRow(r);
  sheet->writeString(150, 0, "replaced later");
  writeRow(77);
  writeRow(150);
  header("HEAD");  // the engine's header written again before saving
  sheet->setColumnWidth(5, 5, 20.0);
  ASSERT_TRUE(book->save(path("new.xls").string()).ok()) << book->errorMessage();

  const Dump dump = readBack(path("new.xls"));
  ASSERT_EQ(dump.sheets.size(), 1u) << dump.text.substr(0, 2000);
  EXPECT_EQ(dump.sheets[0], (std::vector<std::string>{"0", hex("Data"), std::to_string(rows + 1), "5", "1", "0"}));
  for (int c = 0; c < 5; ++c) expectText(dump, {0, 0, c}, "HEAD" + std::to_string(c));
  for (int r = 1; r <= rows; ++r) {
    expectText(dump, {0, r, 0}, kTexts[r % kTexts.size()]);
    expectNumber(dump, {0, r, 1}, numbers[r], "General");
    expectNumber(dump, {0, r, 2}, r * 1000.0 - 7, "0");
    expectNumber(dump, {0, r, 3}, datePack(1900 + r % 200, 1 + r % 12, 1 + r % 28, r % 24, r % 60, r % 60), "m/d/yy");
    const auto b = dump.cells.find({0, r, 4});
    if (r % 4 == 0) {
      EXPECT_EQ(b, dump.cells.end());
    } else {
      ASSERT_NE(b, dump.cells.end());
      EXPECT_EQ(b->second.kind, "bool");
      EXPECT_EQ(b->second.value, r % 3 == 0 ? "1" : "0");
    }
  }
  // Fit to content, in 1/256 characters: the text column's longest text
  // (256 characters) is more than a column holds; the boolean column is as
  // wide as its header; the random numbers need more.
  EXPECT_EQ(dump.widths.at({0, 0}), 255 * 256);
  EXPECT_GE(dump.widths.at({0, 4}), 6 * 256);
  EXPECT_LT(dump.widths.at({0, 4}), 10 * 256);
  EXPECT_GT(dump.widths.at({0, 1}), dump.widths.at({0, 4}));
  EXPECT_EQ(dump.widths.at({0, 5}), 20 * 256);
}

TEST_F(XlsBookTest, LongAndNonLatinTextsStayWhole) {
  auto book = Book::create(BookFormat::Xls);
  Sheet* sheet = book->addSheet("Тексты");
  ASSERT_NE(sheet, nullptr);
  std::string cyrillic, latin(kMaxCellChars, 'a'), emoji;
  for (size_t i = 0; i < kMaxCellChars; ++i) cyrillic += i % 7 ? "Ж" : "z";
  for (size_t i = 0; i < kMaxCellChars; ++i) latin[i] = static_cast<char>('a' + i % 26);
  for (size_t i = 0; i < 16384; ++i) emoji += "😀";  // 32768 UTF-16 units: one pair too many
  const std::string tooLong = latin + "tail";
  for (int r = 0; r < 6; ++r) {
    sheet->writeString(r, 0, cyrillic);
    sheet->writeString(r, 1, latin);
    sheet->writeString(r, 2, r % 2 ? emoji : tooLong);
  }
  ASSERT_TRUE(book->save(path("long.xls").string()).ok()) << book->errorMessage();
  const Dump dump = readBack(path("long.xls"));
  ASSERT_EQ(dump.sheets.size(), 1u) << dump.text.substr(0, 2000);
  EXPECT_EQ(dump.sheets[0][1], hex("Тексты"));
  for (int r = 0; r < 6; ++r) {
    expectText(dump, {0, r, 0}, cyrillic);
    expectText(dump, {0, r, 1}, latin);
    expectText(dump, {0, r, 2}, r % 2 ? emoji.substr(0, emoji.size() - 4) : latin);
  }
}

TEST_F(XlsBookTest, SheetHoldsAllItsRowsAndRefusesMore) {
  auto book = Book::create(BookFormat::Xls);
  Sheet* sheet = book->addSheet("Full");
  for (uint32_t r = 0; r < 65536; ++r) {
    sheet->writeNumber(r, 0, r);
    for (uint32_t c = 1; c < 7; ++c) sheet->writeNumber(r, c, r * 10.0 + c);
  }
  sheet->writeNumber(65536, 0, 1);
  EXPECT_NE(book->errorMessage().find("65,536"), std::string::npos) << book->errorMessage();
  sheet->writeString(0, 256, "no column 257");
  ASSERT_TRUE(book->save(path("full.xls").string()).ok()) << book->errorMessage();
  // Big enough for the compound document's allocation table to need more
  // index sectors than its header holds; load it and add a sheet.
  EXPECT_GT(fs::file_size(path("full.xls")), 109u * 128 * 512);
  auto again = Book::create(BookFormat::Xls);
  ASSERT_TRUE(again->load(path("full.xls").string()).ok()) << again->errorMessage();
  ASSERT_EQ(again->sheetCount(), 1);
  again->addSheet("More")->writeString(0, 0, "added");
  ASSERT_TRUE(again->save(path("more.xls").string()).ok()) << again->errorMessage();

  const std::string counts = run("/usr/bin/python3 -c \"import xlrd,sys; b=xlrd.open_workbook(sys.argv[1]); "
                                 "s=b.sheet_by_index(0); print(s.nrows, s.ncols, s.cell_value(65535,0), "
                                 "s.cell_value(65535,6), s.cell_value(30000,3), b.sheet_by_index(1).cell_value(0,0))\" " +
                                 path("more.xls").string());
  EXPECT_EQ(counts, "65536 7 65535.0 655356.0 300003.0 added\n");
}

// Every sheet of a workbook as LibreOffice converts it to CSV files, one line a row.
std::string libreOfficeCsv(const fs::path& dir, const fs::path& book) {
  const fs::path out = dir / ("csv-" + book.stem().string());
  run("soffice -env:UserInstallation=file://" + (dir / "profile").string() + " --headless --convert-to "
      "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' --outdir '" +
      out.string() + "' '" + book.string() + "' >/dev/null 2>&1");
  return run("cd '" + out.string() + "' && for f in *.csv; do echo \"== $f\"; cat \"$f\"; done");
}

// LibreOffice saves a workbook with its Workbook stream in the mini stream
// and property streams beside it; a sheet is added to it here.
TEST_F(XlsBookTest, LibreOfficeReadsTheAddedSheetAndTheKeptOnes) {
  const fs::path made = xlwtBook("made.xls", "book.add_sheet('Old').write(0, 0, 'kept ü')\nbook.add_sheet('Two').write(1, 1, 2.5)");
  run("cd " + dir_.string() + " && mkdir lo && soffice -env:UserInstallation=file://" + path("profile").string() +
      " --headless --convert-to 'xls:MS Excel 97' --outdir lo made.xls >/dev/null 2>&1");
  const fs::path original = path("lo/made.xls");
  auto book = Book::create(BookFormat::Xls);
  ASSERT_TRUE(book->load(original.string()).ok()) << book->errorMessage();
  Sheet* sheet = book->addSheet("Sample");
  const FormatId integer = book->addFormat(NumberFormat::Integer);
  sheet->writeString(0, 0, "Name");
  sheet->writeString(0, 1, "Count");
  sheet->writeString(0, 2, "Flag");
  sheet->split(1, 0);
  for (int r = 1; r < 5; ++r) {
    sheet->writeString(r, 0, kTexts[r + 1]);
    sheet->writeNumber(r, 1, r * 12, integer);
    sheet->writeBool(r, 2, r % 2);
  }
  sheet->writeString(5, 0, std::string(300, 'L'));
  ASSERT_TRUE(book->save(path("added.xls").string()).ok()) << book->errorMessage();

  // LibreOffice gives the booleans of .xls files as 1 and 0 (xlwt's too).
  std::string expected = "== added-Sample.csv\nName,Count,Flag\n";
  for (int r = 1; r < 5; ++r)
    expected += (kTexts[r + 1].find(',') == std::string::npos ? kTexts[r + 1] : '"' + kTexts[r + 1] + '"') + "," + std::to_string(r * 12) + "," + (r % 2 ? "1" : "0") + "\n";
  expected += std::string(300, 'L') + ",,\n";
  const std::string before = libreOfficeCsv(dir_, original);
  ASSERT_NE(before.find("kept ü"), std::string::npos) << before;
  std::string renamed = before;
  for (size_t at; (at = renamed.find("== made-")) != std::string::npos;) renamed.replace(at, 8, "== added-");
  EXPECT_EQ(libreOfficeCsv(dir_, path("added.xls")), renamed.substr(0, renamed.find("== added-Two")) + expected +
                                                        renamed.substr(renamed.find("== added-Two")));
  // The document's other streams are kept byte for byte (read by xlrd's own compound document reader).
  const std::string streams = run(
      "/usr/bin/python3 -c \"import sys, xlrd.compdoc as c\n"
      "a, b = (c.CompDoc(open(p, 'rb').read()) for p in sys.argv[1:])\n"
      "for e in a.dirlist:\n"
      "  if e.etype == 2 and e.name != 'Workbook': print(e.name.encode().hex(), a.get_named_stream(e.name) == b.get_named_stream(e.name))\" " +
      original.string() + " " + path("added.xls").string());
  EXPECT_NE(streams.find(hex("\x05SummaryInformation") + " True\n"), std::string::npos) << streams;
  EXPECT_EQ(streams.find("False"), std::string::npos) << streams;
}

const char* kXlwtSheets = R"(
first = book.add_sheet('First')
second = book.add_sheet('Second')
dates = xlwt.easyxf(num_format_str='YYYY-MM-DD')
for r in range(40):
    first.write(r, 0, 'text %d ß' % r)
    first.write(r, 1, r * 2.5)
    first.write(r, 2, datetime.date(2001, 1, 1) + datetime.timedelta(days=r), dates)
    first.write(r, 3, r % 2 == 0)
first.write(40, 0, xlwt.Formula('B2+B3'))
first.col(0).width = 6000
first.set_panes_frozen(True)
first.set_horz_split_pos(1)
second.write(0, 0, 'Ω' * 400)
second.write(1, 0, 'shared')
second.write(2, 0, 'shared')
second.write(3, 1, -1e300)
)";

TEST_F(XlsBookTest, AddingAndRefillingKeepTheOtherSheetsOfAnXlwtBook) {
  const fs::path original = xlwtBook("xlwt.xls", kXlwtSheets);
  const Dump before = readBack(original);
  ASSERT_EQ(before.sheets.size(), 2u) << before.text.substr(0, 2000);

  auto book = Book::create(BookFormat::Xls);
  ASSERT_TRUE(book->load(original.string()).ok()) << book->errorMessage();
  ASSERT_EQ(book->sheetCount(), 2);
  EXPECT_EQ(book->sheet(0)->name(), "First");
  EXPECT_EQ(book->addSheet("second"), nullptr);  // taken, in another case
  Sheet* added = book->addSheet("Added");
  ASSERT_NE(added, nullptr);
  const FormatId date = book->addFormat(NumberFormat::Date);
  added->writeString(0, 0, "new ünïcode " + std::string(300, 'n'));
  added->writeNumber(1, 0, datePack(2024, 2, 29), date);
  added->writeBool(2, 0, true);
  ASSERT_TRUE(book->save(path("added.xls").string()).ok()) << book->errorMessage();

  const Dump after = readBack(path("added.xls"));
  ASSERT_EQ(after.sheets.size(), 3u) << after.text.substr(0, 2000);
  EXPECT_EQ(after.sheetLines(0), before.sheetLines(0));
  EXPECT_EQ(after.sheetLines(1), before.sheetLines(1));
  EXPECT_EQ(after.sheets[2][1], hex("Added"));
  expectText(after, {2, 0, 0}, "new ünïcode " + std::string(300, 'n'));
  expectNumber(after, {2, 1, 0}, datePack(2024, 2, 29), "m/d/yy");
  EXPECT_EQ(after.cells.at({2, 2, 0}).value, "1");

  // Refill the first sheet with fewer rows: none of its old rows stay.
  auto refill = Book::create(BookFormat::Xls);
  ASSERT_TRUE(refill->load(path("added.xls").string()).ok()) << refill->errorMessage();
  refill->clearSheet(0);
  refill->sheet(0)->writeString(0, 0, "only row");
  refill->sheet(0)->writeNumber(0, 1, 42, refill->addFormat(NumberFormat::Integer));
  ASSERT_TRUE(refill->save(path("refilled.xls").string()).ok()) << refill->errorMessage();
  const Dump refilled = readBack(path("refilled.xls"));
  ASSERT_EQ(refilled.sheets.size(), 3u) << refilled.text.substr(0, 2000);
  EXPECT_EQ(refilled.sheets[0], (std::vector<std::string>{"0", hex("First"), "1", "2", "0", "0"}));
  expectText(refilled, {0, 0, 0}, "only row");
  expectNumber(refilled, {0, 0, 1}, 42, "0");
  EXPECT_EQ(refilled.sheetLines(1), before.sheetLines(1));
  EXPECT_EQ(refilled.sheetLines(2), after.sheetLines(2));
}

TEST_F(XlsBookTest, DatesAddedToABookCountingFrom1904KeepTheirDay) {
  const fs::path original = xlwtBook("1904.xls", "book.set_dates_1904(True)\nbook.add_sheet('Old').write(0, 0, 1)");
  auto book = Book::create(BookFormat::Xls);
  ASSERT_TRUE(book->load(original.string()).ok()) << book->errorMessage();
  book->addSheet("Dates")->writeNumber(0, 0, datePack(2024, 2, 29, 13, 14, 15), book->addFormat(NumberFormat::Date));
  ASSERT_TRUE(book->save(path("dates.xls").string()).ok()) << book->errorMessage();
  EXPECT_EQ(run("/usr/bin/python3 -c \"import sys, xlrd; b = xlrd.open_workbook(sys.argv[1]); "
                "print(b.datemode, xlrd.xldate_as_tuple(b.sheet_by_index(1).cell_value(0, 0), b.datemode))\" " +
                path("dates.xls").string()),
            "1 (2024, 2, 29, 13, 14, 15)\n");
}

// Excel's sheets hold INDEX records with stream positions; adding a sheet
// (and a format, and a shared string) moves the kept sheets.
TEST_F(XlsBookTest, IndexRecordsOfKeptSheetsFollowTheirMove) {
  const std::string script = "/usr/bin/python3 " TABRIX_XL_TEST_DIR "/xls_index.py ";
  run(script + "make " + path("index.xls").string());
  const std::string fine = "index 1 ok\nindex 2 ok\n";
  ASSERT_EQ(run(script + "check " + path("index.xls").string()), fine);
  auto book = Book::create(BookFormat::Xls);
  ASSERT_TRUE(book->load(path("index.xls").string()).ok()) << book->errorMessage();
  book->addSheet("Added")->writeString(0, 0, std::string(1000, 'z'));
  ASSERT_TRUE(book->save(path("moved.xls").string()).ok()) << book->errorMessage();
  EXPECT_EQ(run(script + "check " + path("moved.xls").string()), fine);
}

TEST_F(XlsBookTest, WhatIsNoXlsWorkbookIsRefusedAndTheBookStaysEmpty) {
  const fs::path good = xlwtBook("good.xls", kXlwtSheets);
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto patched = [&](size_t at, std::string_view with) {
    std::string copy = bytes;
    copy.replace(at, with.size(), with);
    return copy;
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty.xls", ""},
      {"text.xls", "Name,Count\nx,1\n"},
      {"zip.xls", std::string("PK\x03\x04", 4) + std::string(600, '\0')},
      {"truncated.xls", bytes.substr(0, 1536)},
      {"fat-count.xls", patched(44, std::string("\xff\xff\xff\x7f", 4))},
      {"directory-loop.xls", patched(48, std::string("\xfd\xff\xff\xff", 4))},
      {"sector-size.xls", patched(30, std::string("\x0a\x00", 2))},
      {"excel95.xls", patched(516, std::string("\x00\x05", 2))},
      {"no-workbook.xls", patched(bytes.find(std::string("W\0o\0r\0k\0b\0o\0o\0k", 15)), std::string("X", 1))},
  };
  for (const auto& [name, content] : cases) {
    std::ofstream(path(name), std::ios::binary) << content;
    auto book = Book::create(BookFormat::Xls);
    const Result r = book->load(path(name).string());
    EXPECT_FALSE(r.ok()) << name;
    EXPECT_NE(r.reason().find(name), std::string::npos) << r.reason();
    EXPECT_EQ(book->errorMessage(), r.reason());
    if (name == "excel95.xls") {
      EXPECT_NE(r.reason().find("Excel 5.0/95"), std::string::npos) << r.reason();
    }
    EXPECT_EQ(book->sheetCount(), 0) << name;
    ASSERT_NE(book->addSheet("Fresh"), nullptr) << name;
    EXPECT_TRUE(book->save(path(name + ".out.xls").string()).ok()) << name;
  }
  auto book = Book::create(BookFormat::Xls);
  EXPECT_FALSE(book->load(path("missing.xls").string()).ok());
  EXPECT_NE(book->errorMessage().find("No such file"), std::string::npos) << book->errorMessage();
  book->addSheet("S");
  EXPECT_FALSE(book->save(path("no/such/folder.xls").string()).ok());
  EXPECT_NE(book->errorMessage().find("No such file"), std::string::npos) << book->errorMessage();
  EXPECT_FALSE(book->save("/dev/full").ok());
  EXPECT_NE(book->errorMessage().find("No space left"), std::string::npos) << book->errorMessage();
}

}  // namespace
}  // namespace tabrix::xl
