// Delimited lines are built value by value in one reused record line and
// written with one call per record. Each value goes through the quoting,
// doubling and trimming steps in a fixed order; the first character of a
// value's buffer is a placeholder that becomes the opening quote or vanishes.
#include "convert/text_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "convert/memo_text.h"
#include "util/text_buffer.h"

namespace tabrix {

namespace {

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Doubles the first `quotes` double quotes of text[0, n) in place; the
// buffer holds room for n + quotes bytes. Returns the new length.
size_t doubleQuotesInPlace(char* text, size_t n, size_t quotes) {
  size_t write = n + quotes;
  size_t read = n;
  while (read > 0 && write > read) {
    const char c = text[--read];
    text[--write] = c;
    if (c == '"') text[--write] = '"';
  }
  return n + quotes;
}

// The word-wise scans below read bytes in little-endian order.
static_assert(std::endian::native == std::endian::little);

constexpr uint64_t kEightSpaces = 0x2020202020202020ULL;

// Length of text[0, n) without its trailing blanks, eight bytes at a time: the
// highest byte of a word that differs from a blank ends the text.
size_t withoutTrailingSpaces(const char* text, size_t n) {
  while (n >= 8) {
    uint64_t word;
    std::memcpy(&word, text + n - 8, 8);
    if (const uint64_t other = word ^ kEightSpaces) return n - 8 + (63 - std::countl_zero(other)) / 8 + 1;
    n -= 8;
  }
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

// Number of blanks text[0, n) begins with, eight bytes at a time.
size_t leadingSpaces(const char* text, size_t n) {
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if (const uint64_t other = word ^ kEightSpaces) return i + std::countr_zero(other) / 8;
    i += 8;
  }
  while (i < n && text[i] == ' ') ++i;
  return i;
}

// Bytes that need a second look in a value.
enum : uint8_t { kLineBreakByte = 1, kQuoteByte = 2, kDelimiterByte = 4, kZeroByte = 8 };

bool allSpaces(const uint8_t* bytes, size_t len) {
  for (size_t i = 0; i < len; ++i)
    if (bytes[i] != ' ') return false;
  return true;
}

class DelimitedWriter final : public RecordWriter {
 public:
  explicit DelimitedWriter(JobContext& job) : job_(job), o_(job.options), utf8_(job.options.ansiCodePage) {
    for (int field : job_.columns)
      valueRoom_ = std::max(valueRoom_, 2 * decodedTextCapacity(job_.table.field(field)) + 2);
    delimiterFirst_ = job_.delimiter.empty() ? '\0' : job_.delimiter[0];
    tabDelimiter_ = delimiterFirst_ == '\t';
    delimiterWord_ = 0x0101010101010101ULL * static_cast<uint8_t>(delimiterFirst_);
    // Bytes past a value's end are masked with a byte that is never special.
    const uint8_t filler = delimiterFirst_ == 'x' ? 'y' : 'x';
    fillerWord_ = 0x0101010101010101ULL * filler;
  }

  void header() override {
    if (!o_.exportFieldNames) return;
    line_.clear();
    if (o_.addRowId) {
      line_.append(o_.quoteAllFields ? "\"ROWID\"" : "ROWID");
      line_.append(job_.delimiter);
    }
    for (size_t c = 0; c < job_.columns.size(); ++c) {
      const int field = job_.columns[c];
      if (o_.quoteAllFields) line_.push_back('"');
      line_.append(columnTitle(job_.table, field));
      if (o_.quoteAllFields) line_.push_back('"');
      if (o_.fieldTypesInHeader == 1) line_.append(typeAndLength(field, ":"));
      if (c + 1 < job_.columns.size()) line_.append(job_.delimiter);
    }
    if (o_.fieldNamesLowercase || o_.fieldNamesCapitalised) {
      for (size_t i = o_.fieldNamesLowercase ? 0 : 1; i < line_.size(); ++i)
        if (line_[i] >= 'A' && line_[i] <= 'Z') line_[i] = static_cast<char>(line_[i] - 'A' + 'a');
    }
    line_.append(o_.rowDelimiter);
    if (o_.fieldTypesInHeader == 2) {
      for (size_t c = 0; c < job_.columns.size(); ++c) {
        line_.append(typeAndLength(job_.columns[c], ""));
        if (c + 1 < job_.columns.size()) line_.append(job_.delimiter);
      }
      line_.append(o_.rowDelimiter);
    }
    emit();
  }

