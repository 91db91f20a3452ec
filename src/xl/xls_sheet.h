#pragma once
// One sheet of an .xls book. A sheet made or cleared in this book streams its
// cells, row by row, to a temporary file as BIFF8 ROW and cell records; cells
// of rows already passed wait in a small map and are merged in when the
// sheet's substream is written. A sheet loaded with its book keeps its bytes.
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"
#include "xl/biff_records.h"
#include "xl/book.h"
#include "xl/xls_sst.h"
#include "xl/xls_temp_file.h"

namespace tabrix::xl {

// What the sheets of one book share.
struct XlsShared {
  SstWriter sst;            // strings too long for a LABEL record
  uint16_t xfBase = 15;     // the XF record of FormatId 0; the formats follow it
  bool dates1904 = false;   // a loaded book counts its dates from 1904
  std::string error;        // the book's last failure
};

// The formats a book adds, after its General cell format (FormatId 0).
inline constexpr FormatId kXlsDateFormat = 1, kXlsIntegerFormat = 2;
inline constexpr uint32_t kXlsRows = 65536;
inline constexpr uint32_t kXlsColumns = 256;

class XlsSheet final : public Sheet {
 public:
  // A new, empty sheet.
  XlsSheet(std::string name, XlsShared& shared);
  // A loaded sheet: its BOUNDSHEET record's data after the stream position
  // (visibility, kind, name as stored) and its substream's bytes.
  XlsSheet(std::string name, XlsShared& shared, std::span<const uint8_t> boundSheetTail, std::span<const uint8_t> kept);

  const std::string& name() const override { return name_; }
  uint32_t maxRows() const override { return kXlsRows; }
  void writeString(uint32_t row, uint32_t column, std::string_view text) override;
  void writeNumber(uint32_t row, uint32_t column, double value, FormatId format = kGeneral) override;
  void writeBool(uint32_t row, uint32_t column, bool value) override;
  void setColumnWidth(uint32_t firstColumn, uint32_t lastColumn, double width) override;
  void split(uint32_t row, uint32_t column) override;

  // Empties the sheet for writing from row 0 (a loaded sheet's bytes are dropped).
  void clear();
  // The loaded substream kept as it is; empty for a sheet written here.
  std::span<const uint8_t> kept() const { return kept_; }
  // The BOUNDSHEET record's data after its stream position.
  const biff::Bytes& boundSheetTail() const { return boundSheetTail_; }
  // Writes the substream (BOF to EOF) of a sheet written here; selected
  // marks the book's active sheet.
  Result writeSubstream(biff::StreamOut& out, bool selected);

 private:
  // The cells of the row being written, in write order; a later cell of the
  // same column wins.
  struct RowCells {
    struct Cell {
      uint16_t column;
      uint32_t offset;
      uint32_t size;
    };
    uint32_t row = 0;
    biff::Bytes bytes;
    std::vector<Cell> cells;
    void reset(uint32_t r);
    void put(uint16_t column, std::span<const uint8_t> record);
    // Appends a ROW record and the cells, by column.
    void emit(biff::Bytes& out);
  };

  bool accept(uint32_t row, uint32_t column);
  // Files the cell record in scratch_ for (row, column), measured at chars wide.
  void place(uint32_t row, uint32_t column, unsigned chars);
  void flushRow();
  Result writeBody(biff::StreamOut& out);

  std::string name_;
  XlsShared& shared_;
  biff::Bytes boundSheetTail_;
  std::span<const uint8_t> kept_;

  TempFile rows_;
  RowCells current_;
  bool hasRow_ = false;
  uint32_t nextRow_ = 0;  // the first row that may still be streamed
  std::map<uint32_t, biff::Bytes> late_;  // cells of passed rows, by row << 8 | column
  biff::Bytes scratch_;
  biff::Bytes emitted_;
  std::u16string text_;
  uint32_t firstRow_ = kXlsRows, lastRow_ = 0, firstColumn_ = kXlsColumns, lastColumn_ = 0;
  std::array<uint16_t, kXlsColumns> fitChars_{};
  std::array<double, kXlsColumns> widths_{};  // characters; 0 default, kFitToContent
  uint32_t splitRow_ = 0, splitColumn_ = 0;
};

}  // namespace tabrix::xl
