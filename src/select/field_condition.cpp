// Conditions are parsed once per table; testing a record decodes only the
// fields that carry a condition, into buffers reused from record to record.
#include "select/field_condition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "dbf/date_time.h"
#include "dbf/field_decoder.h"
#include "platform/code_pages.h"
#include "platform/file.h"
#include "util/ascii.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

size_t findIgnoringCase(std::string_view text, std::string_view part, size_t from = 0) {
  for (size_t i = from; i + part.size() <= text.size(); ++i)
    if (equalsIgnoringCase(text.substr(i, part.size()), part)) return i;
  return std::string_view::npos;
}

void addPair(std::string_view item, std::vector<ConditionPair>& pairs, bool trimConditionStart) {
  const size_t colon = item.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 >= item.size()) return;
  std::string_view condition = item.substr(colon + 1);
  if (trimConditionStart) condition = trimLeftBlanks(condition);
  pairs.push_back({std::string(item.substr(0, colon)), std::string(condition)});
}

// A decimal number at the start of text (after blanks); 0 when there is none.
double decimalOf(std::string_view text) {
  char buffer[64];
  const size_t n = std::min(text.size(), sizeof buffer - 1);
  text.copy(buffer, n);
  buffer[n] = '\0';
  return std::strtod(buffer, nullptr);
}

int64_t integerOf(std::string_view text) {
  char buffer[64];
  const size_t n = std::min(text.size(), sizeof buffer - 1);
  text.copy(buffer, n);
  buffer[n] = '\0';
  return std::strtoll(buffer, nullptr, 10);
}

template <typename T>
int signOf(T v) {
  return (v > T{}) - (v < T{});
}

// "dd.mm.yyyy" written in the user's order, turned into day-month-year.
std::string toDayMonthYear(const std::string& text, DateFormat format) {
  if (format.order == '0' && text.size() >= 5) {
    std::string out = text;
    std::swap_ranges(out.begin(), out.begin() + 2, out.begin() + 3);
    return out;
  }
  if (format.order == '2' && text.size() >= 10)
    return text.substr(8, 2) + format.separator + text.substr(5, 2) + format.separator + text.substr(0, 4);
  return text;
}

// The Julian day of a "dd.mm.yyyy" text.
int64_t julianDayOf(std::string_view text) { return parseDateTimeText(text).dayNumber; }

// The stored yyyymmdd key of a "dd.mm.yyyy[ hh:mm:ss]" text, length bytes long.
std::string dateKeyOf(std::string_view text, size_t length) {
  auto part = [&](size_t at, size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n && at + i < text.size(); ++i) s[i] = text[at + i];
    return s;
  };
  std::string key = part(6, 4) + part(3, 2) + part(0, 2);
  if (length >= 14) key += part(11, 2) + part(14, 2) + part(17, 2);
  key.resize(length, ' ');
  return key;
}

bool operatorPasses(ConditionOperator op, int d) {
  switch (op) {
    case ConditionOperator::Equal: return d == 0;
    case ConditionOperator::AtMost: return d <= 0;
    case ConditionOperator::Below: return d < 0;
    case ConditionOperator::AtLeast: return d >= 0;
    case ConditionOperator::Above: return d > 0;
    case ConditionOperator::NotEqual: return d != 0;
    default: return d == 0;
  }
}

