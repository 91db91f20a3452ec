// A value is placed straight into the caller's line, then cleaned, doubled and
// enclosed there, so no value is copied twice and nothing is allocated per
// value. The word-wise scans find the bytes that need a second look (line
// breaks, the enclosing quote, the delimiter, zero bytes) eight at a time.
//
// A delimited value that holds the delimiter, a line break or the enclosing
// quote is enclosed, and the quote doubled inside it, so that every CSV
// reader takes it back whole (RFC 4180). A tab-delimited value keeps its
// quotes bare unless it begins with one.
//
// The steps live in a class internal to this file and marked inline, so that
// g++ folds them into the column loop; as members of a class seen by other
// files a CSV conversion ran a fifth more instructions (callgrind, tables of
// bench_make_table).
#include "writers/delimited_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dbf/date_time.h"
#include "platform/code_pages.h"
#include "util/text_scan.h"
#include "writers/memo_text.h"
#include "writers/trimmed_values.h"
#include "writers/typed_values.h"

namespace tabrix {

namespace {

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Doubles the first `count` occurrences of a and b in text[0, n) in place;
// the buffer holds room for n + count bytes. Returns the new length.
size_t doubleInPlace(char* text, size_t n, size_t count, char a, char b) {
  size_t write = n + count;
  size_t read = n;
  while (read > 0 && write > read) {
    const char c = text[--read];
    text[--write] = c;
    if (c == a || c == b) text[--write] = c;
  }
  return n + count;
}

#if defined(__SSE2__)
// Length of text[0, n) without its trailing blanks, sixteen bytes at a time;
// reads up to 15 bytes past n.
inline size_t withoutTrailingSpaces16(const char* text, size_t n) {
  const __m128i blanks = _mm_set1_epi8(' ');
  const auto nonBlanks = [&blanks](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blanks))) & 0xFFFFu;
  };
  while (n > 16) {
    if (const unsigned other = nonBlanks(text + n - 16)) return n - 16 + static_cast<size_t>(32 - std::countl_zero(other));
    n -= 16;
  }
  const unsigned other = nonBlanks(text) & ((1u << n) - 1);
  return other ? static_cast<size_t>(32 - std::countl_zero(other)) : 0;
}

// Number of blanks text[0, n) begins with; reads up to 15 bytes past n.
inline size_t leadingSpaces16(const char* text, size_t n) {
  const __m128i blanks = _mm_set1_epi8(' ');
  for (size_t i = 0; i < n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blanks))) & 0xFFFFu;
    if (other) return std::min(n, i + static_cast<size_t>(std::countr_zero(other)));
  }
  return n;
}

// The bytes a one-pass copy looks for: stops send the value to the general
// steps, the delimiter only makes it enclosed.
struct PlainScan {
  __m128i stop1, stop2, delimiter;
};

// Copies src[0, n) to dst in blocks of sixteen bytes, reading and writing up
// to 15 bytes past either end, and says whether the value holds a stop byte,
// a line break or a zero byte (bit 0) or the delimiter (bit 1).
inline unsigned copyScanning(char* dst, const char* src, size_t n, const PlainScan& scan) {
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  unsigned stops = 0, delimiters = 0;
  for (size_t i = 0; i < n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
    const unsigned inside = n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1;
    const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, scan.stop1), _mm_cmpeq_epi8(v, scan.stop2)),
                                      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                                   _mm_cmpeq_epi8(v, zero)));
    stops |= static_cast<unsigned>(_mm_movemask_epi8(stop)) & inside;
    delimiters |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, scan.delimiter))) & inside;
  }
  return (stops ? 1u : 0u) | (delimiters ? 2u : 0u);
}

// Whether text[0, n) is an optional minus, digits and at most one point, the
// common form of a stored number: a sure decimal number, looked at in one
// block; reads up to 15 bytes past n.
inline bool isPlainDecimal(const char* text, size_t n) {
  if (n == 0 || n > 16) return false;
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i fromZero = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const unsigned inside = (1u << n) - 1;
  const unsigned digits =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero))) & inside;
  const unsigned points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.')))) & inside;
  const unsigned sign = text[0] == '-' ? 1u : 0u;
  return digits != 0 && (digits | points | sign) == inside && std::popcount(points) <= 1;
}
#endif

