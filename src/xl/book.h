#pragma once
// A small workbook library: Excel 97-2003 (.xls, BIFF8) and Excel 2007+
// (.xlsx) books, made new or loaded to add or refill a sheet, written cell by
// cell and saved whole. It knows nothing of tables; text is UTF-8.
//
// Cells are written to sheets added or cleared in this book; the other sheets
// of a loaded book are kept as they are. Cells are meant to be written row by
// row: rows are streamed out as the writer moves past them, so memory does
// not grow with the sheet. A cell of a row already passed may still be
// written (the last write of a cell wins); it is merged in when the book is
// saved.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/result.h"

namespace tabrix::xl {

enum class BookFormat { Xls, Xlsx };

// A cell format made by Book::addFormat; 0 is the default (General) format.
using FormatId = int;
inline constexpr FormatId kGeneral = 0;

// The two built-in number formats cells are given.
enum class NumberFormat { Integer = 1, Date = 14 };

// Width of a column that fits its widest cell, decided when the sheet is
// finished.
inline constexpr double kFitToContent = -1.0;

// The most characters a cell's text holds in either format.
inline constexpr size_t kMaxCellChars = 32767;

class Sheet {
 public:
  virtual ~Sheet() = default;
  virtual const std::string& name() const = 0;
  // The rows this sheet's format holds (65,536 or 1,048,576); rows count from 0.
  virtual uint32_t maxRows() const = 0;
  // text is UTF-8 of at most kMaxCellChars characters (longer text is cut);
  // control characters are kept as far as the format can hold them.
  virtual void writeString(uint32_t row, uint32_t column, std::string_view text) = 0;
  virtual void writeNumber(uint32_t row, uint32_t column, double value, FormatId format = kGeneral) = 0;
  virtual void writeBool(uint32_t row, uint32_t column, bool value) = 0;
  // width in characters, or kFitToContent.
  virtual void setColumnWidth(uint32_t firstColumn, uint32_t lastColumn, double width) = 0;
  // Freezes the rows above row and the columns left of column.
  virtual void split(uint32_t row, uint32_t column) = 0;
};

class Book {
 public:
  static std::unique_ptr<Book> create(BookFormat format);
  virtual ~Book() = default;

  virtual BookFormat format() const = 0;
  // Reads the workbook at path into this (empty) book, so that saving keeps
  // its sheets and parts. Fails, with a reason that also becomes
  // errorMessage(), when the file cannot be read or is no workbook of this
  // book's format; the book is then still empty and usable.
  virtual Result load(const std::string& path) = 0;

  virtual int sheetCount() const = 0;
  // index from 0; null when out of range.
  virtual Sheet* sheet(int index) = 0;
  // Makes the sheet's rows empty again, keeping its name and place, for
  // refilling it from row 0.
  virtual void clearSheet(int index) = 0;
  // A new last sheet; null (with errorMessage()) when the name is no valid
  // sheet name or is taken (compared without regard to case).
  virtual Sheet* addSheet(std::string_view name) = 0;
  virtual FormatId addFormat(NumberFormat numberFormat) = 0;

  // Writes the whole book to path. Fails with the system's reason.
  virtual Result save(const std::string& path) = 0;
  // The text of the last failure.
  virtual const std::string& errorMessage() const = 0;
};

// The spreadsheet serial number of a moment (1900 date system: 1 is
// 1900-01-01, with the year 1900 taken as a leap year as spreadsheets do);
// 0 for moments before 1900-01-01, which have none.
double datePack(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// name made valid as a sheet name: at most 31 characters, none of : \ / ? * [ ],
// not empty and not beginning or ending with an apostrophe.
std::string validSheetName(std::string_view name);

}  // namespace tabrix::xl
