#pragma once
// Dates and date-times of DBF fields: decoding the binary forms of Visual
// FoxPro and dBase level 7, and the local and ISO text forms.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/locale_info.h"

namespace tabrix {

struct DateTimeParts {
  uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Visual FoxPro date-time: little-endian Julian day number, then milliseconds
// since midnight. Empty when the day number is 0 or the date leaves years 1-9999.
std::optional<DateTimeParts> decodeFoxProDateTime(const uint8_t* bytes8);
// dBase level 7 timestamp: big-endian double of milliseconds counted from
// 1 January of year 1 less one day. Empty when its first four bytes are 0.
std::optional<DateTimeParts> decodeLevel7Timestamp(const uint8_t* bytes8);

// Level 7 integer: big-endian with the sign bit inverted.
int32_t decodeLevel7Integer(const uint8_t* bytes4);
// Level 7 double: big-endian, the sign bit inverted for positives and every bit
// inverted for negatives.
double decodeLevel7Double(const uint8_t* bytes8);

// The 8 characters YYYYMMDD moved into the user's order, or the ISO one: 10 characters.
size_t formatDateLocal(const uint8_t* yyyymmdd, DateFormat format, char* out);
size_t formatDateTimeLocal(const DateTimeParts& parts, DateFormat format, bool skipSeconds, char* out);

enum class IsoFlavour { Plain, Oracle };
// YYYY-MM-DD; a blank date gives "null", or nothing when emptyWhenBlank.
size_t formatDateIso(const uint8_t* yyyymmdd, bool emptyWhenBlank, IsoFlavour flavour, char* out);
// "Y-MM-DD HH:MM" or the XML form "Y-MM-DDTHH:MM:00.000"; the date alone at hour 0.
// withSeconds: "Y-MM-DD HH:MM:SS" at every hour (SQL scripts keep the whole time).
size_t formatDateTimeIso(const std::optional<DateTimeParts>& parts, bool xmlForm, IsoFlavour flavour,
                         char* out, bool withSeconds = false);

struct DayAndMillis {
  int64_t dayNumber = 0;     // Julian day number
  int64_t milliseconds = 0;  // since midnight
};
// "dd.mm.yyyy hh:mm", any single characters in place of the separators.
DayAndMillis parseDateTimeText(std::string_view text);

// Whether year-month-day names a day of the proleptic Gregorian calendar (years from 1).
bool isCalendarDate(int year, int month, int day);
// The date of 8 stored characters YYYYMMDD (time 0), when they name a calendar day;
// blank, zero and damaged dates give nothing.
std::optional<DateTimeParts> dateFromText(const uint8_t* bytes, size_t len);
// The date-time of 14 stored characters YYYYMMDDhhmmss, when they name one.
std::optional<DateTimeParts> dateTimeFromText(const uint8_t* bytes14);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day);
void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day);

}  // namespace tabrix