// Bytes that need a second look in a value.
enum : uint8_t { kLineBreakByte = 1, kQuoteByte = 2, kDelimiterByte = 4, kZeroByte = 8 };

// A character field (C). A varchar's text is decoded and trimmed on both
// sides like the other values.
constexpr bool isCharacter(const FieldKind& kind) {
  return kind.valueClass == ValueClass::Text && kind.storage == Storage::Text;
}

constexpr char kNull[] = "null";

class Values final : public ValueWriter {
 public:
  Values(JobContext& job, const ValueRules& rules);

  void appendRecord(TextBuffer& line, const uint8_t* record) override;

 private:
  // A column whose ordinary values take the one-pass path: the stored bytes
  // trimmed, scanned and copied at once, or a stored date formatted directly.
  enum class Plain : uint8_t { None, Text, Number, Logical, Date };
  struct PlainColumn {
    Plain kind = Plain::None;
    bool quoted = false;  // the quote character encloses the column's non-blank values
    NullBit nullBit;
    uint32_t offset = 0;
    uint32_t width = 0;
  };
  PlainColumn plainColumn(const PlannedColumn& column) const;
  template <bool Sql>
  size_t placePlain(char* p, const PlainColumn& column, const uint8_t* record) const;
  static constexpr size_t kNotPlain = ~size_t{0};
  template <bool Sql>
  void appendColumns(TextBuffer& line, const uint8_t* record);
  template <bool Sql>
  void append(TextBuffer& line, const PlannedColumn& column, const uint8_t* record);
  enum class SqlForm { Text, Number, Bare, Date, DateTime, Logical };
  static SqlForm sqlFormOf(ValueClass valueClass);
  uint8_t classify(const char* text, size_t n) const;
  size_t decodeValue(const PlannedColumn& column, const uint8_t* record, char* out) const;
  size_t placeTrimmedValue(const PlannedColumn& column, const uint8_t* record, char* p, uint8_t& seen) const;
  template <bool Sql>
  void appendValue(TextBuffer& line, const PlannedColumn& column, const uint8_t* record);
  void appendSqlDate(TextBuffer& line, const PlannedColumn& column, const uint8_t* record);
  void appendSqlLogical(TextBuffer& line, const Field& f, const uint8_t* bytes);
  void appendMemo(TextBuffer& line, int field, const uint8_t* record);
  void appendBinary(TextBuffer& line, const PlannedColumn& column, const uint8_t* record);
  size_t doubleSqlSpecials(char* text, size_t n) const;
  size_t doubleSqlSpecialsOutsideCharacters(char* text, size_t n) const;

  JobContext& job_;
  const ConversionOptions& o_;
  ValueRules rules_;
  bool sql_ = false;
  bool mySql_ = false;
  char delimiterFirst_ = ',';
  bool singleCharDelimiter_ = true;
  bool spaceDelimiter_ = false;
  char quote_ = '"';
  // The byte classes that make a value enclosed wherever they stand.
  uint8_t splitting_ = 0;
  size_t valueRoom_ = 64;
  size_t recordRoom_ = 0;  // a whole record of plain values and delimiters
  uint64_t delimiterWord_ = 0;
  uint64_t quoteWord_ = 0;
  uint64_t fillerWord_ = 0;
  std::vector<uint8_t> stored_;     // by field: isStoredText
  std::vector<PlainColumn> plain_;  // one per planned column
#if defined(__SSE2__)
  PlainScan scan_;
#endif
  std::string memo_;
  // The table's double-byte page, whose trail bytes may be a backslash.
  CharacterBytes characters_;
};

}  // namespace

ValueRules delimitedRules(const JobContext& job) {
  ValueRules rules;
  rules.delimiter = job.delimiter;
  rules.multiCharDelimiter = job.multiCharDelimiter;
  rules.quoteChar = job.options.quoteChar;
  rules.quoteAllFields = job.options.quoteAllFields;
  return rules;
}

ValueRules sqlRules(const JobContext& job) {
  ValueRules rules;
  rules.sql = true;
  rules.dialect = job.options.sqlDialect;
  rules.delimiter.assign(1, ',');
  rules.quoteChar = '\'';
  return rules;
}

