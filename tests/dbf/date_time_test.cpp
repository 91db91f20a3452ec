#include "dbf/date_time.h"

#include <gtest/gtest.h>

#include <string>

namespace tabrix {
namespace {

std::string iso(const uint8_t* date, bool emptyWhenBlank, IsoFlavour flavour) {
  char out[64];
  return {out, formatDateIso(date, emptyWhenBlank, flavour, out)};
}

std::string isoTime(const DateTimeParts& parts, bool xml, IsoFlavour flavour = IsoFlavour::Plain) {
  char out[96];
  return {out, formatDateTimeIso(parts, xml, flavour, out)};
}

std::string local(const DateTimeParts& parts, char order, bool skipSeconds) {
  char out[64];
  return {out, formatDateTimeLocal(parts, {order, '.'}, skipSeconds, out)};
}

const uint8_t* bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

TEST(CivilDays, AgreesWithAYearByYearCount) {
  // Count the days from 1 January 1900 the slow way and compare on every day.
  int64_t expected = daysFromCivil(1900, 1, 1);
  const unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int year = 1900; year <= 2100; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (unsigned month = 1; month <= 12; ++month) {
      const unsigned days = lengths[month - 1] + (month == 2 && leap ? 1 : 0);
      for (unsigned day = 1; day <= days; ++day, ++expected) {
        ASSERT_EQ(daysFromCivil(year, month, day), expected) << year << "-" << month << "-" << day;
        int64_t y;
        unsigned m, d;
        civilFromDays(expected, y, m, d);
        ASSERT_EQ(y, year);
        ASSERT_EQ(m, month);
        ASSERT_EQ(d, day);
      }
    }
  }
}

TEST(IsoForms, DatesForSqlAndOracle) {
  EXPECT_EQ(iso(bytes("20240131"), false, IsoFlavour::Plain), "2024-01-31");
  EXPECT_EQ(iso(bytes("        "), false, IsoFlavour::Plain), "null");
  EXPECT_EQ(iso(bytes("        "), true, IsoFlavour::Plain), "");
  EXPECT_EQ(iso(bytes("20240131"), false, IsoFlavour::Oracle), "to_date('2024-01-31', 'YYYY-MM-DD')");
  EXPECT_EQ(iso(bytes("        "), false, IsoFlavour::Oracle), "null");
}

TEST(IsoForms, DateTimesShowTheDateAloneAtHourZero) {
  EXPECT_EQ(isoTime({2024, 1, 31, 0, 45, 10}, false), "2024-01-31");
  EXPECT_EQ(isoTime({2024, 1, 31, 0, 45, 10}, true), "2024-01-31");
  EXPECT_EQ(isoTime({2024, 1, 31, 13, 5, 10}, false), "2024-01-31 13:05");
  EXPECT_EQ(isoTime({2024, 1, 31, 13, 5, 10}, true), "2024-01-31T13:05:00.000");
  EXPECT_EQ(isoTime({2024, 1, 31, 13, 5, 10}, false, IsoFlavour::Oracle),
            "to_timestamp('2024-01-31 13:05', 'YYYY-MM-DD HH24:mi')");
}

TEST(IsoForms, DateTimesWithSecondsKeepTheWholeTimeAtEveryHour) {
  char out[96];
  const DateTimeParts midnight{2024, 1, 31, 0, 45, 10};
  EXPECT_EQ(std::string(out, formatDateTimeIso(midnight, false, IsoFlavour::Plain, out, true)),
            "2024-01-31 00:45:10");
  EXPECT_EQ(std::string(out, formatDateTimeIso(DateTimeParts{2024, 1, 31, 13, 5, 9}, false, IsoFlavour::Oracle,
                                               out, true)),
            "to_timestamp('2024-01-31 13:05:09', 'YYYY-MM-DD HH24:MI:SS')");
  EXPECT_EQ(formatDateTimeIso(std::nullopt, false, IsoFlavour::Plain, out, true), 0u);
}

TEST(LocalForms, DayAboveThirtyOneShowsTheTimeAlone) {
  EXPECT_EQ(local({2024, 1, 32, 7, 8, 9}, '1', false), "07:08:09");
  EXPECT_EQ(local({2024, 1, 32, 7, 8, 9}, '1', true), "07:08");
  EXPECT_EQ(local({987, 3, 4, 7, 8, 9}, '1', false), "04.03.987 07:08:09");
}

// The ISO form ignores the user's order and separator; years keep four digits.
TEST(LocalForms, IsoFormWhateverTheOrder) {
  char out[64];
  for (const char order : {'0', '1', '2'}) {
    EXPECT_EQ(std::string(out, formatDateTimeLocal({987, 3, 5, 7, 8, 9}, {order, '/', true}, false, out)),
              "0987-03-05T07:08:09");
    EXPECT_EQ(std::string(out, formatDateTimeLocal({2024, 12, 31, 23, 59, 0}, {order, '.', true}, true, out)),
              "2024-12-31T23:59");
    EXPECT_EQ(std::string(out, formatDateLocal(bytes("19990610"), {order, '.', true}, out)), "1999-06-10");
  }
}

TEST(ParseDateTimeText, GivesJulianDayAndMilliseconds) {
  DayAndMillis v = parseDateTimeText("01.01.1900 00:00");
  EXPECT_EQ(v.dayNumber, 2415021);
  EXPECT_EQ(v.milliseconds, 0);
  v = parseDateTimeText("29/02/2000 13:05");
  EXPECT_EQ(v.dayNumber, 2451604);
  EXPECT_EQ(v.milliseconds, (13 * 3600 + 5 * 60) * 1000);
  // Without a time the time is midnight.
  EXPECT_EQ(parseDateTimeText("01.01.1901").dayNumber, 2415386);
}

TEST(LevelSevenNumbers, SignBitInverted) {
  const uint8_t five[] = {0x80, 0, 0, 5};
  const uint8_t minusFive[] = {0x7F, 0xFF, 0xFF, 0xFB};
  const uint8_t zero[] = {0, 0, 0, 0};
  EXPECT_EQ(decodeLevel7Integer(five), 5);
  EXPECT_EQ(decodeLevel7Integer(minusFive), -5);
  EXPECT_EQ(decodeLevel7Integer(zero), 0);
  const uint8_t zeroDouble[8] = {};
  EXPECT_EQ(decodeLevel7Double(zeroDouble), 0.0);
}

}  // namespace
}  // namespace tabrix
