#include "dbf/date_time.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "dbf/dbf_format.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

constexpr int64_t kJulianDayOf1970 = 2440588;
constexpr int64_t kJulianDayOf1900 = 2415021;
constexpr int64_t kDaysFromYear1To1970 = 719162;
constexpr int64_t kSecondsPerDay = 86400;

char* put2(char* out, unsigned v) {
  out[0] = static_cast<char>('0' + v / 10 % 10);
  out[1] = static_cast<char>('0' + v % 10);
  return out + 2;
}

// At least two digits, as "%02d" prints.
char* put02(char* out, unsigned v) {
  if (v < 100) return put2(out, v);
  char digits[8];
  int n = 0;
  while (v) {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  while (n) *out++ = digits[--n];
  return out;
}

// "%d" of a non-negative number.
char* putUnsigned(char* out, unsigned v) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) *out++ = digits[--n];
  return out;
}

std::optional<DateTimeParts> partsFrom(int64_t daysSince1970, int64_t secondOfDay) {
  int64_t year;
  unsigned month, day;
  civilFromDays(daysSince1970, year, month, day);
  if (year < 1 || year > 9999) return std::nullopt;
  DateTimeParts parts;
  parts.year = static_cast<uint16_t>(year);
  parts.month = static_cast<uint16_t>(month);
  parts.day = static_cast<uint16_t>(day);
  parts.hour = static_cast<uint16_t>(secondOfDay / 3600);
  parts.minute = static_cast<uint16_t>(secondOfDay / 60 % 60);
  parts.second = static_cast<uint16_t>(secondOfDay % 60);
  return parts;
}

}  // namespace

// Howard Hinnant's algorithms: exact over the whole proleptic Gregorian range
// and constant time, so the record walk pays no per-year loop.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2);
}

std::optional<DateTimeParts> decodeFoxProDateTime(const uint8_t* bytes8) {
  const uint32_t julianDay = readLe32(bytes8);
  if (julianDay == 0) return std::nullopt;
  // Milliseconds are rounded to the nearest second, carrying into the day.
  const int64_t seconds = (int64_t{readLe32(bytes8 + 4)} + 500) / 1000;
  const int64_t days = int64_t{julianDay} - kJulianDayOf1970 + seconds / kSecondsPerDay;
  return partsFrom(days, seconds % kSecondsPerDay);
}

std::optional<DateTimeParts> decodeLevel7Timestamp(const uint8_t* bytes8) {
  if (readLe32(bytes8) == 0) return std::nullopt;
  uint8_t reversed[8];
  for (int i = 0; i < 8; ++i) reversed[i] = bytes8[7 - i];
  double millis;
  std::memcpy(&millis, reversed, sizeof millis);
  // Beyond year 9999 (about 3.2e17 ms) or not a number: no date.
  if (!(millis >= 0 && millis < 4e17)) return std::nullopt;
  const int64_t seconds = std::llround(millis / 1000.0);
  const int64_t days = seconds / kSecondsPerDay - 1 - kDaysFromYear1To1970;
  return partsFrom(days, seconds % kSecondsPerDay);
}

int32_t decodeLevel7Integer(const uint8_t* bytes4) {
  uint32_t v = readBe32(bytes4);
  if (v & 0x80000000u) v &= 0x7FFFFFFFu;
  else if (v != 0) v |= 0x80000000u;
  return static_cast<int32_t>(v);
}

double decodeLevel7Double(const uint8_t* bytes8) {
  // Stored so that bytes sort as numbers: positives with the sign bit set,
  // negatives with every bit inverted.
  uint8_t b[8];
  std::memcpy(b, bytes8, 8);
  if (b[0] & 0x80) {
    b[0] &= 0x7F;
  } else {
    bool any = false;
    for (uint8_t x : b) any = any || x != 0;
    if (any)
      for (uint8_t& x : b) x = static_cast<uint8_t>(~x);
  }
  uint8_t reversed[8];
  for (int i = 0; i < 8; ++i) reversed[i] = b[7 - i];
  double value;
  std::memcpy(&value, reversed, sizeof value);
  return value;
}

size_t formatDateLocal(const uint8_t* d, DateFormat format, char* out) {
  if (format.iso) format = {'2', '-', false};
  const char s = format.separator;
  const char* c = reinterpret_cast<const char*>(d);
  char* p = out;
  auto year = [&] { std::memcpy(p, c, 4); p += 4; };
  auto month = [&] { std::memcpy(p, c + 4, 2); p += 2; };
  auto day = [&] { std::memcpy(p, c + 6, 2); p += 2; };
  if (format.order == '1') {
    day(); *p++ = s; month(); *p++ = s; year();
  } else if (format.order == '2') {
    year(); *p++ = s; month(); *p++ = s; day();
  } else {
    month(); *p++ = s; day(); *p++ = s; year();
  }
  return static_cast<size_t>(p - out);
}