namespace {

Values::Values(JobContext& job, const ValueRules& rules)
    : job_(job), o_(job.options), rules_(rules), sql_(rules.sql), mySql_(rules.sql && rules.dialect == SqlDialect::MySql) {
  valueRoom_ = std::max(valueRoom_, 2 * job_.plan.textCapacity + 2);
  delimiterFirst_ = rules_.delimiter.empty() ? '\0' : rules_.delimiter[0];
  singleCharDelimiter_ = rules_.delimiter.size() == 1;
  const bool tabDelimiter = delimiterFirst_ == '\t';
  spaceDelimiter_ = delimiterFirst_ == ' ' && !rules_.multiCharDelimiter;
  quote_ = enclosingQuote(rules_);
  splitting_ = static_cast<uint8_t>(kLineBreakByte | (tabDelimiter ? 0 : kQuoteByte) |
                                    (rules_.multiCharDelimiter ? 0 : kDelimiterByte));
  delimiterWord_ = 0x0101010101010101ULL * static_cast<uint8_t>(delimiterFirst_);
  quoteWord_ = 0x0101010101010101ULL * static_cast<uint8_t>(quote_);
  // Bytes past a value's end are masked with a byte that is never special.
  uint8_t filler = 'x';
  while (filler == static_cast<uint8_t>(delimiterFirst_) || filler == static_cast<uint8_t>(quote_)) ++filler;
  fillerWord_ = 0x0101010101010101ULL * filler;
  if (mySql_) characters_ = characterBytes(job_.codePages.ansi);
#if defined(__SSE2__)
  scan_ = {_mm_set1_epi8(quote_), _mm_set1_epi8(mySql_ ? '\\' : quote_), _mm_set1_epi8(delimiterFirst_)};
#endif
  stored_.resize(static_cast<size_t>(job_.table.fieldCount()));
  for (const PlannedColumn& column : job_.plan.columns) {
    stored_[static_cast<size_t>(column.field)] = isStoredText(column, job_);
    plain_.push_back(plainColumn(column));
    // The one-pass copy moves whole blocks of sixteen bytes.
    valueRoom_ = std::max<size_t>(valueRoom_, column.width + 32);
    recordRoom_ += column.width + 32 + 1;
  }
}

// Which one-pass path, if any, a column's values take. Everything the path
// does not handle (untrimmed output, translated or decoded text, several
// delimiter characters, a blank delimiter, double-byte pages) keeps to the
// general steps.
Values::PlainColumn Values::plainColumn(const PlannedColumn& column) const {
  PlainColumn plain;
#if defined(__SSE2__)
  const Field& f = *column.source;
  if (o_.noTrim || !singleCharDelimiter_ || rules_.multiCharDelimiter || spaceDelimiter_ || delimiterFirst_ == '\0' ||
      characters_.doubleByte)
    return plain;
  plain.nullBit = column.nullBit;
  plain.offset = f.offset;
  plain.width = f.length;
  plain.quoted = !sql_ && rules_.quoteChar != '\0' &&
                 (rules_.quoteAllFields || isCharacter(f.kind) || column.valueClass == ValueClass::Date);
  if (stored_[static_cast<size_t>(column.field)]) {
    if (isCharacter(f.kind)) {
      if (!o_.outputOem) plain.kind = Plain::Text;
    } else if (column.valueClass == ValueClass::Number) {
      plain.kind = Plain::Number;
    } else if (!sql_) {
      plain.kind = Plain::Logical;
      plain.width = std::min<uint32_t>(plain.width, 1);
    }
  } else if (column.valueClass == ValueClass::Date && f.kind.storage == Storage::Date && f.length == 8 &&
             !(sql_ && rules_.dialect == SqlDialect::Oracle)) {
    // A separator that needs enclosing or trimming leaves dates to the general steps.
    const char s = job_.decode.dateFormat.iso ? '-' : job_.decode.dateFormat.separator;
    if (s != quote_ && s != delimiterFirst_ && s != ' ' && s != '\0' && !isLineBreak(s)) plain.kind = Plain::Date;
  }
#else
  (void)column;
#endif
  return plain;
}

// Binary numbers (integers and currency) always give a number and are
// written bare; decimal texts and doubles may be no number at all.
inline Values::SqlForm Values::sqlFormOf(ValueClass valueClass) {
  switch (valueClass) {
    case ValueClass::Number:
    case ValueClass::Double: return SqlForm::Number;
    case ValueClass::Integer:
    case ValueClass::Currency: return SqlForm::Bare;
    case ValueClass::Date: return SqlForm::Date;
    case ValueClass::DateTime: return SqlForm::DateTime;
    case ValueClass::Logical: return SqlForm::Logical;
    default: return SqlForm::Text;
  }
}

// The classes of the bytes of text[0, n), sixteen or eight bytes at a time
// without a table look-up. The text must be followed by 8 readable bytes (the record
// chunk and the line both have them); bytes past n are masked out.
inline uint8_t Values::classify(const char* text, size_t n) const {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  auto holds = [](uint64_t word, uint64_t pattern) {
    const uint64_t v = word ^ pattern;
    return ((v - kOnes) & ~v & kHighs) != 0;
  };
  uint8_t seen = 0;
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time while they lie inside the text; the tail goes
  // eight at a time below, within the readable bytes that follow the text.
  if (n >= 16) {
    const __m128i zero = _mm_setzero_si128(), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8(quote_), delimiter = _mm_set1_epi8(delimiterFirst_);
    const bool delimiterSet = delimiterFirst_ != '\0';
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      const auto any = [&v](__m128i pattern) { return _mm_movemask_epi8(_mm_cmpeq_epi8(v, pattern)) != 0; };
      seen |= static_cast<uint8_t>((any(zero) ? kZeroByte : 0) | (any(cr) || any(lf) ? kLineBreakByte : 0) |
                                   (any(quote) ? kQuoteByte : 0) |
                                   (delimiterSet && any(delimiter) ? kDelimiterByte : 0));
    }
  }
#endif
  for (; i < n; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if (n - i < 8) {
      const uint64_t keep = (uint64_t{1} << (8 * (n - i))) - 1;
      word = (word & keep) | (fillerWord_ & ~keep);
    }
    seen |= static_cast<uint8_t>((holds(word, 0) ? kZeroByte : 0) |
                                 (holds(word, kOnes * '\r') || holds(word, kOnes * '\n') ? kLineBreakByte : 0) |
                                 (holds(word, quoteWord_) ? kQuoteByte : 0) |
                                 (delimiterFirst_ != '\0' && holds(word, delimiterWord_) ? kDelimiterByte : 0));
  }
  return seen;
}