  void record(const uint8_t* record, bool lastPosition) override {
    line_.clear();
    if (o_.addRowId) {
      char* p = line_.extend(24);
      line_.commit(static_cast<size_t>(fmt::format_to(p, "{}", job_.recordsWritten) - p));
      line_.append(job_.delimiter);
    }
    for (size_t c = 0; c < job_.columns.size(); ++c) {
      const int field = job_.columns[c];
      if (job_.table.field(field).type == 'M') appendMemo(field, record);
      else appendValue(field, record);
      if (c + 1 < job_.columns.size()) appendDelimiter();
    }
    if (!lastPosition) line_.append(o_.rowDelimiter);
    emit();
  }

 private:
  std::string typeAndLength(int field, const char* prefix) {
    const FieldDescriptor& d = job_.table.descriptors()[static_cast<size_t>(field)];
    return fmt::format("{}{}:{}", prefix, d.type(), d.bytes[16]);
  }

  // The classes of the bytes of text[0, n), eight bytes at a time without a
  // table look-up. The text must be followed by 8 readable bytes (the record
  // chunk and the line both have them); bytes past n are masked out.
  uint8_t classify(const char* text, size_t n) const {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    auto holds = [](uint64_t word, uint64_t pattern) {
      const uint64_t v = word ^ pattern;
      return ((v - kOnes) & ~v & kHighs) != 0;
    };
    uint8_t seen = 0;
    for (size_t i = 0; i < n; i += 8) {
      uint64_t word;
      std::memcpy(&word, text + i, 8);
      if (n - i < 8) {
        const uint64_t keep = (uint64_t{1} << (8 * (n - i))) - 1;
        word = (word & keep) | (fillerWord_ & ~keep);
      }
      seen |= static_cast<uint8_t>((holds(word, 0) ? kZeroByte : 0) |
                                   (holds(word, kOnes * '\r') || holds(word, kOnes * '\n') ? kLineBreakByte : 0) |
                                   (holds(word, kOnes * '"') ? kQuoteByte : 0) |
                                   (delimiterFirst_ != '\0' && holds(word, delimiterWord_) ? kDelimiterByte : 0));
    }
    return seen;
  }

  void appendDelimiter() {
    if (job_.delimiter.size() == 1) line_.push_back(delimiterFirst_);
    else line_.append(job_.delimiter);
  }

  // Writes the line, converted to the output's code page.
  void emit() {
    if (o_.utf8) {
      char* p = converted_.extend(Utf8Converter::capacityFor(line_.size()));
      job_.out.write(p, utf8_.convert(line_.data(), line_.size(), p));
    } else {
      job_.out.write(line_.data(), line_.size());
    }
  }

  bool isBlank(const Field& f, const uint8_t* bytes) const {
    if (f.type == 'D' || f.type == 'L') return f.length == 0 || bytes[0] == ' ';
    if (f.type == 'N' || f.type == 'F') return allSpaces(bytes, f.length);
    return false;
  }

  // Puts the text of a field into p, trimmed unless asked not to, and returns
  // its length; seen gets the classes of its bytes. Fields whose text is their stored bytes are trimmed where they
  // are stored and only what remains is copied.
  size_t placeTrimmedValue(int field, const uint8_t* record, char* p, uint8_t& seen) {
    const Field& f = job_.table.field(field);
    const bool character = f.type == 'C';
    const bool storedText = (character && !job_.table.sourceIsOem()) || f.type == 'L' ||
                            ((f.type == 'N' || f.type == 'F') && !o_.dropDecimals);
    const char* src = p;
    size_t n;
    if (storedText) {
      src = reinterpret_cast<const char*>(record + f.offset);
      n = f.type == 'L' ? std::min<size_t>(f.length, 1) : f.length;
    } else {
      n = decodeFieldText(job_.table, field, record, job_.decode, p);
    }
    if (!o_.noTrim) {
      n = withoutTrailingSpaces(src, n);
      if (!character) {
        const size_t lead = leadingSpaces(src, n);
        src += lead;
        n -= lead;
      }
    }
    seen = classify(src, n);
    // A stored text is copied; a decoded one moves within the line.
    if (storedText) std::memcpy(p, src, n);
    else if (src != p) std::memmove(p, src, n);
    return n;
  }

