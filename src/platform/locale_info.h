#pragma once
// The user's date order, date separator and code pages, read from the locale as
// the Windows build reads them from the user's regional settings.
#include <string>

namespace tabrix {

struct DateFormat {
  char order = '0';      // '0' month-day-year, '1' day-month-year, '2' year-month-day
  char separator = '/';
  // YYYY-MM-DD and YYYY-MM-DDThh:mm:ss, whatever the order and separator say:
  // the same text on every machine.
  bool iso = false;
};

struct CodePagePair {
  int ansi = 1252;
  int oem = 437;
};

// Date order and separator of a strftime date pattern such as "%d.%m.%Y".
DateFormat dateFormatFromPattern(const std::string& pattern);
// Date format of the current LC_TIME locale (call setlocale first).
DateFormat localeDateFormat();

// Code pages Windows pairs with a locale name such as "ru_RU.UTF-8".
CodePagePair codePagesForLocale(const std::string& localeName);
// TABRIX_ANSI_CP / TABRIX_OEM_CP when set, else those of the LC_CTYPE locale.
CodePagePair environmentCodePages();

}  // namespace tabrix