// Whether a stored date, logical or number is blank: such a value is not enclosed.
inline bool isBlank(const Field& f, const uint8_t* bytes) {
  switch (f.kind.valueClass) {
    case ValueClass::Date:
    case ValueClass::Logical: return f.length == 0 || bytes[0] == ' ';
    case ValueClass::Number: return trimLeftBlanks({reinterpret_cast<const char*>(bytes), f.length}).empty();
    default: return false;
  }
}

// The text of a value. SQL writes what the database must hold exactly: a
// currency with all four decimals, a double in its shortest exact form (the
// six or eleven decimals of the text outputs lose digits).
size_t Values::decodeValue(const PlannedColumn& column, const uint8_t* record, char* out) const {
  if (sql_ && column.valueClass == ValueClass::Currency)
    return formatCurrency(currencyAmount(*column.source, record), 4, out);
  // "inf" and "nan" are no numbers: they become null.
  if (sql_ && column.valueClass == ValueClass::Double)
    return static_cast<size_t>(fmt::format_to(out, "{}", doubleValue(*column.source, record)) - out);
  return column.decode(job_.table, column.field, record, job_.decode, out);
}

// Puts the text of a field into p, trimmed unless asked not to, and returns
// its length; seen gets the classes of its bytes. Fields whose text is their
// stored bytes are trimmed where they are stored and only what remains is copied.
inline size_t Values::placeTrimmedValue(const PlannedColumn& column, const uint8_t* record, char* p,
                                        uint8_t& seen) const {
  const Field& f = *column.source;
  const bool character = isCharacter(f.kind);
  const bool logical = column.valueClass == ValueClass::Logical;
  const bool storedText = stored_[static_cast<size_t>(column.field)];
  const char* src = p;
  size_t n;
  if (storedText) {
    src = reinterpret_cast<const char*>(record + f.offset);
    n = logical ? std::min<size_t>(f.length, 1) : f.length;
  } else {
    n = decodeValue(column, record, p);
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

// Apostrophes are doubled in every SQL string; MySQL also reads a backslash
// as an escape, so there a backslash is doubled too.
size_t Values::doubleSqlSpecials(char* text, size_t n) const {
  if (characters_.doubleByte) return doubleSqlSpecialsOutsideCharacters(text, n);
  const char backslash = mySql_ ? '\\' : '\'';
  // Most values hold neither: two library scans say so faster than the count.
  if (!std::memchr(text, '\'', n) && !std::memchr(text, backslash, n)) return n;
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) count += text[i] == '\'' || text[i] == backslash;
  return count ? doubleInPlace(text, n, count, '\'', backslash) : n;
}

// MySQL in a double-byte page: the second byte of a character may be 0x5C
// (GBK, Shift_JIS, Big5), which the server reads as part of the character,
// so only a backslash or apostrophe of its own is doubled. The text moves to
// the end of its room first, then is copied forward, since which byte ends a
// character is known only reading forward.
size_t Values::doubleSqlSpecialsOutsideCharacters(char* text, size_t n) const {
  const auto pairAt = [&](const char* t, size_t i) {
    return i + 1 < n && characters_.lead[static_cast<uint8_t>(t[i])] && characters_.trail[static_cast<uint8_t>(t[i + 1])];
  };
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    if (pairAt(text, i)) ++i;
    else count += text[i] == '\'' || text[i] == '\\';
  }
  if (count == 0) return n;
  std::memmove(text + count, text, n);
  // Writing never overtakes reading: the write position trails the read one
  // by the doublings still to come.
  const char* read = text + count;
  char* write = text;
  for (size_t i = 0; i < n; ++i) {
    const char c = read[i];
    *write++ = c;
    if (pairAt(read, i)) {
      *write++ = read[++i];
    } else if (c == '\'' || c == '\\') {
      *write++ = c;
    }
  }
  return n + count;
}