size_t formatDateTimeLocal(const DateTimeParts& t, DateFormat format, bool skipSeconds, char* out) {
  char* p = out;
  const char s = format.separator;
  if (t.day > 31) {
    p = put02(p, t.hour);
    *p++ = ':';
    p = put02(p, t.minute);
    if (!skipSeconds) {
      *p++ = ':';
      p = put02(p, t.second);
    }
    return static_cast<size_t>(p - out);
  }
  if (format.iso) {
    p = put02(put02(p, t.year / 100), t.year % 100); *p++ = '-'; p = put02(p, t.month); *p++ = '-'; p = put02(p, t.day);
  } else if (format.order == '2') {
    p = putUnsigned(p, t.year); *p++ = s; p = put02(p, t.month); *p++ = s; p = put02(p, t.day);
    skipSeconds = false;  // this order always shows the seconds
  } else {
    const unsigned first = format.order == '1' ? t.day : t.month;
    const unsigned second = format.order == '1' ? t.month : t.day;
    p = put02(p, first); *p++ = s; p = put02(p, second); *p++ = s; p = putUnsigned(p, t.year);
  }
  *p++ = format.iso ? 'T' : ' ';
  p = put02(p, t.hour);
  *p++ = ':';
  p = put02(p, t.minute);
  if (!skipSeconds) {
    *p++ = ':';
    p = put02(p, t.second);
  }
  return static_cast<size_t>(p - out);
}

namespace {

size_t wrap(const char* before, const char* after, char* out, size_t len) {
  const size_t b = std::strlen(before), a = std::strlen(after);
  std::memmove(out + b, out, len);
  std::memcpy(out, before, b);
  std::memcpy(out + b + len, after, a);
  return b + len + a;
}

}  // namespace

size_t formatDateIso(const uint8_t* d, bool emptyWhenBlank, IsoFlavour flavour, char* out) {
  // A blank date starts with a space; NUL-filled dates are blank as well.
  if (d[0] == ' ' || d[0] == '\0') {
    if (emptyWhenBlank) return 0;
    std::memcpy(out, "null", 4);
    return 4;
  }
  std::memcpy(out, d, 4);
  out[4] = '-';
  std::memcpy(out + 5, d + 4, 2);
  out[7] = '-';
  std::memcpy(out + 8, d + 6, 2);
  if (flavour == IsoFlavour::Oracle) return wrap("to_date('", "', 'YYYY-MM-DD')", out, 10);
  return 10;
}

size_t formatDateTimeIso(const std::optional<DateTimeParts>& parts, bool xmlForm, IsoFlavour flavour,
                         char* out, bool withSeconds) {
  if (!parts) return 0;
  const DateTimeParts& t = *parts;
  char* p = putUnsigned(out, t.year);
  *p++ = '-';
  p = put02(p, t.month);
  *p++ = '-';
  p = put02(p, t.day);
  if (t.hour != 0 || withSeconds) {
    *p++ = xmlForm ? 'T' : ' ';
    p = put02(p, t.hour);
    *p++ = ':';
    p = put02(p, t.minute);
    if (withSeconds) {
      *p++ = ':';
      p = put02(p, t.second);
    } else if (xmlForm) {
      std::memcpy(p, ":00.000", 7);
      p += 7;
    }
  }
  const size_t len = static_cast<size_t>(p - out);
  if (flavour == IsoFlavour::Oracle)
    return wrap("to_timestamp('", withSeconds ? "', 'YYYY-MM-DD HH24:MI:SS')" : "', 'YYYY-MM-DD HH24:mi')", out, len);
  return len;
}

DayAndMillis parseDateTimeText(std::string_view text) {
  auto number = [&](size_t from, size_t count) {
    int64_t v = 0;
    for (size_t i = from; i < from + count && i < text.size(); ++i)
      if (text[i] >= '0' && text[i] <= '9') v = v * 10 + (text[i] - '0');
    return v;
  };
  const int64_t day = number(0, 2), year = number(6, 4), hour = number(11, 2), minute = number(14, 2);
  int64_t month = number(3, 2);
  month = month < 1 ? 1 : month > 12 ? 12 : month;
  DayAndMillis result;
  result.dayNumber = kJulianDayOf1900 + daysFromCivil(year, static_cast<unsigned>(month), 1) -
                     daysFromCivil(1900, 1, 1) + day - 1;
  result.milliseconds = (hour * 3600 + minute * 60) * 1000;
  return result;
}

bool isCalendarDate(int year, int month, int day) {
  if (year < 1 || month < 1 || day < 1) return false;
  return std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                     std::chrono::day(static_cast<unsigned>(day)))
      .ok();
}

std::optional<DateTimeParts> dateFromText(const uint8_t* bytes, size_t len) {
  if (len < 8) return std::nullopt;
  const auto year = digitsValue(bytes, 4), month = digitsValue(bytes + 4, 2), day = digitsValue(bytes + 6, 2);
  if (!year || !month || !day || !isCalendarDate(int(*year), int(*month), int(*day))) return std::nullopt;
  DateTimeParts parts;
  parts.year = static_cast<uint16_t>(*year);
  parts.month = static_cast<uint16_t>(*month);
  parts.day = static_cast<uint16_t>(*day);
  return parts;
}

std::optional<DateTimeParts> dateTimeFromText(const uint8_t* bytes) {
  auto parts = dateFromText(bytes, 14);
  const auto hour = digitsValue(bytes + 8, 2), minute = digitsValue(bytes + 10, 2), second = digitsValue(bytes + 12, 2);
  if (!parts || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  parts->hour = static_cast<uint16_t>(*hour);
  parts->minute = static_cast<uint16_t>(*minute);
  parts->second = static_cast<uint16_t>(*second);
  return parts;
}

}  // namespace tabrix