int compareBytes(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const int c = std::memcmp(a.data(), b.data(), n);
  if (c != 0) return signOf(c);
  return signOf(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

void toUpper(std::string& s, const FilterSettings& settings) {
  for (char& c : s)
    c = settings.upperCase ? static_cast<char>((*settings.upperCase)[static_cast<uint8_t>(c)]) : asciiUpper(c);
}

bool containsIgnoringAsciiCase(std::string_view text, std::string_view part) {
  return part.empty() || findIgnoringCase(text, part) != std::string_view::npos;
}

// The Julian day of a date-time field, empty values giving 0.
int64_t storedJulianDay(const DbfTable& table, int field, const uint8_t* record) {
  const auto parts = decodeDateTime(table, field, record);
  if (!parts) return 0;
  return daysFromCivil(parts->year, parts->month, parts->day) + 2440588;
}

}  // namespace

void parseInlineConditions(std::string_view items, std::vector<ConditionPair>& pairs) {
  size_t start = 0;
  while (start <= items.size()) {
    const size_t comma = items.find(',', start);
    const size_t end = comma == std::string_view::npos ? items.size() : comma;
    addPair(items.substr(start, end - start), pairs, false);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
}

Result readFieldConditions(const std::string& path, std::vector<ConditionPair>& pairs) {
  std::vector<std::string> lines;
  if (Result read = readTextLines(path, lines); !read) return read;
  for (const std::string& line : lines) addPair(line, pairs, true);
  return {};
}

void parseCondition(FieldCondition& c) {
  std::string_view rest = trimLeftBlanks(c.text);
  c.op = ConditionOperator::Equal;
  if (!rest.empty() && rest.front() == '!') {
    c.op = ConditionOperator::NotEqual;
    rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '=') {
      rest.remove_prefix(1);
      if (rest == "Empty") {
        c.op = ConditionOperator::IsNotEmpty;
        c.value = "Empty";
        return;
      }
    }
  }
  if (!rest.empty() && rest.front() == '>') {
    c.op = ConditionOperator::Above;
    rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '=') {
      c.op = ConditionOperator::AtLeast;
      rest.remove_prefix(1);
    }
  }
  if (!rest.empty() && rest.front() == '<') {
    c.op = ConditionOperator::Below;
    rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '=') {
      c.op = ConditionOperator::AtMost;
      rest.remove_prefix(1);
    }
  } else if (rest == "Empty") {
    c.op = ConditionOperator::IsEmpty;
  } else if (rest == "!=Empty") {
    c.op = ConditionOperator::IsNotEmpty;
  }
  c.value = std::string(rest);
}

void splitAlternatives(FieldCondition& c) {
  c.alternatives.clear();
  size_t start = 0;
  for (;;) {
    const size_t at = findIgnoringCase(c.text, " or ", start);
    FieldCondition alternative;
    alternative.text = c.text.substr(start, at == std::string::npos ? std::string::npos : at - start);
    parseCondition(alternative);
    c.alternatives.push_back(std::move(alternative));
    if (at == std::string::npos) break;
    start = at + 4;
  }
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
  if (!pattern.empty() && pattern.front() == '*') {
    std::string_view inner = pattern.substr(1);
    if (!inner.empty() && inner.back() == '*') inner.remove_suffix(1);
    return text.find(inner) != std::string_view::npos;
  }
  size_t p = 0, t = 0;
  while (p < pattern.size() && pattern[p] != '*' && t < text.size()) {
    if (pattern[p] != '?' && pattern[p] != text[t]) return false;
    ++p;
    ++t;
  }
  return p == pattern.size() || pattern[p] == '*';
}

RecordConditions::RecordConditions(const DbfTable& table, const std::vector<ConditionPair>& pairs,
                                   const FilterSettings& settings)
    : settings_(settings), conditions_(static_cast<size_t>(table.fieldCount())) {
  size_t capacity = 64;
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    nullBits_.push_back(nullBitOf(table, i));
    capacity = std::max(capacity, decodedTextCapacity(f));
    FieldCondition& c = conditions_[static_cast<size_t>(i)];
    const auto pair = std::find_if(pairs.begin(), pairs.end(), [&](const ConditionPair& p) {
      return equalsIgnoringCase(p.field, f.name);
    });
    if (pair == pairs.end()) continue;
    c.text = pair->condition;
    if (!f.kind.characterText) {
      if (const size_t comma = c.text.find(','); comma != std::string::npos) {
        c.rangeEnd = c.text.substr(comma + 1);
        c.text.resize(comma);
      }
    }
    parseCondition(c);
    splitAlternatives(c);
    if (f.kind.valueClass == ValueClass::Date || f.kind.valueClass == ValueClass::DateTime) {
      // Dates are written in the user's order and compared day-month-year.
      auto settle = [&](FieldCondition& one) {
        if (findIgnoringCase(one.value, "today()") != std::string::npos)
          one.value = fmt::format("{:02}.{:02}.{}", settings_.todayDay, settings_.todayMonth, settings_.todayYear);
        else if (settings_.dateFormat.order != '1')
          one.value = toDayMonthYear(one.value, settings_.dateFormat);
      };
      settle(c);
      for (FieldCondition& alternative : c.alternatives) settle(alternative);
      if (settings_.dateFormat.order != '1') c.rangeEnd = toDayMonthYear(c.rangeEnd, settings_.dateFormat);
    }
    if (!c.text.empty() || c.op == ConditionOperator::IsEmpty || c.op == ConditionOperator::IsNotEmpty)
      active_.push_back(i);
  }
  text_.resize(capacity);
}

