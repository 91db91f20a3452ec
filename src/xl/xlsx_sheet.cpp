#include "xl/xlsx_sheet.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "xl/xlsx_cell_text.h"

namespace tabrix::xl {
namespace {

constexpr double kUnset = -2.0;
constexpr double kMaxWidth = 255.0;
// A number in General shows at most this many characters; a date (m/d/yyyy) ten.
constexpr size_t kGeneralChars = 11;
constexpr size_t kDateChars = 10;
constexpr size_t kBlockSize = 1 << 20;

// 1048576 as "1,048,576".
std::string groupedDigits(uint64_t count) {
  std::string digits = std::to_string(count), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// A line of the row file, without its line break; false at the end.
bool readLine(std::FILE* file, std::string& line) {
  line.clear();
  char block[1 << 16];
  while (std::fgets(block, sizeof block, file)) {
    line += block;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      return true;
    }
  }
  return !line.empty();
}

// The row number (from 0) of a line "<row r="N">...".
bool lineRow(std::string_view line, uint32_t& row) {
  constexpr std::string_view kStart = "<row r=\"";
  if (line.substr(0, kStart.size()) != kStart) return false;
  uint64_t value = 0;
  size_t i = kStart.size();
  while (i < line.size() && line[i] >= '0' && line[i] <= '9' && value <= XlsxSheet::kMaxRows)
    value = value * 10 + static_cast<uint64_t>(line[i++] - '0');
  if (value == 0 || value > XlsxSheet::kMaxRows) return false;
  row = static_cast<uint32_t>(value - 1);
  return true;
}

}  // namespace

std::string& RowCells::begin(uint32_t column) {
  spans_.push_back({column, xml_.size(), 0});
  return xml_;
}

void RowCells::end() { spans_.back().length = xml_.size() - spans_.back().offset; }

void RowCells::clear() {
  xml_.clear();
  spans_.clear();
}

void RowCells::append(const RowCells& later) {
  for (const Span& span : later.spans_) {
    begin(span.column).append(later.xml_, span.offset, span.length);
    end();
  }
}

bool RowCells::parse(std::string_view line) {
  constexpr std::string_view kReference = " r=\"", kEnd = "</c>";
  uint32_t next = 0;  // the column of a cell without a reference
  size_t at = line.find("<c");
  while (at != std::string_view::npos) {
    std::string_view rest = line.substr(at + 2);
    uint32_t column = next;
    if (rest.substr(0, kReference.size()) == kReference) {
      rest.remove_prefix(kReference.size());
      if (!readColumnName(rest, column)) return false;
      while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
      if (rest.empty() || rest.front() != '"') return false;
      rest.remove_prefix(1);
    }
    const size_t close = rest.find(kEnd);
    if (close == std::string_view::npos) return false;
    begin(column).append(rest.substr(0, close + kEnd.size()));
    end();
    next = column + 1;
    at = line.find("<c", static_cast<size_t>(rest.data() - line.data()) + close);
  }
  return true;
}

void RowCells::render(std::string& out, uint32_t row) {
  const bool ordered = std::adjacent_find(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) {
                         return a.column >= b.column;
                       }) == spans_.end();
  if (!ordered)
    std::stable_sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) { return a.column < b.column; });
  // The row number's digits, for the row and the cells that need a reference.
  char rowText[16];
  const size_t rowDigits =
      static_cast<size_t>(std::to_chars(rowText, rowText + sizeof rowText, uint64_t{row} + 1).ptr - rowText);
  out += "<row r=\"";
  out.append(rowText, rowDigits);
  out += "\">";
  uint32_t next = 0;
  for (size_t i = 0; i < spans_.size(); ++i) {
    // Of cells of one column the last written wins (stable order kept it last).
    if (i + 1 < spans_.size() && spans_[i + 1].column == spans_[i].column) continue;
    // A cell right after the one before needs no reference: readers count
    // columns on, and the sheet is a fifth smaller.
    out += "<c";
    if (spans_[i].column != next) {
      out += " r=\"";
      appendColumnName(out, spans_[i].column);
      out.append(rowText, rowDigits);
      out += '"';
    }
    out.append(xml_, spans_[i].offset, spans_[i].length);
    next = spans_[i].column + 1;
  }
  out += "</row>\n";
}

XlsxSheet::XlsxSheet(std::string name, XlsxBookState& book, bool kept)
    : name_(std::move(name)), book_(book), kept_(kept) {}

XlsxSheet::~XlsxSheet() {
  if (rows_) std::fclose(rows_);
}

void XlsxSheet::clear() {
  if (rows_) std::fclose(rows_);
  rows_ = nullptr;
  rowBytes_ = 0;
  streamError_ = 0;
  head_.clear();
  current_.clear();
  currentRow_ = 0;
  late_.clear();
  contentChars_.clear();
  widths_.clear();
  lastRow_ = lastColumn_ = 0;
  hasCells_ = false;
  splitRow_ = splitColumn_ = 0;
  refused_ = 0;
  kept_ = false;
}