// The delimited and the SQL rules are two instances of the same steps, so
// the delimited outputs pay nothing for the SQL branches.
void Values::appendRecord(TextBuffer& line, const uint8_t* record) {
  if (sql_) appendColumns<true>(line, record);
  else appendColumns<false>(line, record);
}

// Places the one-pass form of a plain column's value at p, which has the
// column's room, and returns its length; kNotPlain, with nothing that counts
// written, when the value holds what only the general steps handle (a quote
// to double, a line break, a zero byte, a damaged date, a number SQL cannot take).
template <bool Sql>
inline size_t Values::placePlain(char* p, const PlainColumn& column, const uint8_t* record) const {
#if defined(__SSE2__)
  const uint8_t* bytes = record + column.offset;
  if (column.kind == Plain::Date) {
    // Eight digits: each byte minus '0' is below 10.
    uint64_t digits;
    std::memcpy(&digits, bytes, 8);
    const uint64_t x = digits - 0x3030303030303030ULL;
    if (((x | (x + 0x0606060606060606ULL)) & 0xF0F0F0F0F0F0F0F0ULL) != 0) return kNotPlain;
    if (Sql) {
      // A day every month has, of a year from 1 on; the rest is checked by the general steps.
      const unsigned month = (bytes[4] - '0') * 10u + (bytes[5] - '0'), day = (bytes[6] - '0') * 10u + (bytes[7] - '0');
      if (month - 1 > 11 || day - 1 > 27 || std::memcmp(bytes, "0000", 4) == 0) return kNotPlain;
      const size_t n = formatDateIso(bytes, false, IsoFlavour::Plain, p + 1);
      p[0] = p[n + 1] = rules_.quoteChar;
      return n + 2;
    }
    size_t n = formatDateLocal(bytes, job_.decode.dateFormat, p + column.quoted);
    if (column.quoted) {
      p[0] = p[n + 1] = quote_;
      n += 2;
    }
    return n;
  }
  const char* src = reinterpret_cast<const char*>(bytes);
  size_t n = withoutTrailingSpaces16(src, column.width);
  if (column.kind != Plain::Text) {
    const size_t lead = leadingSpaces16(src, n);
    src += lead;
    n -= lead;
  }
  bool enclosed = Sql ? column.kind == Plain::Text : column.quoted && (n > 0 || column.kind == Plain::Text);
  const unsigned found = copyScanning(p + enclosed, src, n, scan_);
  if (found & 1) return kNotPlain;
  if (Sql) {
    if (column.kind == Plain::Number && !isPlainDecimal(p, n) &&
        !isDecimalNumber(trimBlanks({p, n}), SignRule::PlusOrMinus))
      return kNotPlain;
  } else if ((found & 2) && !enclosed) {
    // Copied again one byte on, from the record, rather than moved.
    enclosed = true;
    copyScanning(p + 1, src, n, scan_);
  }
  if (enclosed) {
    p[0] = p[n + 1] = quote_;
    n += 2;
  }
  return n;
#else
  (void)p, (void)column, (void)record;
  return kNotPlain;
#endif
}

