#include "xl/xls_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/output_file.h"

namespace tabrix::xl {

using biff::put16;
using biff::put32;
using biff::put8;

namespace {

constexpr unsigned kMaxLabelChars = 255;  // longer texts go to the shared string table
constexpr unsigned kMaxWidthChars = 255;

// Display width of text in characters: its longest line, East Asian wide characters counting two.
unsigned displayChars(std::u16string_view text) {
  unsigned longest = 0, line = 0;
  for (const char16_t c : text) {
    if (c == u'\n') {
      line = 0;
      continue;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // second half of a pair
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
    line += wide ? 2 : 1;
    longest = std::max(longest, line);
  }
  return longest;
}

unsigned numberChars(double value, FormatId format) {
  if (format == kXlsDateFormat) return 10;  // m/d/yyyy
  char text[64];
  const int n = format == kXlsIntegerFormat ? std::snprintf(text, sizeof text, "%.0f", value)
                                         : std::snprintf(text, sizeof text, "%.11g", value);
  return n > 0 ? static_cast<unsigned>(std::min(n, 63)) : 1;
}

// Reads the records of a temporary file back in order.
class TempRecords {
 public:
  explicit TempRecords(TempFile& file) : file_(file), buffer_(1 << 16) {}
  // The next whole record (header included); false at the end.
  bool next(std::span<const uint8_t>& record) {
    if (!fill(4)) return false;
    const size_t len = 4 + size_t{biff::get16(&buffer_[pos_ + 2])};
    if (!fill(len)) return false;
    record = {&buffer_[pos_], len};
    pos_ += len;
    return true;
  }

 private:
  bool fill(size_t n) {
    if (end_ - pos_ >= n) return true;
    std::copy(buffer_.begin() + pos_, buffer_.begin() + end_, buffer_.begin());
    end_ -= pos_;
    pos_ = 0;
    end_ += file_.read(&buffer_[end_], buffer_.size() - end_);
    return end_ >= n;
  }
  TempFile& file_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, end_ = 0;
};

}  // namespace

XlsSheet::XlsSheet(std::string name, XlsShared& shared) : name_(std::move(name)), shared_(shared) {
  put8(boundSheetTail_, 0);  // visible
  put8(boundSheetTail_, 0);  // a worksheet
  std::u16string units;
  biff::utf8ToUtf16(name_, 31, units);
  biff::putString(boundSheetTail_, units, 1);
}

XlsSheet::XlsSheet(std::string name, XlsShared& shared, std::span<const uint8_t> boundSheetTail,
                   std::span<const uint8_t> kept)
    : name_(std::move(name)),
      shared_(shared),
      boundSheetTail_(boundSheetTail.begin(), boundSheetTail.end()),
      kept_(kept) {}

void XlsSheet::RowCells::reset(uint32_t r) {
  row = r;
  bytes.clear();
  cells.clear();
}

void XlsSheet::RowCells::put(uint16_t column, std::span<const uint8_t> record) {
  cells.push_back({column, static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(record.size())});
  bytes.insert(bytes.end(), record.begin(), record.end());
}

void XlsSheet::RowCells::emit(biff::Bytes& out) {
  if (cells.empty()) return;
  // Cells arrive by column as a rule; the offset breaks ties so the last write comes last.
  const auto before = [](const Cell& a, const Cell& b) {
    return a.column != b.column ? a.column < b.column : a.offset < b.offset;
  };
  if (!std::is_sorted(cells.begin(), cells.end(), before)) std::sort(cells.begin(), cells.end(), before);
  const size_t start = biff::beginRecord(out, biff::kRow);
  put16(out, row);
  put16(out, cells.front().column);
  put16(out, cells.back().column + 1u);
  put16(out, 0x00FF);  // default height
  put16(out, 0);
  put16(out, 0);
  put16(out, 0x0100);
  put16(out, 0x000F);
  biff::endRecord(out, start);
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i + 1 < cells.size() && cells[i + 1].column == cells[i].column) continue;
    out.insert(out.end(), bytes.begin() + cells[i].offset, bytes.begin() + cells[i].offset + cells[i].size);
  }
}

bool XlsSheet::accept(uint32_t row, uint32_t column) {
  char text[160];
  if (!kept_.empty())
    std::snprintf(text, sizeof text, "the loaded sheet is kept as it is; clear it to write to it");
  else if (row >= kXlsRows)
    std::snprintf(text, sizeof text, "row %u is beyond the 65,536 rows an .xls sheet holds", row + 1);
  else if (column >= kXlsColumns)
    std::snprintf(text, sizeof text, "column %u is beyond the 256 columns an .xls sheet holds", column + 1);
  else
    return true;
  shared_.error = text;
  return false;
}