std::string* XlsxSheet::beginCell(uint32_t row, uint32_t column) {
  if (kept_ || row >= kMaxRows || column >= kMaxColumns) {
    if (refused_++ == 0)
      book_.error = kept_ ? "sheet '" + name_ + "' is kept as it was loaded; cells go only to added or cleared sheets"
                    : row >= kMaxRows
                        ? "sheet '" + name_ + "': row " + groupedDigits(uint64_t{row} + 1) +
                              " is beyond the last row of an XLSX sheet (" + groupedDigits(kMaxRows) + ")"
                        : "sheet '" + name_ + "': column " + groupedDigits(uint64_t{column} + 1) +
                              " is beyond the last column of an XLSX sheet (" + groupedDigits(kMaxColumns) + ")";
    return nullptr;
  }
  if (row == 0) {
    open_ = &head_;
  } else if (row >= currentRow_) {
    if (row > currentRow_) {
      if (!current_.empty()) flushRow();
      currentRow_ = row;
    }
    open_ = &current_;
  } else {
    open_ = &late_[row];
  }
  return &open_->begin(column);
}

void XlsxSheet::endCell(uint32_t row, uint32_t column, size_t displayChars) {
  open_->end();
  if (column >= contentChars_.size()) contentChars_.resize(column + 1, 0);
  contentChars_[column] = std::max(contentChars_[column], static_cast<uint32_t>(displayChars));
  lastRow_ = std::max(lastRow_, row);
  lastColumn_ = std::max(lastColumn_, column);
  hasCells_ = true;
}

void XlsxSheet::writeString(uint32_t row, uint32_t column, std::string_view text) {
  std::string* xml = beginCell(row, column);
  if (!xml) return;
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  *xml += " t=\"inlineStr\"><is><t";
  if (!text.empty() && (space(text.front()) || space(text.back()))) *xml += " xml:space=\"preserve\"";
  *xml += '>';
  const size_t chars = appendCellText(*xml, text, kMaxCellChars);
  *xml += "</t></is></c>";
  endCell(row, column, chars);
}

void XlsxSheet::writeNumber(uint32_t row, uint32_t column, double value, FormatId format) {
  // Spreadsheets hold no infinities or NaN: such a cell stays empty.
  if (!std::isfinite(value)) return;
  const auto index = static_cast<size_t>(format);
  XlsxBookState::CellStyle style;  // an unknown format is General
  if (format > 0 && index < book_.formats.size()) style = book_.formats[index];
  if (style.date) value -= book_.dateOffset;
  std::string* xml = beginCell(row, column);
  if (!xml) return;
  if (style.xf != 0) {
    *xml += " s=\"";
    char digits[16];
    xml->append(digits, std::to_chars(digits, digits + sizeof digits, style.xf).ptr);
    *xml += '"';
  }
  *xml += "><v>";
  const size_t digits = appendNumber(*xml, value);
  *xml += "</v></c>";
  size_t shown = std::min(digits, kGeneralChars);
  if (style.date) shown = kDateChars;
  endCell(row, column, shown);
}

void XlsxSheet::writeBool(uint32_t row, uint32_t column, bool value) {
  std::string* xml = beginCell(row, column);
  if (!xml) return;
  *xml += value ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>";
  endCell(row, column, value ? 4 : 5);  // TRUE, FALSE
}

void XlsxSheet::setColumnWidth(uint32_t firstColumn, uint32_t lastColumn, double width) {
  if (firstColumn > lastColumn || firstColumn >= kMaxColumns) return;
  lastColumn = std::min(lastColumn, kMaxColumns - 1);
  if (width != kFitToContent) width = std::clamp(std::isnan(width) ? 0.0 : width, 0.0, kMaxWidth);
  if (lastColumn >= widths_.size()) widths_.resize(lastColumn + 1, kUnset);
  std::fill(widths_.begin() + firstColumn, widths_.begin() + lastColumn + 1, width);
}

void XlsxSheet::split(uint32_t row, uint32_t column) {
  splitRow_ = std::min(row, kMaxRows - 1);
  splitColumn_ = std::min(column, kMaxColumns - 1);
}

void XlsxSheet::flushRow() {
  if (!rows_ && streamError_ == 0) {
    rows_ = std::tmpfile();
    if (!rows_) streamError_ = errno;
    else std::setvbuf(rows_, nullptr, _IOFBF, kBlockSize);
  }
  line_.clear();
  current_.render(line_, currentRow_);
  current_.clear();
  if (streamError_ == 0 && readSinceWrite_) {
    // A saved book's row file was read: writing goes on at its end.
    if (std::fseek(rows_, 0, SEEK_END) != 0) streamError_ = errno;
    readSinceWrite_ = false;
  }
  if (streamError_ == 0) {
    if (std::fwrite(line_.data(), 1, line_.size(), rows_) != line_.size()) streamError_ = errno ? errno : EIO;
    rowBytes_ += line_.size();
  }
}