template <bool Sql>
void Values::appendColumns(TextBuffer& line, const uint8_t* record) {
  const PlainColumn* plain = plain_.data();
  const size_t count = plain_.size();
  // Plain values and single-character delimiters are placed at a cursor in
  // room reserved once per record; the line counts them before any general step.
  char* end = line.extend(recordRoom_);
  char* p = end;
  for (size_t c = 0; c < count; ++c) {
    size_t n = kNotPlain;
    if (plain[c].kind != Plain::None && !isNull(plain[c].nullBit, record)) n = placePlain<Sql>(p, plain[c], record);
    if (n != kNotPlain) {
      p += n;
    } else {
      line.commit(static_cast<size_t>(p - end));
      append<Sql>(line, job_.plan.columns[c], record);
      p = end = line.extend(recordRoom_);
    }
    if (c + 1 == count) break;
    if (singleCharDelimiter_) {
      *p++ = delimiterFirst_;
    } else {
      line.commit(static_cast<size_t>(p - end));
      line.append(rules_.delimiter);
      p = end = line.extend(recordRoom_);
    }
  }
  line.commit(static_cast<size_t>(p - end));
}

template <bool Sql>
inline void Values::append(TextBuffer& line, const PlannedColumn& column, const uint8_t* record) {
  // NULL is SQL null; a delimited output leaves it empty and never encloses
  // it, so even with every value enclosed it differs from an empty text.
  if (isNull(column.nullBit, record)) {
    if (Sql) line.append(kNull, 4);
    return;
  }
  if (column.valueClass == ValueClass::Memo) {
    appendMemo(line, column.field, record);
    return;
  }
  if (column.valueClass == ValueClass::Binary && o_.keepBinary) {
    appendBinary(line, column, record);
    return;
  }
  if (Sql) {
    switch (sqlFormOf(column.valueClass)) {
      case SqlForm::Date:
      case SqlForm::DateTime: appendSqlDate(line, column, record); return;
      case SqlForm::Logical: appendSqlLogical(line, *column.source, record + column.source->offset); return;
      default: break;
    }
  }
  appendValue<Sql>(line, column, record);
}

