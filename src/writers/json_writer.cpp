// A JSON array of one object per record, every value a string. Text is
// converted to UTF-8 before it is escaped (a double-byte character may end in
// a backslash byte). Without UTF-8 output the file stays ASCII: every
// character beyond it is written as a \u escape, so the file reads the same
// in the ANSI code page and in UTF-8, and every JSON parser accepts it.
#include "writers/json_writer.h"

#include <string>
#include <vector>

#include "writers/markup_escape.h"
#include "writers/trimmed_values.h"
#include "writers/memo_text.h"
#include "util/text_buffer.h"
#include "util/utf8.h"

namespace tabrix {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char* putUnicodeEscape(char* out, char32_t unit) {
  *out++ = '\\';
  *out++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHexDigits[(unit >> shift) & 0xF];
  return out;
}

class JsonWriter final : public RecordWriter {
 public:
  explicit JsonWriter(JobContext& job)
      : job_(job), asciiOnly_(!job.options.utf8), utf8_(job.codePages.ansi), values_(job) {
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      line_.clear();
      if (c > 0) line_.push_back(',');
      line_.push_back('"');
      appendString(job_.plan.columns[c].title);
      line_.append("\":\"");
      keys_.emplace_back(line_.view());
    }
  }

  void header() override { job_.out.write("["); }

  void record(const uint8_t* record, bool) override {
    line_.clear();
    if (anyWritten_) line_.push_back(',');
    anyWritten_ = true;
    line_.push_back('{');
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      const PlannedColumn& column = job_.plan.columns[c];
      if (isNull(column.nullBit, record)) {
        // The key without the string's opening quote.
        line_.append(std::string_view(keys_[c]).substr(0, keys_[c].size() - 1));
        line_.append("null");
        continue;
      }
      line_.append(keys_[c]);
      if (column.valueClass == ValueClass::Memo) {
        readMemoText(job_.table, column.field, record, job_.codePages, memo_);
        appendString(memo_);
      } else {
        appendString(values_.trimmed(column, record));
      }
      line_.push_back('"');
    }
    line_.push_back('}');
    job_.out.write(line_.view());
  }

  void footer() override { job_.out.write("]"); }

 private:
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
  const bool asciiOnly_;
  Utf8Converter utf8_;
  TrimmedValues values_;
  std::vector<std::string> keys_;  // ',' (but the first), the quoted title, ':' and the opening quote
  bool anyWritten_ = false;
  std::string memo_;
  TextBuffer utf8Text_;
  TextBuffer line_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeJsonWriter(JobContext& job) { return std::make_unique<JsonWriter>(job); }

}  // namespace tabrix
