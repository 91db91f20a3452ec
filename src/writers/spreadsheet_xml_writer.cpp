// The Excel 2003 XML spreadsheet: a fixed style block, one header row of
// titles, then one Row of cells per record. The text stays in the ANSI code
// page, which the declaration names, unless UTF-8 is asked for; code pages
// that have no single name every parser knows are converted to UTF-8 too.
// A spreadsheet program refuses a Number or DateTime cell whose text is no
// number or date, and drops the rest of the table with it, so such values
// are written as String cells.
#include "writers/spreadsheet_xml_writer.h"

#include <fmt/format.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "writers/markup_escape.h"
#include "writers/trimmed_values.h"
#include "writers/memo_text.h"
#include "writers/text_encodings.h"
#include "util/text_buffer.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

constexpr char kStyles[] =
    "<?mso-application progid=\"Excel.Sheet\"?>\r\n"
    "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\r\n"
    " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
    " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\r\n"
    " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"\r\n"
    " xmlns:html=\"http://www.w3.org/TR/REC-html40\">\r\n"
    " <Styles>\r\n"
    "  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\r\n"
    "   <Alignment ss:Vertical=\"Bottom\"/>\r\n"
    "   <Borders/>\r\n"
    "   <Font/>\r\n"
    "   <Interior/>\r\n"
    "   <NumberFormat/>\r\n"
    "   <Protection/>\r\n"
    "  </Style>\r\n"
    "  <Style ss:ID=\"header\">\r\n"
    "   <Font x:Family=\"Swiss\" ss:Bold=\"1\"/>\r\n"
    "  </Style>\r\n";

// The encoding the declaration names for text left in the ANSI code page:
// the single-byte Windows pages, by their registered names. Empty for the
// others, whose text is converted to UTF-8.
std::string declaredEncoding(const JobContext& job) {
  const int cp = job.codePages.ansi;
  if (job.options.utf8 || !(cp == 874 || (cp >= 1250 && cp <= 1258))) return {};
  return std::string(htmlCharsetName(cp));
}

bool isBlankText(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != ' ' && p[i] != '\0') return false;
  return true;
}

// Spreadsheets read dates from year 1000 on.
bool isSpreadsheetYear(const std::optional<DateTimeParts>& parts) { return parts && parts->year >= 1000; }

class SpreadsheetXmlWriter final : public RecordWriter {
 public:
  explicit SpreadsheetXmlWriter(JobContext& job)
      : job_(job), o_(job.options), encoding_(declaredEncoding(job)), utf8_(job.codePages.ansi),
        values_(job) {
    // Bytes the declared code page leaves undefined would make the document
    // unreadable; they become '?' as they do in UTF-8.
    for (size_t b = 0; !encoding_.empty() && b < defined_.size(); ++b) {
      const char in = static_cast<char>(b);
      char out[4];
      const bool undefined = b != '?' && utf8_.convert(&in, 1, out) == 1 && out[0] == '?';
      defined_[b] = undefined ? '?' : static_cast<uint8_t>(b);
    }
  }

  void header() override {
    line_.clear();
    line_.append("<?xml version=\"1.0\"");
    if (!encoding_.empty()) line_.append(fmt::format(" encoding=\"{}\"", encoding_));
    line_.append(" standalone=\"yes\"?>\r\n");
    line_.append(kStyles);
    const char* format = o_.dateOrder == '1' ? "dd/mm/yyyy" : o_.dateOrder == '2' ? "yyyy/mm/dd" : "mm/dd/yyyy";
    line_.append(fmt::format("<Style ss:ID=\"Date\"><NumberFormat ss:Format=\"{};@\"/></Style>\r\n</Styles>\r\n",
                             format));
    line_.append("<Worksheet ss:Name=\"Sheet1\">\r\n<Table>\r\n<Row>\r\n");
    if (o_.addRowId) appendHeaderCell("ROWID");
    for (const PlannedColumn& column : job_.plan.columns) appendHeaderCell(column.title);
    line_.append("</Row>\r\n");
    emit();
  }