template <bool Sql>
inline void Values::appendValue(TextBuffer& line, const PlannedColumn& column, const uint8_t* record) {
  const Field& f = *column.source;
  const ValueClass valueClass = column.valueClass;
  const uint8_t* bytes = record + f.offset;
  const bool character = isCharacter(f.kind);
  // A blank date would show as separators between blanks: it is written empty.
  if (valueClass == ValueClass::Date && (f.length == 0 || bytes[0] == ' ' || bytes[0] == '\0')) return;
  char* p = line.extend(valueRoom_);
  uint8_t seen = 0;
  size_t n = placeTrimmedValue(column, record, p, seen);
  if (seen & kZeroByte) {
    // A stored text ends at its first zero byte.
    n = static_cast<size_t>(static_cast<const char*>(std::memchr(p, '\0', n)) - p);
    if (!o_.noTrim) n = withoutTrailingSpaces(p, n);
    seen = classify(p, n);
  }
  const bool sqlText = Sql && sqlFormOf(valueClass) == SqlForm::Text;
  // One statement or record per line: line breaks inside values become spaces.
  if ((character || sqlText) && (seen & kLineBreakByte)) {
    for (size_t i = 0; i < n; ++i)
      if (isLineBreak(p[i])) p[i] = ' ';
    if (!o_.noTrim) n = withoutTrailingSpaces(p, n);
    seen &= static_cast<uint8_t>(~kLineBreakByte);
  }
  if (character && o_.outputOem) {
    translateBytes(job_.codePages.ansiToOem, p, n);
    // Translation may have produced the delimiter or the quote.
    if (!Sql) seen = classify(p, n);
  }
  if (Sql) {
    // Text is a string literal; a number that is blank, an overflow mark or
    // damaged becomes null rather than a statement the database refuses.
    if (sqlText) {
      n = doubleSqlSpecials(p, n);
      std::memmove(p + 1, p, n);
      p[0] = rules_.quoteChar;
      p[n + 1] = rules_.quoteChar;
      n += 2;
    } else if (sqlFormOf(valueClass) == SqlForm::Number &&
               !isDecimalNumber(trimBlanks({p, n}), SignRule::PlusOrMinus)) {
      std::memcpy(p, kNull, 4);
      n = 4;
    }
    line.commit(n);
    return;
  }
  // With a quote character, the types it is for are enclosed unless blank;
  // any value a reader would take apart is enclosed too. A space delimiter
  // would also split values at their blanks: every non-empty value is enclosed.
  const bool enclose =
      (rules_.quoteChar != '\0' &&
       (rules_.quoteAllFields || character || valueClass == ValueClass::Date ||
        valueClass == ValueClass::DateTime) &&
       !isBlank(f, bytes)) ||
      (seen & splitting_) != 0 || (n > 0 && (p[0] == quote_ || spaceDelimiter_)) ||
      ((seen & kDelimiterByte) && rules_.multiCharDelimiter &&
       std::string_view(p, n).find(rules_.delimiter) != std::string_view::npos);
  if (enclose) {
    if (seen & kQuoteByte) n = doubleInPlace(p, n, static_cast<size_t>(std::count(p, p + n, quote_)), quote_, quote_);
    std::memmove(p + 1, p, n);
    p[0] = quote_;
    p[n + 1] = quote_;
    n += 2;
  }
  line.commit(n);
}

// Dates and date-times as SQL literals: 'YYYY-MM-DD' and 'YYYY-MM-DD hh:mm:ss',
// wrapped in to_date/to_timestamp for Oracle. A blank, zero or damaged value
// is null: the database would refuse it.
void Values::appendSqlDate(TextBuffer& line, const PlannedColumn& column, const uint8_t* record) {
  const Field& f = *column.source;
  const uint8_t* bytes = record + f.offset;
  const bool oracle = rules_.dialect == SqlDialect::Oracle;
  const IsoFlavour flavour = oracle ? IsoFlavour::Oracle : IsoFlavour::Plain;
  char* p = line.extend(128);
  size_t n = 0;
  if (column.valueClass == ValueClass::Date) {
    if (dateFromText(bytes, f.length)) n = formatDateIso(bytes, false, flavour, p + 1);
  } else {
    const auto parts = f.kind.storage == Storage::DateTimeText ? dateTimeFromText(bytes)
                                                               : decodeDateTime(job_.table, column.field, record);
    n = formatDateTimeIso(parts, false, flavour, p + 1, /*withSeconds=*/true);
  }
  if (n == 0) {
    line.append(kNull, 4);
  } else if (oracle) {
    std::memmove(p, p + 1, n);
    line.commit(n);
  } else {
    p[0] = rules_.quoteChar;
    p[n + 1] = rules_.quoteChar;
    line.commit(n + 2);
  }
}

// T, t, Y, y are true; F, f, N, n false; '?', a blank or any other byte is
// no value. MySQL and MS SQL store 1 and 0, Oracle and PostgreSQL the letter,
// Ansi the standard TRUE and FALSE.
void Values::appendSqlLogical(TextBuffer& line, const Field& f, const uint8_t* bytes) {
  const char letter = f.length ? static_cast<char>(bytes[0]) : ' ';
  bool truth;
  switch (letter) {
    case 'T': case 't': case 'Y': case 'y': truth = true; break;
    case 'F': case 'f': case 'N': case 'n': truth = false; break;
    default: line.append(kNull, 4); return;
  }
  switch (rules_.dialect) {
    case SqlDialect::MySql:
    case SqlDialect::MsSql: line.push_back(truth ? '1' : '0'); break;
    case SqlDialect::Oracle:
    case SqlDialect::PostgreSql: {
      const char quoted[3] = {rules_.quoteChar, letter, rules_.quoteChar};
      line.append(quoted, 3);
      break;
    }
    case SqlDialect::Ansi: line.append(truth ? std::string_view("TRUE") : std::string_view("FALSE")); break;
  }
}

