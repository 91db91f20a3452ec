// Delimited lines are built value by value in one reused record line and
// written with one call per record. Each value goes through the quoting,
// doubling and trimming steps in a fixed order; the first character of a
// value's buffer is a placeholder that becomes the opening quote or vanishes.
#include "convert/text_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tabrix {

namespace {

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

void replaceLineBreaks(std::string& s, size_t from) {
  for (size_t i = from; i < s.size(); ++i)
    if (isLineBreak(s[i])) s[i] = ' ';
}

// Doubles every double quote of s from position from on, in place.
void doubleQuotes(std::string& s, size_t from) {
  const size_t quotes = static_cast<size_t>(std::count(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(), '"'));
  if (quotes == 0) return;
  size_t write = s.size() + quotes;
  size_t read = s.size();
  s.resize(write);
  while (read > from) {
    const char c = s[--read];
    s[--write] = c;
    if (c == '"') s[--write] = '"';
  }
}

void trimTrailingSpaces(std::string& s, size_t keep) {
  size_t end = s.size();
  while (end > keep && s[end - 1] == ' ') --end;
  s.resize(end);
}

void trimLeadingSpaces(std::string& s, size_t from) {
  size_t i = from;
  while (i < s.size() && s[i] == ' ') ++i;
  s.erase(from, i - from);
}

bool allSpaces(const uint8_t* bytes, size_t len) {
  for (size_t i = 0; i < len; ++i)
    if (bytes[i] != ' ') return false;
  return true;
}

class DelimitedWriter final : public RecordWriter {
 public:
  explicit DelimitedWriter(JobContext& job) : job_(job), o_(job.options), utf8_(job.options.ansiCodePage) {
    size_t capacity = 64;
    for (int field : job_.columns) capacity = std::max(capacity, decodedTextCapacity(job_.table.field(field)));
    decoded_.resize(capacity);
    line_.reserve(2 * job_.table.recordLength() + 1024);
    delimiterFirst_ = job_.delimiter.empty() ? '\0' : job_.delimiter[0];
    tabDelimiter_ = delimiterFirst_ == '\t';
  }

  void header() override {
    if (!o_.exportFieldNames) return;
    line_.clear();
    if (o_.addRowId) {
      line_ += o_.quoteAllFields ? "\"ROWID\"" : "ROWID";
      line_ += job_.delimiter;
    }
    for (size_t c = 0; c < job_.columns.size(); ++c) {
      const int field = job_.columns[c];
      if (o_.quoteAllFields) line_ += '"';
      line_ += columnTitle(job_.table, field);
      if (o_.quoteAllFields) line_ += '"';
      if (o_.fieldTypesInHeader == 1) line_ += typeAndLength(field, ":");
      if (c + 1 < job_.columns.size()) line_ += job_.delimiter;
    }
    if (o_.fieldNamesLowercase || o_.fieldNamesCapitalised) {
      const size_t from = o_.fieldNamesLowercase ? 0 : 1;
      for (size_t i = from; i < line_.size(); ++i)
        if (line_[i] >= 'A' && line_[i] <= 'Z') line_[i] = static_cast<char>(line_[i] - 'A' + 'a');
    }
    line_ += o_.rowDelimiter;
    if (o_.fieldTypesInHeader == 2) {
      for (size_t c = 0; c < job_.columns.size(); ++c) {
        line_ += typeAndLength(job_.columns[c], "");
        if (c + 1 < job_.columns.size()) line_ += job_.delimiter;
      }
      line_ += o_.rowDelimiter;
    }
    emit();
  }

  void record(const uint8_t* record, bool lastPosition) override {
    line_.clear();
    for (size_t c = 0; c < job_.columns.size(); ++c) {
      const int field = job_.columns[c];
      if (job_.table.field(field).type == 'M') appendMemo(field, record);
      else appendValue(field, record);
      if (c + 1 < job_.columns.size()) line_ += job_.delimiter;
    }
    if (!lastPosition) line_ += o_.rowDelimiter;
    if (o_.addRowId) {
      char number[32];
      const char* end = fmt::format_to(number, "{}", job_.recordsWritten);
      line_.insert(0, job_.delimiter);
      line_.insert(0, number, static_cast<size_t>(end - number));
    }
    emit();
  }

 private:
  std::string typeAndLength(int field, const char* prefix) {
    const FieldDescriptor& d = job_.table.descriptors()[static_cast<size_t>(field)];
    return fmt::format("{}{}:{}", prefix, d.type(), d.bytes[16]);
  }

  // Writes line_, converted to the output's code page.
  void emit() {
    if (o_.utf8) {
      converted_.resize(Utf8Converter::capacityFor(line_.size()));
      converted_.resize(utf8_.convert(line_.data(), line_.size(), converted_.data()));
      job_.out.write(converted_);
    } else {
      job_.out.write(line_);
    }
  }

  void toOem(std::string& s, size_t from) {
    translateBytes(job_.codePages.ansiToOem, s.data() + from, s.size() - from);
  }

  bool isBlank(const Field& f, const uint8_t* bytes) const {
    if (f.type == 'D' || f.type == 'L') return f.length == 0 || bytes[0] == ' ';
    if (f.type == 'N' || f.type == 'F') return allSpaces(bytes, f.length);
    return false;
  }