void XlsSheet::place(uint32_t row, uint32_t column, unsigned chars) {
  const auto col = static_cast<uint16_t>(column);
  if (hasRow_ && row == current_.row) {
    current_.put(col, scratch_);
  } else if (row >= nextRow_) {
    flushRow();
    current_.reset(row);
    hasRow_ = true;
    nextRow_ = row + 1;
    current_.put(col, scratch_);
  } else {
    late_[row << 8 | column] = scratch_;
  }
  firstRow_ = std::min(firstRow_, row);
  lastRow_ = std::max(lastRow_, row);
  firstColumn_ = std::min(firstColumn_, column);
  lastColumn_ = std::max(lastColumn_, column);
  fitChars_[column] = static_cast<uint16_t>(std::max<unsigned>(fitChars_[column], std::min(chars, kMaxWidthChars)));
}

void XlsSheet::flushRow() {
  if (!hasRow_) return;
  emitted_.clear();
  current_.emit(emitted_);
  rows_.append(emitted_.data(), emitted_.size());
  hasRow_ = false;
}

void XlsSheet::writeString(uint32_t row, uint32_t column, std::string_view text) {
  if (!accept(row, column)) return;
  biff::utf8ToUtf16(text, kMaxCellChars, text_);
  scratch_.clear();
  if (text_.size() <= kMaxLabelChars) {
    const size_t start = biff::beginRecord(scratch_, biff::kLabel);
    put16(scratch_, row);
    put16(scratch_, column);
    put16(scratch_, shared_.xfBase);
    biff::putString(scratch_, text_, 2);
    biff::endRecord(scratch_, start);
  } else {
    const uint32_t index = shared_.sst.add(text_);
    shared_.sst.addUses(1);
    const size_t start = biff::beginRecord(scratch_, biff::kLabelSst);
    put16(scratch_, row);
    put16(scratch_, column);
    put16(scratch_, shared_.xfBase);
    put32(scratch_, index);
    biff::endRecord(scratch_, start);
  }
  place(row, column, displayChars(text_));
}

void XlsSheet::writeNumber(uint32_t row, uint32_t column, double value, FormatId format) {
  if (!accept(row, column)) return;
  if (format != kXlsDateFormat && format != kXlsIntegerFormat) format = kGeneral;
  // Date serials come counted from 1900; a book counting from 1904 is 1462 days behind.
  if (format == kXlsDateFormat && shared_.dates1904) value -= 1462;
  scratch_.clear();
  const size_t start = biff::beginRecord(scratch_, biff::kNumber);
  put16(scratch_, row);
  put16(scratch_, column);
  put16(scratch_, shared_.xfBase + static_cast<unsigned>(format));
  biff::putDouble(scratch_, value);
  biff::endRecord(scratch_, start);
  place(row, column, numberChars(value, format));
}

void XlsSheet::writeBool(uint32_t row, uint32_t column, bool value) {
  if (!accept(row, column)) return;
  scratch_.clear();
  const size_t start = biff::beginRecord(scratch_, biff::kBoolErr);
  put16(scratch_, row);
  put16(scratch_, column);
  put16(scratch_, shared_.xfBase);
  put8(scratch_, value ? 1 : 0);
  put8(scratch_, 0);  // a boolean, not an error
  biff::endRecord(scratch_, start);
  place(row, column, 5);  // FALSE
}

void XlsSheet::setColumnWidth(uint32_t firstColumn, uint32_t lastColumn, double width) {
  for (uint32_t c = firstColumn; c <= lastColumn && c < kXlsColumns; ++c) widths_[c] = width;
}

void XlsSheet::split(uint32_t row, uint32_t column) {
  splitRow_ = std::min(row, kXlsRows - 1);
  splitColumn_ = std::min(column, kXlsColumns - 1);
}

void XlsSheet::clear() {
  kept_ = {};
  boundSheetTail_[1] = 0;  // a worksheet now, whatever it was
  rows_.clear();
  current_.reset(0);
  hasRow_ = false;
  nextRow_ = 0;
  late_.clear();
  firstRow_ = kXlsRows;
  lastRow_ = 0;
  firstColumn_ = kXlsColumns;
  lastColumn_ = 0;
  fitChars_.fill(0);
  widths_.fill(0);
  splitRow_ = splitColumn_ = 0;
}

