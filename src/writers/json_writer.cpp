// JSON outputs. Text is converted to UTF-8 before it is escaped (a double-byte
// character may end in a backslash byte). The array without UTF-8 output stays
// ASCII: every character beyond it is written as a \u escape, so the file reads
// the same in the ANSI code page and in UTF-8, and every JSON parser accepts it.
// JSON lines are UTF-8.
//
// Typed values: numbers as JSON numbers, logicals as true/false, NULL, blank
// dates and values that are no number as null, dates as ISO strings, binary
// values as base64 strings.
#include "writers/json_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "util/text_buffer.h"
#include "util/text_scan.h"
#include "util/utf8.h"
#include "writers/markup_escape.h"
#include "writers/memo_text.h"
#include "writers/trimmed_values.h"
#include "writers/typed_values.h"

namespace tabrix {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char* putUnicodeEscape(char* out, char32_t unit) {
  *out++ = '\\';
  *out++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHexDigits[(unit >> shift) & 0xF];
  return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Writes a decimal number text as a JSON number: no '+', no leading zeros, a
// digit on both sides of the point ("-.5" is -0.5, "5." is 5). Returns the
// length written, or 0 when text is no number.
size_t putJsonNumber(std::string_view text, char* out) {
  size_t i = 0, n = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') out[n++] = '-';
    ++i;
  }
  const size_t intStart = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  size_t lead = intStart;
  while (lead + 1 < i && text[lead] == '0') ++lead;
  for (size_t k = lead; k < i; ++k) out[n++] = text[k];
  bool digits = i > intStart;
  if (i < text.size() && text[i] == '.') {
    const size_t fracStart = ++i;
    while (i < text.size() && isDigit(text[i])) ++i;
    if (!digits && i > fracStart) out[n++] = '0';
    if (i > fracStart) {
      out[n++] = '.';
      for (size_t k = fracStart; k < i; ++k) out[n++] = text[k];
      digits = true;
    }
  }
  if (!digits) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    out[n++] = 'e';
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out[n++] = text[i++];
    const size_t expStart = i;
    while (i < text.size() && isDigit(text[i])) out[n++] = text[i++];
    if (i == expStart) return 0;
  }
  return i == text.size() ? n : 0;
}