  void record(const uint8_t* record, bool lastPosition) override {
    job_.out.write("<Row>\r\n");
    line_.clear();
    if (o_.addRowId) {
      char* p = line_.extend(80);
      line_.commit(static_cast<size_t>(
          fmt::format_to(p, "<Cell><Data ss:Type=\"Number\">{}</Data></Cell>\r\n", job_.recordsWritten) - p));
    }
    for (const PlannedColumn& column : job_.plan.columns) {
      if (isNull(column.nullBit, record)) {
        line_.append("<Cell/>\r\n");  // keeps the next cell in its column
        continue;
      }
      switch (column.valueClass) {
        case ValueClass::Memo: appendMemo(column.field, record); break;
        case ValueClass::Date: appendDate(column, record); break;
        case ValueClass::DateTime: appendDateTime(column, record); break;
        case ValueClass::Number:
        case ValueClass::Integer:
        case ValueClass::Currency:
        case ValueClass::Double: {
          const std::string_view text = values_.trimmed(column, record);
          appendCell(isDecimalNumber(text, SignRule::MinusOnly) ? "Number" : "String", text);
          break;
        }
        default: appendCell("String", values_.trimmed(column, record));
      }
    }
    if (!lastPosition) line_.append(o_.rowDelimiter);
    emit();
    job_.out.write("</Row>\r\n");
  }

  void footer() override { job_.out.write("</Table>\r\n</Worksheet>\r\n</Workbook>\r\n"); }

 private:
  void appendHeaderCell(std::string_view title) {
    line_.append("<Cell ss:StyleID=\"header\"><Data ss:Type=\"String\">");
    appendEscapedMarkup(line_, title.data(), title.size(), MarkupKind::Xml);
    line_.append("</Data></Cell>\r\n");
  }

  void appendCell(const char* type, std::string_view text) {
    line_.append("<Cell><Data ss:Type=\"");
    line_.append(type);
    line_.append("\">");
    appendEscapedMarkup(line_, text.data(), text.size(), MarkupKind::Xml);
    line_.append("</Data></Cell>\r\n");
  }

  // A date-time cell in the Date style, or the style alone for no value.
  void appendDateCell(const char* iso, size_t n) {
    if (n == 0) {
      line_.append("<Cell ss:StyleID=\"Date\"/>\r\n");
      return;
    }
    line_.append("<Cell ss:StyleID=\"Date\"><Data ss:Type=\"DateTime\">");
    line_.append(iso, n);
    line_.append("</Data></Cell>\r\n");
  }

  void appendDate(const PlannedColumn& column, const uint8_t* record) {
    const Field& f = *column.source;
    const uint8_t* d = record + f.offset;
    if (isBlankDate(f, record)) return appendDateCell(nullptr, 0);
    if (!isSpreadsheetYear(dateFromText(d, f.length))) return appendCell("String", values_.trimmed(column, record));
    char iso[32];
    size_t n = formatDateIso(d, /*emptyWhenBlank=*/true, IsoFlavour::Plain, iso);
    std::memcpy(iso + n, "T00:00:00.000", 13);
    appendDateCell(iso, n + 13);
  }

  void appendDateTime(const PlannedColumn& column, const uint8_t* record) {
    const Field& f = *column.source;
    // Some date-times are stored as 14 characters of text, the others in binary.
    const bool text = f.kind.storage == Storage::DateTimeText;
    const std::optional<DateTimeParts> parts =
        text ? dateTimeFromText(record + f.offset) : decodeDateTime(job_.table, column.field, record);
    if (!parts) {
      // Blanks are no value; other text that is no date-time stays readable.
      if (text && !isBlankText(record + f.offset, f.length))
        return appendCell("String", values_.trimmed(column, record));
      return appendDateCell(nullptr, 0);
    }
    if (!isSpreadsheetYear(parts)) return appendCell("String", values_.trimmed(column, record));
    char iso[48];
    size_t n = formatDateTimeIso(parts, /*xmlForm=*/true, IsoFlavour::Plain, iso);
    // The ISO form leaves out the time at hour 0; a DateTime cell needs one.
    if (parts->hour == 0) n += static_cast<size_t>(fmt::format_to(iso + n, "T00:{:02}:00.000", parts->minute) - (iso + n));
    appendDateCell(iso, n);
  }

  // CR, LF and tabs become blanks.
  void appendMemo(int field, const uint8_t* record) {
    readMemoText(job_.table, field, record, job_.codePages, memo_);
    for (char& c : memo_)
      if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    appendCell("String", memo_);
  }

  void emit() {
    if (encoding_.empty()) {
      char* p = converted_.extend(Utf8Converter::capacityFor(line_.size()));
      job_.out.write(p, utf8_.convert(line_.data(), line_.size(), p));
    } else {
      translateBytes(defined_, line_.data(), line_.size());
      job_.out.write(line_.data(), line_.size());
    }
  }

  JobContext& job_;
  const ConversionOptions& o_;
  const std::string encoding_;
  Utf8Converter utf8_;
  TrimmedValues values_;
  std::array<uint8_t, 256> defined_{};
  std::string memo_;
  TextBuffer line_;
  TextBuffer converted_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeSpreadsheetXmlWriter(JobContext& job) {
  return std::make_unique<SpreadsheetXmlWriter>(job);
}

}  // namespace tabrix