bool RecordConditions::passes(DbfTable& table, const uint8_t* record) {
  for (int field : active_) {
    const FieldCondition& c = conditions_[static_cast<size_t>(field)];
    bool pass;
    if (c.alternatives.size() <= 1) {
      pass = fieldPasses(table, field, c, c, record);
    } else {
      pass = false;
      for (const FieldCondition& alternative : c.alternatives)
        if ((pass = fieldPasses(table, field, alternative, c, record))) break;
    }
    if (!pass) return false;
  }
  return true;
}

// c gives the operator and value; whole (the field's condition) the text and
// range end, which alternatives share.
bool RecordConditions::fieldPasses(DbfTable& table, int field, const FieldCondition& c, const FieldCondition& whole,
                                   const uint8_t* record) {
  // NULL is an empty value: it is "Empty", differs from every value, and is
  // neither above nor below any.
  if (isNull(nullBits_[static_cast<size_t>(field)], record)) {
    if (equalsIgnoringCase(c.value, "empty()")) return operatorPasses(c.op, 0);
    return c.op == ConditionOperator::IsEmpty || c.op == ConditionOperator::NotEqual;
  }
  const Field& f = table.field(field);
  const uint8_t* bytes = record + f.offset;
  const std::string& rangeEnd = whole.rangeEnd;
  const bool hasRange = !rangeEnd.empty();
  DecodeOptions plain;
  plain.oemToAnsi = settings_.oemToAnsi;
  switch (f.kind.valueClass) {
    case ValueClass::Currency: {
      // The whole 64-bit amount, within 0.01 counting as equal.
      const int64_t difference = currencyAmount(f, record) - std::llround(decimalOf(c.value) * 10000.0);
      return operatorPasses(c.op, std::llabs(difference) < 100 ? 0 : signOf(difference));
    }
    case ValueClass::Integer: {
      const int32_t value = integerValue(f, record);
      if (hasRange) return integerOf(c.value) <= value && value <= integerOf(rangeEnd);
      return operatorPasses(c.op, signOf(int64_t{value} - integerOf(c.value)));
    }
    case ValueClass::Double: {
      const double value = doubleValue(f, record);
      if (hasRange) return decimalOf(c.value) <= value && value <= decimalOf(rangeEnd);
      return operatorPasses(c.op, signOf(value - decimalOf(c.value)));
    }
    case ValueClass::DateTime: {
      if (c.op == ConditionOperator::IsEmpty || c.op == ConditionOperator::IsNotEmpty) {
        const bool empty = f.length < 4 || readLe32(bytes) == 0;
        return empty == (c.op == ConditionOperator::IsEmpty);
      }
      const int64_t day = storedJulianDay(table, field, record);
      if (hasRange) return julianDayOf(c.value) <= day && day <= julianDayOf(rangeEnd);
      return operatorPasses(c.op, signOf(day - julianDayOf(c.value)));
    }
    case ValueClass::Date: {
      if (c.op == ConditionOperator::IsEmpty || c.op == ConditionOperator::IsNotEmpty) {
        const bool empty = f.length == 0 || bytes[0] == ' ' || bytes[0] == '\0';
        return empty == (c.op == ConditionOperator::IsEmpty);
      }
      const std::string_view stored(reinterpret_cast<const char*>(bytes), f.length);
      if (hasRange)
        return compareBytes(dateKeyOf(c.value, f.length), stored) <= 0 &&
               compareBytes(stored, dateKeyOf(rangeEnd, f.length)) <= 0;
      return operatorPasses(c.op, compareBytes(stored, dateKeyOf(c.value, f.length)));
    }
    case ValueClass::Memo: {
      MemoFile* memo = table.memo();
      const MemoRef ref = memoBlockOf(table, field, record);
      if (!memo || ref.block == 0) return false;
      memo_.assign(memo->readMemo(ref.block, ref.length));
      if (table.sourceIsOem() && settings_.oemToAnsi)
        translateBytes(*settings_.oemToAnsi, memo_.data(), memo_.size());
      toUpper(memo_, settings_);
      upperValue_.assign(whole.text);
      toUpper(upperValue_, settings_);
      return memo_.find(upperValue_) != std::string::npos;
    }
    default:
      break;
  }
  std::string_view text = trimLeftBlanks({text_.data(), decodeFieldText(table, field, record, plain, text_.data())});
  const bool numeric = f.kind.valueClass == ValueClass::Number;
  if (numeric && hasRange)
    return decimalOf(whole.text) <= decimalOf(text) && decimalOf(text) <= decimalOf(rangeEnd);
  if (equalsIgnoringCase(c.value, "empty()")) return operatorPasses(c.op, text.empty() ? 0 : 1);
  if (numeric && c.op != ConditionOperator::Equal) {
    const int d = f.decimals > 0 ? signOf(decimalOf(text) - decimalOf(c.value))
                                 : signOf(integerOf(text) - integerOf(c.value));
    return operatorPasses(c.op, d);
  }
  std::string_view value = c.value;
  if (f.kind.characterText) {
    memo_.assign(text);
    toUpper(memo_, settings_);
    text = memo_;
    upperValue_.assign(c.value);
    toUpper(upperValue_, settings_);
    value = upperValue_;
  }
  if (c.op == ConditionOperator::Equal || c.op == ConditionOperator::NotEqual)
    return operatorPasses(c.op, wildcardMatch(value, text) ? 0 : 1);
  return operatorPasses(c.op, compareBytes(text, value));
}