  // Places the value straight into the line, then cleans, doubles quotes and
  // encloses it there.
  void appendValue(int field, const uint8_t* record) {
    const Field& f = job_.table.field(field);
    const uint8_t* bytes = record + f.offset;
    const bool character = f.type == 'C';
    // A blank date would show as separators between blanks: it is written empty.
    if (f.type == 'D' && (f.length == 0 || bytes[0] == ' ' || bytes[0] == '\0')) return;
    char* p = line_.extend(valueRoom_);
    uint8_t seen = 0;
    size_t n = placeTrimmedValue(field, record, p, seen);
    if (seen & kZeroByte) {
      // A stored text ends at its first zero byte.
      n = static_cast<size_t>(static_cast<const char*>(std::memchr(p, '\0', n)) - p);
      if (!o_.noTrim) n = withoutTrailingSpaces(p, n);
      seen = classify(p, n);
    }
    if (character && (seen & kLineBreakByte)) {
      for (size_t i = 0; i < n; ++i)
        if (isLineBreak(p[i])) p[i] = ' ';
      if (!o_.noTrim) n = withoutTrailingSpaces(p, n);
    }
    if (character && o_.outputOem) translateBytes(job_.codePages.ansiToOem, p, n);
    const size_t quotes = (seen & kQuoteByte) ? static_cast<size_t>(std::count(p, p + n, '"')) : 0;
    // Translation may have produced the delimiter; look again only then.
    const bool holdsDelimiter = (character && o_.outputOem)
                                    ? std::memchr(p, delimiterFirst_, n) != nullptr
                                    : (seen & kDelimiterByte) != 0;
    // Double quotes are doubled once: inside character values unless the
    // delimiter is a tab, and in any value a double quote encloses.
    if (quotes && ((character && !tabDelimiter_) || o_.quoteChar == '"')) n = doubleQuotesInPlace(p, n, quotes);
    char enclosing = '\0';
    if (o_.quoteChar != '\0' &&
        (o_.quoteAllFields || character || f.type == 'D' || f.type == 'T' || f.type == '@') && !isBlank(f, bytes)) {
      enclosing = o_.quoteChar;
    } else if (!job_.multiCharDelimiter && !o_.quoteAllFields && delimiterFirst_ != '\0' &&
               (holdsDelimiter || (delimiterFirst_ == ' ' && n > 0))) {
      // A space delimiter would match the value's placeholder: every non-empty value is enclosed.
      enclosing = '"';
    }
    if (enclosing) {
      std::memmove(p + 1, p, n);
      p[0] = enclosing;
      p[n + 1] = enclosing;
      n += 2;
    }
    line_.commit(n);
  }

  void appendMemo(int field, const uint8_t* record) {
    const bool smt = isSmt(job_.table.version());
    readMemoText(job_.table, field, record, job_.codePages, memo_);
    if (!memo_.empty()) {
      for (char& c : memo_) {
        if ((isLineBreak(c) && !o_.keepLineBreaks) || c == '\t' || (smt && c == '\x8D')) c = ' ';
      }
      if (smt)
        while (!memo_.empty() && memo_.back() == ' ') memo_.pop_back();
      if (o_.outputOem) translateBytes(job_.codePages.ansiToOem, memo_.data(), memo_.size());
    }
    const bool enclose =
        o_.quoteAllFields || (delimiterFirst_ != '\0' && memo_.find(delimiterFirst_) != std::string::npos);
    const size_t quotes = tabDelimiter_ ? 0 : static_cast<size_t>(std::count(memo_.begin(), memo_.end(), '"'));
    char* p = line_.extend(memo_.size() + quotes + 2);
    size_t n = 0;
    if (enclose) p[n++] = '"';
    std::memcpy(p + n, memo_.data(), memo_.size());
    n += quotes ? doubleQuotesInPlace(p + n, memo_.size(), quotes) : memo_.size();
    if (enclose) p[n++] = '"';
    line_.commit(n);
  }

  JobContext& job_;
  const ConversionOptions& o_;
  Utf8Converter utf8_;
  char delimiterFirst_ = ',';
  bool tabDelimiter_ = false;
  size_t valueRoom_ = 64;
  uint64_t delimiterWord_ = 0;
  uint64_t fillerWord_ = 0;
  std::string memo_;
  TextBuffer line_;
  TextBuffer converted_;
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