class JsonWriter final : public RecordWriter {
 public:
  JsonWriter(JobContext& job, bool lines)
      : job_(job),
        lines_(lines),
        typed_(lines || job.options.jsonTypes),
        asciiOnly_(!lines && !job.options.utf8),
        utf8_(job.codePages.ansi),
        values_(job) {
    // Typed dates are ISO dates, whatever the user's date order.
    if (typed_) job_.decode.dateFormat.iso = true;
    std::vector<std::string> titles;
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      std::string title = job_.plan.columns[c].title;
      // A reader keeps one value of keys that repeat: typed outputs number the repeats.
      for (int n = 2; typed_ && std::find(titles.begin(), titles.end(), title) != titles.end(); ++n)
        title = job_.plan.columns[c].title + "_" + std::to_string(n);
      titles.push_back(title);
      line_.clear();
      if (c > 0) line_.push_back(',');
      line_.push_back('"');
      appendString(title);
      line_.append("\":");
      keys_.emplace_back(line_.view());
    }
  }

  void header() override {
    if (!lines_) job_.out.write("[");
  }

  void record(const uint8_t* record, bool) override {
    line_.clear();
    if (anyWritten_ && !lines_) line_.push_back(',');
    anyWritten_ = true;
    line_.push_back('{');
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      const PlannedColumn& column = job_.plan.columns[c];
      line_.append(keys_[c]);
      if (isNull(column.nullBit, record)) line_.append("null");
      else if (typed_ || (column.valueClass == ValueClass::Binary && job_.options.keepBinary))
        appendTyped(column, record);
      else appendQuoted(column, record);
    }
    line_.push_back('}');
    if (lines_) line_.push_back('\n');
    job_.out.write(line_.view());
  }

  void footer() override {
    if (!lines_) job_.out.write("]");
  }

 private:
  void appendQuoted(const PlannedColumn& column, const uint8_t* record) {
    line_.push_back('"');
    if (column.valueClass == ValueClass::Memo) {
      readMemoText(job_.table, column.field, record, job_.codePages, memo_);
      appendString(memo_);
    } else {
      appendString(values_.trimmed(column, record));
    }
    line_.push_back('"');
  }

  void appendTyped(const PlannedColumn& column, const uint8_t* record) {
    const Field& f = *column.source;
    switch (column.valueClass) {
      case ValueClass::Memo:
      case ValueClass::Text: appendQuoted(column, record); return;
      case ValueClass::Binary: appendBase64String(binaryValue(job_.table, column, record)); return;
      case ValueClass::Logical: {
        const std::optional<bool> truth = logicalValue(f, record);
        line_.append(!truth ? "null" : *truth ? "true" : "false");
        return;
      }
      case ValueClass::Date:
      case ValueClass::DateTime:
        // Blank, zero and damaged dates are no dates.
        if (!holdsDate(job_, column, record)) line_.append("null");
        else appendQuoted(column, record);
        return;
      case ValueClass::Currency: {
        char* out = line_.extend(32);
        line_.commit(formatCurrency(currencyAmount(f, record), 4, out));
        return;
      }
      case ValueClass::Double: {
        // The shortest text that reads back as the same double; inf and nan are no JSON numbers.
        char text[32];
        const auto end = fmt::format_to_n(text, sizeof text, "{}", doubleValue(f, record)).out;
        appendNumber({text, static_cast<size_t>(end - text)});
        return;
      }
      default: appendNumber(values_.trimmed(column, record)); return;
    }
  }

  void appendNumber(std::string_view text) {
    char* out = line_.extend(text.size() + 2);
    const size_t n = putJsonNumber(text, out);
    if (n > 0) line_.commit(n);
    else line_.append("null");
  }

  void appendBase64String(std::string_view bytes) {
    line_.push_back('"');
    appendBase64(line_, bytes);
    line_.push_back('"');
  }

  // Appends ANSI text as the inside of a JSON string.
  void appendString(std::string_view ansi) {
    // Most values need neither conversion nor escapes.
    if (isPlainText<'"', '\\'>(ansi)) {
      line_.append(ansi);
      return;
    }
    char* const text = utf8Text_.extend(Utf8Converter::capacityFor(ansi.size()));
    const char* const end = text + utf8_.convert(ansi.data(), ansi.size(), text);
    // An escape takes at most six characters for each byte it stands for.
    char* out = line_.extend(6 * static_cast<size_t>(end - text));
    char* const start = out;
    for (const char* p = text; p < end;) {
      const auto b = static_cast<uint8_t>(*p);
      if (b >= 0x80 && asciiOnly_) {
        char32_t c = nextCodePoint(p, end);
        if (c == kNoCodePoint) c = 0xFFFD;  // the converter writes valid UTF-8; never a raw byte here
        if (c >= 0x10000) {
          c -= 0x10000;
          out = putUnicodeEscape(out, 0xD800 + (c >> 10));
          c = 0xDC00 + (c & 0x3FF);
        }
        out = putUnicodeEscape(out, c);
        continue;
      }
      ++p;
      switch (b) {
        case '"': *out++ = '\\'; *out++ = '"'; break;
        case '\\': *out++ = '\\'; *out++ = '\\'; break;
        case '\b': *out++ = '\\'; *out++ = 'b'; break;
        case '\f': *out++ = '\\'; *out++ = 'f'; break;
        case '\n': *out++ = '\\'; *out++ = 'n'; break;
        case '\r': *out++ = '\\'; *out++ = 'r'; break;
        case '\t': *out++ = '\\'; *out++ = 't'; break;
        default:
          if (b < 0x20) out = putUnicodeEscape(out, b);
          else *out++ = static_cast<char>(b);
      }
    }
    line_.commit(static_cast<size_t>(out - start));
  }

  JobContext& job_;
  const bool lines_;
  const bool typed_;
  const bool asciiOnly_;
  Utf8Converter utf8_;
  TrimmedValues values_;
  std::vector<std::string> keys_;  // ',' (but the first), the quoted title and ':'
  bool anyWritten_ = false;
  std::string memo_;
  TextBuffer utf8Text_;
  TextBuffer line_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeJsonWriter(JobContext& job) { return std::make_unique<JsonWriter>(job, false); }
std::unique_ptr<RecordWriter> makeJsonLinesWriter(JobContext& job) { return std::make_unique<JsonWriter>(job, true); }

}  // namespace tabrix