// The bytes of a binary value: hex digits in text; in SQL the dialect's
// binary literal, which holds every byte, zero bytes included.
void Values::appendBinary(TextBuffer& line, const PlannedColumn& column, const uint8_t* record) {
  const std::string_view bytes = binaryValue(job_.table, column, record);
  if (!sql_) {
    appendHex(line, bytes);
    return;
  }
  switch (rules_.dialect) {
    case SqlDialect::PostgreSql: line.append("'\\x"); break;
    case SqlDialect::MsSql: line.append("0x"); break;
    case SqlDialect::Oracle: line.append("hextoraw('"); break;
    default: line.append("X'"); break;
  }
  appendHex(line, bytes);
  if (rules_.dialect == SqlDialect::Oracle) line.append("')");
  else if (rules_.dialect != SqlDialect::MsSql) line.push_back('\'');
}

void Values::appendMemo(TextBuffer& line, int field, const uint8_t* record) {
  const bool smt = isSmt(job_.table.version());
  readMemoText(job_.table, field, record, job_.codePages, memo_);
  if (!memo_.empty()) {
    for (char& c : memo_) {
      if ((isLineBreak(c) && (sql_ || !o_.keepLineBreaks)) || c == '\t' || (smt && c == '\x8D')) c = ' ';
      // No database takes a zero byte inside a string.
      else if (sql_ && c == '\0') c = ' ';
    }
    if (smt)
      while (!memo_.empty() && memo_.back() == ' ') memo_.pop_back();
    if (o_.outputOem) translateBytes(job_.codePages.ansiToOem, memo_.data(), memo_.size());
  }
  if (sql_) {
    // The room for every byte doubled and the two apostrophes.
    char* p = line.extend(2 * memo_.size() + 2);
    p[0] = rules_.quoteChar;
    std::memcpy(p + 1, memo_.data(), memo_.size());
    size_t n = doubleSqlSpecials(p + 1, memo_.size());
    p[n + 1] = rules_.quoteChar;
    line.commit(n + 2);
    return;
  }
  appendDelimitedText(line, memo_, rules_, rules_.quoteAllFields);
}

}  // namespace

void appendDelimitedText(TextBuffer& line, std::string_view text, const ValueRules& rules, bool enclose) {
  const char quote = enclosingQuote(rules);
  constexpr auto npos = std::string_view::npos;
  const bool tab = !rules.delimiter.empty() && rules.delimiter[0] == '\t';
  std::string_view delimiter = rules.delimiter;
  if (!rules.multiCharDelimiter) delimiter = delimiter.substr(0, 1);
  enclose = enclose || text.find_first_of("\r\n") != npos ||
            (!delimiter.empty() && text.find(delimiter) != npos) ||
            (tab ? text.starts_with(quote) : text.find(quote) != npos);
  if (!enclose) {
    line.append(text);
    return;
  }
  const size_t quotes = static_cast<size_t>(std::count(text.begin(), text.end(), quote));
  char* p = line.extend(text.size() + quotes + 2);
  p[0] = quote;
  std::memcpy(p + 1, text.data(), text.size());
  const size_t n = quotes ? doubleInPlace(p + 1, text.size(), quotes, quote, quote) : text.size();
  p[n + 1] = quote;
  line.commit(n + 2);
}

std::unique_ptr<ValueWriter> makeValueWriter(JobContext& job, const ValueRules& rules) {
  return std::make_unique<Values>(job, rules);
}

void writeLine(OutputFile& out, const TextBuffer& line, Utf8Converter* utf8, TextBuffer& scratch) {
  // An empty line (one empty value, no row delimiter) may have no storage yet.
  if (line.empty()) return;
  if (utf8) {
    char* p = scratch.extend(Utf8Converter::capacityFor(line.size()));
    out.write(p, utf8->convert(line.data(), line.size(), p));
  } else {
    out.write(line.data(), line.size());
  }
}

}  // namespace tabrix