Result XlsSheet::writeBody(biff::StreamOut& out) {
  if (!rows_.rewind()) return Result::failure(rows_.errorText());
  TempRecords records(rows_);
  std::span<const uint8_t> record;
  if (late_.empty()) {
    while (records.next(record)) out.write(record);
    return rows_.failed() ? Result::failure(rows_.errorText()) : Result();
  }
  // Rows with late cells are put together again; the others are copied as they are.
  auto late = late_.begin();
  const auto rowOf = [](uint32_t key) { return key >> 8; };
  const auto emitCurrent = [&] {
    for (; late != late_.end() && rowOf(late->first) == current_.row; ++late)
      current_.put(static_cast<uint16_t>(late->first & 0xFF), late->second);
    emitted_.clear();
    current_.emit(emitted_);
    out.write(emitted_);
  };
  const auto emitLateBefore = [&](uint32_t row) {
    while (late != late_.end() && rowOf(late->first) < row) {
      current_.reset(rowOf(late->first));
      emitCurrent();
    }
  };
  bool merging = false;
  while (records.next(record)) {
    const uint16_t type = biff::get16(record.data());
    if (type == biff::kRow) {
      if (merging) emitCurrent();
      const uint32_t row = biff::get16(record.data() + 4);
      emitLateBefore(row);
      merging = late != late_.end() && rowOf(late->first) == row;
      if (merging) current_.reset(row);
      else out.write(record);
    } else if (merging) {
      current_.put(biff::get16(record.data() + 6), record);
    } else {
      out.write(record);
    }
  }
  if (merging) emitCurrent();
  emitLateBefore(kXlsRows);
  current_.reset(0);
  return rows_.failed() ? Result::failure(rows_.errorText()) : Result();
}

Result XlsSheet::writeSubstream(biff::StreamOut& out, bool selected) {
  flushRow();
  if (rows_.failed()) return Result::failure(rows_.errorText());
  biff::Bytes head;
  biff::putBof(head, 0x0010);
  // The default row height (12.75 points) and column width (8 characters) as Excel writes them.
  size_t start = biff::beginRecord(head, biff::kDefaultRowHeight);
  put16(head, 0);
  put16(head, 0x00FF);
  biff::endRecord(head, start);
  start = biff::beginRecord(head, biff::kDefColWidth);
  put16(head, 8);
  biff::endRecord(head, start);
  for (uint32_t c = 0; c < kXlsColumns; ++c) {
    const double chars = widths_[c] == kFitToContent ? (fitChars_[c] ? fitChars_[c] + 1.0 : 0.0) : widths_[c];
    if (!(chars > 0)) continue;
    start = biff::beginRecord(head, biff::kColInfo);
    put16(head, c);
    put16(head, c);
    put16(head, static_cast<unsigned>(std::lround(std::min<double>(chars, kMaxWidthChars) * 256)));
    put16(head, 15);      // the default cell format
    put16(head, 0x0002);  // width set by the user
    put16(head, 0);
    biff::endRecord(head, start);
  }
  const bool empty = firstRow_ > lastRow_;
  start = biff::beginRecord(head, biff::kDimensions);
  put32(head, empty ? 0 : firstRow_);
  put32(head, empty ? 0 : lastRow_ + 1);
  put16(head, empty ? 0 : firstColumn_);
  put16(head, empty ? 0 : lastColumn_ + 1);
  put16(head, 0);
  biff::endRecord(head, start);
  out.write(head);

  if (Result r = writeBody(out); !r) return r;

  biff::Bytes tail;
  const bool frozen = splitRow_ > 0 || splitColumn_ > 0;
  start = biff::beginRecord(tail, biff::kWindow2);
  // Grid, headings, zeros, outline symbols; selected and shown; frozen panes.
  put16(tail, 0x00B6 | (selected ? 0x0600 : 0) | (frozen ? 0x0108 : 0));
  put16(tail, 0);
  put16(tail, 0);
  put16(tail, 0x0040);  // automatic heading colour
  put16(tail, 0);
  put16(tail, 0);
  put16(tail, 0);
  put32(tail, 0);
  biff::endRecord(tail, start);
  if (frozen) {
    // The active pane: bottom right, top right or bottom left.
    const unsigned pane = splitRow_ && splitColumn_ ? 0 : splitColumn_ ? 1 : 2;
    start = biff::beginRecord(tail, biff::kPane);
    put16(tail, splitColumn_);
    put16(tail, splitRow_);
    put16(tail, splitRow_);
    put16(tail, splitColumn_);
    put8(tail, pane);
    put8(tail, 0);
    biff::endRecord(tail, start);
    start = biff::beginRecord(tail, biff::kSelection);
    put8(tail, pane);
    put16(tail, splitRow_);
    put16(tail, splitColumn_);
    put16(tail, 0);
    put16(tail, 1);
    put16(tail, splitRow_);
    put16(tail, splitRow_);
    put8(tail, splitColumn_);
    put8(tail, splitColumn_);
    biff::endRecord(tail, start);
  }
  biff::putRecord(tail, biff::kEof);
  out.write(tail);
  return out.file.failed() ? Result::failure(out.file.errorText()) : Result();
}

}  // namespace tabrix::xl
