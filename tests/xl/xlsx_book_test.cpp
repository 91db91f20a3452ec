// XLSX books written and edited by the workbook library, read back by
// independent readers (openpyxl and xlrd through xlsx_book_check.py).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/result_check.h"
#include "support/temp_folder.h"
#include "xl/book.h"

namespace tabrix::xl {
namespace {

using test::succeeded;
using test::TempFolder;

// What the checker prints for its arguments (stderr too, so failures show).
std::string check(const std::string& arguments) {
  const std::string command = std::string("/usr/bin/python3 ") + TABRIX_XL_TEST_DIR + "/xlsx_book_check.py " +
                              arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "cannot run " + command;
  std::string said;
  char chunk[4096];
  while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) said.append(chunk, n);
  const int status = ::pclose(pipe);
  return status == 0 ? said : said + "exit status " + std::to_string(status);
}

std::unique_ptr<Book> newBook() {
  auto book = Book::create(BookFormat::Xlsx);
  EXPECT_NE(book, nullptr);
  return book;
}

void writeHeader(Sheet& sheet, const std::vector<std::string>& names) {
  for (uint32_t column = 0; column < names.size(); ++column) {
    sheet.writeString(0, column, names[column]);
    sheet.setColumnWidth(column, column, kFitToContent);
  }
  sheet.split(1, 0);
}

TEST(XlsxBook, CellsOfEveryKindReadBackInBothReaders) {
  TempFolder temp;
  auto book = newBook();
  Sheet* sheet = book->addSheet("Data");
  ASSERT_NE(sheet, nullptr);
  const FormatId date = book->addFormat(NumberFormat::Date);
  const FormatId integer = book->addFormat(NumberFormat::Integer);
  writeHeader(*sheet, {"NAME", "AMOUNT", "WHEN", "OK", "RATIO", "BIG"});
  sheet->writeString(1, 0, "  Zoë & <Ünïcödé> \"x\"  ");
  sheet->writeNumber(1, 1, 42, integer);
  sheet->writeNumber(1, 2, datePack(2024, 2, 29, 13, 30, 15), date);
  sheet->writeBool(1, 3, true);
  sheet->writeNumber(1, 4, 0.1 + 0.2);
  sheet->writeNumber(1, 5, 1e6, integer);
  sheet->writeString(2, 0, std::string("tab\there\nline\r\x01\x1f end _x0041_ _x0041\x02 ") + "bad\xff\xc3(");
  sheet->writeNumber(2, 1, -1234567890123.0, integer);
  sheet->writeNumber(2, 2, datePack(1900, 3, 1), date);
  sheet->writeBool(2, 3, false);
  sheet->writeNumber(2, 4, -2.5e-300);
  sheet->writeString(3, 0, std::string(40000, 'w'));
  // The cut falls inside the last character, which takes two UTF-16 units.
  sheet->writeString(3, 1, std::string(32766, 'a') + "\xF0\x9F\x98\x80" + "zz");
  // The header once more before saving: its cells are replaced, not doubled.
  writeHeader(*sheet, {"NAME", "AMOUNT", "WHEN", "OK", "RATIO", "BIG"});
  book->addSheet("Q&A \"<1>\"")->writeBool(0, 2, true);
  const std::string path = temp.at("cells.xlsx");
  ASSERT_TRUE(succeeded(book->save(path)));

  EXPECT_EQ(check("cells " + path),
            "Data!A1 s 'NAME' General\n"
            "Data!B1 s 'AMOUNT' General\n"
            "Data!C1 s 'WHEN' General\n"
            "Data!D1 s 'OK' General\n"
            "Data!E1 s 'RATIO' General\n"
            "Data!F1 s 'BIG' General\n"
            "Data!A2 s '  Zoë & <Ünïcödé> \"x\"  ' General\n"
            "Data!B2 n 42.0 0\n"
            "Data!C2 d '2024-02-29T13:30:15' mm-dd-yy\n"
            "Data!D2 b True General\n"
            "Data!E2 n 0.30000000000000004 General\n"
            "Data!F2 n 1000000.0 0\n"
            "Data!A3 s 'tab\\there\\nline\\r\\x01\\x1f end _x0041_ _x0041\\x02 bad\uFFFD\uFFFD(' General\n"
            "Data!B3 n -1234567890123.0 0\n"
            "Data!C3 d '1900-03-01T00:00:00' mm-dd-yy\n"
            "Data!D3 b False General\n"
            "Data!E3 n -2.5e-300 General\n"
            "Data!A4 s \"32767 chars 'wwwwwwwwww'...'wwwwwwwwww'\" General\n"
            "Data!B4 s \"32766 chars 'aaaaaaaaaa'...'aaaaaaaaaa'\" General\n"
            "Q&A \"<1>\"!C1 b True General\n");
  EXPECT_EQ(check("layout " + path),
            "Data freeze=A2\n"
            "Data cols 1-2 width 255.0\n"   // capped
            "Data cols 3-3 width 12.0\n"    // a date shows ten characters
            "Data cols 4-4 width 7.0\n"     // FALSE
            "Data cols 5-5 width 13.0\n"   // General shows at most eleven
            "Data cols 6-6 width 9.0\n"    // 1000000
            "Q&A \"<1>\" freeze=None\n");
  EXPECT_EQ(check("rows " + path + " xl/worksheets/sheet1.xml"), "4 rows\n");
}

TEST(XlsxBook, LateWritesMergeIntoRowsAlreadyStreamed) {
  TempFolder temp;
  auto book = newBook();
  Sheet* sheet = book->addSheet("Late");
  for (uint32_t row = 0; row < 2000; ++row)
    for (uint32_t column = 0; column < 3; ++column) sheet->writeNumber(row, column, row * 10 + column);
  sheet->writeString(5, 1, "five");      // replaces a streamed cell
  sheet->writeString(5, 4, "new");       // adds one after the row's last
  sheet->writeNumber(1500, 0, -1);       // a row far back
  sheet->writeString(5, 1, "five again");  // the last write wins
  sheet->writeNumber(2003, 0, 1);        // skips rows 2000 to 2002...
  sheet->writeBool(2001, 2, true);       // ...then fills one of them
  const std::string path = temp.at("late.xlsx");
  ASSERT_TRUE(succeeded(book->save(path)));

  EXPECT_EQ(check("rows " + path + " xl/worksheets/sheet1.xml"), "2002 rows\n");
  const std::string cells = check("cells " + path);
  EXPECT_NE(cells.find("Late!A6 n 50.0 General\nLate!B6 s 'five again' General\nLate!C6 n 52.0 General\n"
                       "Late!E6 s 'new' General\n"),
            std::string::npos);
  EXPECT_NE(cells.find("Late!A1501 n -1.0 General\nLate!B1501 n 15001.0 General\n"), std::string::npos);
  EXPECT_NE(cells.find("Late!C2000 n 19992.0 General\nLate!C2002 b True General\nLate!A2004 n 1.0 General\n"),
            std::string::npos);
  EXPECT_EQ(cells.find("MISMATCH"), std::string::npos);
}

TEST(XlsxBook, RefusesCellsBeyondTheLastRowAndSaysSoAtSaving) {
  TempFolder temp;
  auto book = newBook();
  Sheet* sheet = book->addSheet("Tall");
  EXPECT_EQ(sheet->maxRows(), 1048576u);
  sheet->writeString(0, 0, "top");
  sheet->writeString(1048575, 0, "last");
  EXPECT_EQ(book->errorMessage(), "");
  sheet->writeString(1048576, 0, "beyond");
  EXPECT_EQ(book->errorMessage(),
            "sheet 'Tall': row 1,048,577 is beyond the last row of an XLSX sheet (1,048,576)");
  const Result saved = book->save(temp.at("tall.xlsx"));
  EXPECT_FALSE(saved.ok());
  EXPECT_NE(saved.reason().find("1 cell(s) were not written"), std::string::npos) << saved.reason();
}

TEST(XlsxBook, AddsASheetToAnotherProgramsWorkbookKeepingEveryOtherPart) {
  TempFolder temp;
  const std::string original = temp.at("theirs.xlsx"), added = temp.at("added.xlsx");
  ASSERT_EQ(check("make " + original), "");
  auto book = newBook();
  ASSERT_TRUE(succeeded(book->load(original)));
  ASSERT_EQ(book->sheetCount(), 2);
  EXPECT_EQ(book->sheet(0)->name(), "First");
  EXPECT_EQ(book->sheet(1)->name(), "Second");
  EXPECT_EQ(book->addSheet("second"), nullptr);  // taken, in another case
  Sheet* sheet = book->addSheet("Third");
  ASSERT_NE(sheet, nullptr);
  const FormatId date = book->addFormat(NumberFormat::Date);
  const FormatId integer = book->addFormat(NumberFormat::Integer);
  writeHeader(*sheet, {"ID", "DAY"});
  sheet->writeNumber(1, 0, 7, integer);
  sheet->writeNumber(1, 1, datePack(2001, 9, 9), date);
  ASSERT_TRUE(succeeded(book->save(added)));

  EXPECT_EQ(check("members " + original + " " + added),
            "same docProps/app.xml\n"
            "same docProps/core.xml\n"
            "same xl/theme/theme1.xml\n"
            "same xl/worksheets/sheet1.xml\n"
            "same xl/worksheets/sheet2.xml\n"
            "same xl/comments/comment1.xml\n"
            "same xl/drawings/commentsDrawing1.vml\n"
            "same xl/worksheets/_rels/sheet2.xml.rels\n"
            "changed xl/styles.xml\n"
            "same _rels/.rels\n"
            "changed xl/workbook.xml\n"
            "changed xl/_rels/workbook.xml.rels\n"
            "changed [Content_Types].xml\n"
            "same xl/calcChain.xml\n"
            "added xl/worksheets/sheet3.xml\n");
  EXPECT_EQ(check("made " + added),
            "sheets ['First', 'Second', 'Third']\n"
            "formula =SUM(A1:A2)\n"
            "bold True fill 00FFFF00\n"
            "name First!$A$1:$A$2\n"
            "comment a note\n");
  const std::string cells = check("cells " + added);
  EXPECT_NE(cells.find("Third!A1 s 'ID' General\nThird!B1 s 'DAY' General\n"
                       "Third!A2 n 7.0 0\nThird!B2 d '2001-09-09T00:00:00' mm-dd-yy\n"),
            std::string::npos)
      << cells;
  EXPECT_NE(cells.find("First!B1 s 'kept' General\n"), std::string::npos);
  EXPECT_NE(cells.find("Second!A10 s 'old 10' General\n"), std::string::npos);
}

TEST(XlsxBook, DatesAddedToABookCountingFrom1904KeepTheirDay) {
  TempFolder temp;
  const std::string original = temp.at("mac.xlsx"), added = temp.at("added.xlsx");
  ASSERT_EQ(check("make " + original + " 1904"), "");
  auto book = newBook();
  ASSERT_TRUE(succeeded(book->load(original)));
  const FormatId date = book->addFormat(NumberFormat::Date);
  book->addSheet("Days")->writeNumber(0, 0, datePack(2001, 9, 9, 6), date);
  ASSERT_TRUE(succeeded(book->save(added)));
  EXPECT_NE(check("cells " + added).find("Days!A1 d '2001-09-09T06:00:00' mm-dd-yy\n"), std::string::npos);
}

TEST(XlsxBook, RefillsALoadedSheetWholeAndKeepsTheOthers) {
  TempFolder temp;
  const std::string original = temp.at("theirs.xlsx"), refilled = temp.at("refilled.xlsx");
  ASSERT_EQ(check("make " + original), "");
  auto book = newBook();
  ASSERT_TRUE(succeeded(book->load(original)));
  book->clearSheet(1);
  Sheet* sheet = book->sheet(1);
  writeHeader(*sheet, {"NEW"});
  sheet->writeString(1, 0, "only row");
  ASSERT_TRUE(succeeded(book->save(refilled)));

  const std::string cells = check("cells " + refilled);
  EXPECT_NE(cells.find("Second!A1 s 'NEW' General\nSecond!A2 s 'only row' General\n"), std::string::npos) << cells;
  EXPECT_EQ(cells.find("old"), std::string::npos) << cells;
  EXPECT_NE(cells.find("First!B1 s 'kept' General\n"), std::string::npos) << cells;
  // The refilled sheet's relationships (its comment) go with its old cells,
  // and the calculation chain that lists formula cells is left to be rebuilt.
  const std::string members = check("members " + original + " " + refilled);
  for (const char* part : {"changed xl/worksheets/sheet2.xml\n", "missing xl/worksheets/_rels/sheet2.xml.rels\n",
                           "missing xl/calcChain.xml\n", "same xl/worksheets/sheet1.xml\n",
                           "same xl/comments/comment1.xml\n", "same xl/styles.xml\n"})
    EXPECT_NE(members.find(part), std::string::npos) << part << members;
  EXPECT_EQ(check("made " + refilled),
            "sheets ['First', 'Second']\n"
            "formula =SUM(A1:A2)\n"
            "bold True fill 00FFFF00\n"
            "name First!$A$1:$A$2\n"
            "comment None\n");

  // A sheet kept as loaded takes no cells, and saving then says so.
  book->sheet(0)->writeString(0, 0, "refused");
  EXPECT_NE(book->errorMessage().find("kept as it was loaded"), std::string::npos);
  EXPECT_FALSE(book->save(refilled).ok());
}

TEST(XlsxBook, RefusesFilesThatAreNoReadableWorkbookAndStaysUsable) {
  TempFolder temp;
  const std::string good = temp.at("good.xlsx");
  {
    auto book = newBook();
    book->addSheet("S")->writeString(0, 0, "x");
    ASSERT_TRUE(succeeded(book->save(good)));
  }
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {temp.write("text.xlsx", "NAME,AMOUNT\n"), "Not a zip archive"},
      {temp.write("cut.xlsx", bytes.substr(0, bytes.size() / 2)), "Not a zip archive"},
      {temp.at("missing.xlsx"), "No such file"},
      {temp.at("noworkbook.xlsx"), "has no part xl/workbook.xml"},
      {temp.at("cutxml.xlsx"), "xl/workbook.xml is no well-formed XML"},
      {temp.at("nosheet.xlsx"), "sheet 'S' has no part"},
  };
  for (const char* how : {"noworkbook", "cutxml", "nosheet"})
    ASSERT_EQ(check("damage " + good + " " + temp.at(std::string(how) + ".xlsx") + " " + how), "");
  for (const auto& [path, reason] : damaged) {
    auto book = newBook();
    const Result loaded = book->load(path);
    EXPECT_FALSE(loaded.ok()) << path;
    EXPECT_NE(loaded.reason().find(path), std::string::npos) << loaded.reason();
    EXPECT_NE(loaded.reason().find(reason), std::string::npos) << loaded.reason();
    EXPECT_EQ(book->errorMessage(), loaded.reason());
    EXPECT_EQ(book->sheetCount(), 0);
    ASSERT_NE(book->addSheet("Fresh"), nullptr);
    EXPECT_TRUE(succeeded(book->save(temp.at("fresh.xlsx"))));
  }
  // A book that cannot be saved says why, in the system's words.
  auto book = newBook();
  book->addSheet("S");
  const Result saved = book->save(temp.at("no/such/folder/book.xlsx"));
  EXPECT_NE(saved.reason().find("No such file or directory"), std::string::npos) << saved.reason();
}

}  // namespace
}  // namespace tabrix::xl