Result XlsxSheet::mergeLateWrites() {
  std::FILE* merged = std::tmpfile();
  if (!merged) return Result::failure(std::string("cannot create a temporary file: ") + std::strerror(errno));
  std::setvbuf(merged, nullptr, _IOFBF, kBlockSize);
  std::rewind(rows_);
  uint64_t written = 0;
  bool failed = false;
  const auto put = [&](const std::string& text) {
    failed = failed || std::fwrite(text.data(), 1, text.size(), merged) != text.size();
    written += text.size();
  };
  auto next = late_.begin();
  // Rows only written late go in their place among the streamed ones.
  const auto putLateBefore = [&](uint64_t row) {
    for (; next != late_.end() && next->first < row; ++next) {
      line_.clear();
      next->second.render(line_, next->first);
      put(line_);
    }
  };
  std::string text;
  while (!failed && readLine(rows_, text)) {
    uint32_t row = 0;
    if (!lineRow(text, row)) {
      std::fclose(merged);
      return Result::failure("the rows of sheet '" + name_ + "' were damaged in their temporary file");
    }
    putLateBefore(row);
    if (next != late_.end() && next->first == row) {
      RowCells cells;
      if (!cells.parse(text)) {
        std::fclose(merged);
        return Result::failure("the rows of sheet '" + name_ + "' were damaged in their temporary file");
      }
      cells.append(next->second);
      line_.clear();
      cells.render(line_, row);
      put(line_);
      ++next;
    } else {
      text += '\n';
      put(text);
    }
  }
  putLateBefore(uint64_t{kMaxRows});
  if (failed || std::ferror(rows_)) {
    const int error = errno ? errno : EIO;
    std::fclose(merged);
    return Result::failure("cannot merge the rows of sheet '" + name_ + "': " + std::strerror(error));
  }
  std::fclose(rows_);
  rows_ = merged;
  rowBytes_ = written;
  late_.clear();
  return {};
}

std::string XlsxSheet::sheetHead() const {
  std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><dimension ref=\"A1";
  if (hasCells_ && (lastRow_ > 0 || lastColumn_ > 0)) {
    head += ":";
    appendColumnName(head, lastColumn_);
    head += std::to_string(uint64_t{lastRow_} + 1);
  }
  head += "\"/><sheetViews><sheetView workbookViewId=\"0\">";
  if (splitRow_ > 0 || splitColumn_ > 0) {
    const char* pane = splitRow_ > 0 && splitColumn_ > 0 ? "bottomRight" : splitRow_ > 0 ? "bottomLeft" : "topRight";
    head += "<pane";
    if (splitColumn_ > 0) head += " xSplit=\"" + std::to_string(splitColumn_) + '"';
    if (splitRow_ > 0) head += " ySplit=\"" + std::to_string(splitRow_) + '"';
    head += " topLeftCell=\"";
    appendColumnName(head, splitColumn_);
    head += std::to_string(uint64_t{splitRow_} + 1);
    head += "\" activePane=\"" + std::string(pane) + "\" state=\"frozen\"/><selection pane=\"" + pane + "\"/>";
  }
  head += "</sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
  // Columns of one width in a row share a <col> element.
  std::string cols;
  const auto widthOf = [&](size_t column) {
    if (column >= widths_.size() || widths_[column] == kUnset) return kUnset;
    if (widths_[column] != kFitToContent) return widths_[column];
    const uint32_t chars = column < contentChars_.size() ? contentChars_[column] : 0;
    return chars == 0 ? kUnset : std::min(kMaxWidth, chars + 2.0);
  };
  for (size_t column = 0; column < widths_.size();) {
    const double width = widthOf(column);
    size_t last = column;
    while (last + 1 < widths_.size() && widthOf(last + 1) == width) ++last;
    if (width != kUnset) {
      char number[32];
      const auto [end, ec] = std::to_chars(number, number + sizeof number, width);
      cols += "<col min=\"" + std::to_string(column + 1) + "\" max=\"" + std::to_string(last + 1) + "\" width=\"" +
              std::string(number, ec == std::errc() ? end : number) + "\" customWidth=\"1\"/>";
    }
    column = last + 1;
  }
  if (!cols.empty()) head += "<cols>" + cols + "</cols>";
  head += "<sheetData>";
  return head;
}

Result XlsxSheet::finish(XlsxSheetPart& part) {
  if (!current_.empty()) {
    flushRow();
    // The flushed row is passed now: a later write to it is merged.
    ++currentRow_;
  }
  if (streamError_ != 0)
    return Result::failure("cannot write the rows of sheet '" + name_ + "' to a temporary file: " +
                           std::strerror(streamError_));
  if (!late_.empty() && rows_) {
    if (Result merged = mergeLateWrites(); !merged) return merged;
  }
  if (rows_ && std::fflush(rows_) != 0)
    return Result::failure("cannot write the rows of sheet '" + name_ + "': " + std::strerror(errno));
  part.head = sheetHead();
  if (!head_.empty()) head_.render(part.head, 0);
  part.rows = rows_;
  readSinceWrite_ = true;
  part.rowBytes = rowBytes_;
  part.tail = "</sheetData></worksheet>";
  return {};
}

}  // namespace tabrix::xl