  void appendValue(int field, const uint8_t* record) {
    const Field& f = job_.table.field(field);
    const uint8_t* bytes = record + f.offset;
    const bool character = f.type == 'C';
    // Position 0 of value_ is the placeholder.
    value_.assign(1, ' ');
    value_.append(decoded_.data(), decodeFieldText(job_.table, field, record, job_.decode, decoded_.data()));
    if (character) {
      replaceLineBreaks(value_, 1);
      if (o_.outputOem) toOem(value_, 1);
    }
    if (!o_.noTrim) {
      trimTrailingSpaces(value_, 1);
      if (!character) trimLeadingSpaces(value_, 1);
    }
    // A blank date would show as separators between blanks: it is written empty.
    if (f.type == 'D' && (f.length == 0 || bytes[0] == ' ' || bytes[0] == '\0')) return;
    const bool quoted = o_.quoteChar != '\0' &&
                        (o_.quoteAllFields || character || f.type == 'D' || f.type == 'T' || f.type == '@') &&
                        !isBlank(f, bytes);
    // Double quotes are doubled once: inside character values unless the
    // delimiter is a tab, and in any value a double quote encloses.
    if ((character && !tabDelimiter_) || o_.quoteChar == '"') doubleQuotes(value_, 1);
    char enclosing = quoted ? o_.quoteChar : '\0';
    if (!enclosing && !job_.multiCharDelimiter && !o_.quoteAllFields && delimiterFirst_ != '\0') {
      const bool holdsDelimiter = value_.find(delimiterFirst_, 1) != std::string::npos;
      // A space delimiter matches the placeholder itself: every non-empty value is enclosed.
      if (holdsDelimiter || (delimiterFirst_ == ' ' && value_.size() > 1)) enclosing = '"';
    }
    if (enclosing) {
      value_[0] = enclosing;
      value_ += enclosing;
      line_ += value_;
    } else {
      line_.append(value_, 1);
    }
  }

  void appendMemo(int field, const uint8_t* record) {
    const MemoRef ref = memoBlockOf(job_.table, field, record);
    MemoFile* memo = job_.table.memo();
    const bool smt = isSmt(job_.table.version());
    memo_.clear();
    if (memo && ref.block != 0 && (smt ? ref.length != 0 : memo->memoLength(ref.block) > 0))
      memo_.assign(memo->readMemo(ref.block, ref.length));
    if (!memo_.empty()) {
      if (job_.table.sourceIsOem()) translateBytes(job_.codePages.oemToAnsi, memo_.data(), memo_.size());
      for (char& c : memo_) {
        if ((isLineBreak(c) && !o_.keepLineBreaks) || c == '\t' || (smt && c == '\x8D')) c = ' ';
      }
      if (!tabDelimiter_) doubleQuotes(memo_, 0);
      if (smt) trimTrailingSpaces(memo_, 0);
      if (o_.outputOem) toOem(memo_, 0);
    }
    const bool enclose = o_.quoteAllFields || (delimiterFirst_ != '\0' && memo_.find(delimiterFirst_) != std::string::npos);
    if (enclose) line_ += '"';
    line_ += memo_;
    if (enclose) line_ += '"';
  }

  JobContext& job_;
  const ConversionOptions& o_;
  Utf8Converter utf8_;
  char delimiterFirst_ = ',';
  bool tabDelimiter_ = false;
  std::vector<char> decoded_;
  std::string value_;
  std::string memo_;
  std::string line_;
  std::string converted_;
};

class SdfWriter final : public RecordWriter {
 public:
  explicit SdfWriter(JobContext& job) : job_(job) {
    size_t capacity = 64;
    for (int field : job_.columns) capacity = std::max(capacity, decodedTextCapacity(job_.table.field(field)));
    decoded_.resize(capacity);
    line_.reserve(job_.table.recordLength() + 256);
  }

  void record(const uint8_t* record, bool) override {
    line_.clear();
    for (int field : job_.columns) {
      const Field& f = job_.table.field(field);
      switch (f.type) {
        case 'C': case 'D': case 'F': case 'L': case 'N':
          line_.append(reinterpret_cast<const char*>(record + f.offset), f.length);
          break;
        case 'T': appendAligned(field, record, 19); break;
        case 'I': appendAligned(field, record, 10); break;
        case 'Y': appendAligned(field, record, 20); break;
        case 'O': appendAligned(field, record, 21); break;
        case 'B':
          if (f.length == 8) appendAligned(field, record, 21);
          break;
        default: break;
      }
    }
    line_ += "\r\n";
    job_.out.write(line_);
  }

 private:
  // The value right-aligned in width characters; a longer one keeps its start.
  void appendAligned(int field, const uint8_t* record, size_t width) {
    const size_t n = decodeFieldText(job_.table, field, record, job_.decode, decoded_.data());
    if (n < width) line_.append(width - n, ' ');
    line_.append(decoded_.data(), std::min(n, width));
  }

  JobContext& job_;
  std::vector<char> decoded_;
  std::string line_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeDelimitedWriter(JobContext& job) { return std::make_unique<DelimitedWriter>(job); }
std::unique_ptr<RecordWriter> makeSdfWriter(JobContext& job) { return std::make_unique<SdfWriter>(job); }

}  // namespace tabrix