WordFilter::WordFilter(const std::string& pattern, const FilterSettings& settings)
    : pattern_(pattern), settings_(settings) {}

bool WordFilter::matches(DbfTable& table, const uint8_t* record) {
  DecodeOptions plain;
  plain.oemToAnsi = settings_.oemToAnsi;
  plain.dateFormat = settings_.dateFormat;
  const std::string_view inner =
      !pattern_.empty() && pattern_.front() == '*' ? std::string_view(pattern_).substr(1) : std::string_view(pattern_);
  if (nullBits_.size() != static_cast<size_t>(table.fieldCount()))
    for (int i = static_cast<int>(nullBits_.size()); i < table.fieldCount(); ++i) nullBits_.push_back(nullBitOf(table, i));
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    // NULL holds no text to find.
    if (f.kind.valueClass == ValueClass::NullFlags || isNull(nullBits_[static_cast<size_t>(i)], record)) continue;
    if (f.kind.valueClass == ValueClass::Memo) {
      MemoFile* memo = table.memo();
      const MemoRef ref = memoBlockOf(table, i, record);
      if (!memo || ref.block == 0) continue;
      text_.assign(memo->readMemo(ref.block, ref.length));
      if (table.sourceIsOem() && settings_.oemToAnsi) translateBytes(*settings_.oemToAnsi, text_.data(), text_.size());
      if (containsIgnoringAsciiCase(text_, inner)) return true;
      continue;
    }
    decoded_.resize(std::max(decoded_.size(), decodedTextCapacity(f)));
    std::string_view text =
        trimLeftBlanks({decoded_.data(), decodeFieldText(table, i, record, plain, decoded_.data())});
    if (f.kind.characterText) {
      text_.assign(text);
      toUpper(text_, settings_);
      text = text_;
    }
    if (wildcardMatch(pattern_, text)) return true;
  }
  return false;
}

}  // namespace tabrix
