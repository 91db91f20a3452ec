#pragma once
// One worksheet of an XLSX book. The rows of an added or cleared sheet are
// streamed to a temporary file as the writer moves past them; row 0 (the
// header, written again before saving) is held in memory, and writes to other
// rows already passed are kept apart and merged in when the sheet is finished.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "util/result.h"
#include "xl/book.h"

namespace tabrix::xl {

// What a sheet needs of its book: the cell formats and the failure text.
struct XlsxBookState {
  struct CellStyle {
    uint32_t xf = 0;    // index into the styles part's cellXfs
    bool date = false;  // numbers of this format are dates
  };
  std::vector<CellStyle> formats{CellStyle{}};  // by FormatId; 0 is General
  double dateOffset = 0;                        // subtracted from dates (1904 books)
  std::string error;
};

// The cells of one row, in the order written; rendered in column order with
// the last write of a column winning.
class RowCells {
 public:
  // Starts a cell of column; its XML after the reference attribute goes to
  // the returned buffer, then end() closes it.
  std::string& begin(uint32_t column);
  void end();
  bool empty() const { return spans_.empty(); }
  void clear();
  // Adds the cells of later after these.
  void append(const RowCells& later);
  // Reads the cells of a rendered row line; false when it is not one.
  bool parse(std::string_view line);
  // Appends <row r="...">cells</row> and a line break.
  void render(std::string& out, uint32_t row);

 private:
  struct Span {
    uint32_t column;
    size_t offset, length;
  };
  std::string xml_;
  std::vector<Span> spans_;
};

// A finished sheet as its package part: head, the streamed rows, tail.
struct XlsxSheetPart {
  std::string head;
  std::FILE* rows = nullptr;  // owned by the sheet
  uint64_t rowBytes = 0;
  std::string tail;
};

class XlsxSheet final : public Sheet {
 public:
  // A kept sheet is one of a loaded book, saved as it was unless cleared.
  XlsxSheet(std::string name, XlsxBookState& book, bool kept);
  ~XlsxSheet() override;
  XlsxSheet(const XlsxSheet&) = delete;
  XlsxSheet& operator=(const XlsxSheet&) = delete;

  const std::string& name() const override { return name_; }
  uint32_t maxRows() const override { return kMaxRows; }
  void writeString(uint32_t row, uint32_t column, std::string_view text) override;
  void writeNumber(uint32_t row, uint32_t column, double value, FormatId format) override;
  void writeBool(uint32_t row, uint32_t column, bool value) override;
  void setColumnWidth(uint32_t firstColumn, uint32_t lastColumn, double width) override;
  void split(uint32_t row, uint32_t column) override;

  bool kept() const { return kept_; }
  // Empties the sheet (a kept one is then written anew).
  void clear();
  // Cells refused (beyond the sheet's rows or columns, or on a kept sheet).
  uint64_t refusedCells() const { return refused_; }
  // Flushes the streamed rows, merges the late writes and gives the part.
  Result finish(XlsxSheetPart& part);

  static constexpr uint32_t kMaxRows = 1048576;
  static constexpr uint32_t kMaxColumns = 16384;

 private:
  std::string* beginCell(uint32_t row, uint32_t column);
  void endCell(uint32_t row, uint32_t column, size_t displayChars);
  void flushRow();  // failures kept in streamError_
  Result mergeLateWrites();
  std::string sheetHead() const;

  std::string name_;
  XlsxBookState& book_;
  bool kept_;
  std::FILE* rows_ = nullptr;
  uint64_t rowBytes_ = 0;
  int streamError_ = 0;  // errno of a failed temporary-file call
  bool readSinceWrite_ = false;  // the row file was read for saving
  RowCells head_;        // row 0
  RowCells current_;     // the row being written (currentRow_ > 0)
  uint32_t currentRow_ = 0;
  RowCells* open_ = nullptr;  // the buffer of the cell being written
  std::map<uint32_t, RowCells> late_;  // writes to passed rows above 0
  std::string line_;                   // a rendered row, reused
  std::vector<uint32_t> contentChars_;  // widest cell per column, in characters
  std::vector<double> widths_;          // per column; kUnset or a width or kFitToContent
  uint32_t lastRow_ = 0, lastColumn_ = 0;
  bool hasCells_ = false;
  uint32_t splitRow_ = 0, splitColumn_ = 0;
  uint64_t refused_ = 0;
};

}  // namespace tabrix::xl
