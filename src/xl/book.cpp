#include "xl/book.h"

#include <chrono>

#include "xl/book_formats.h"

namespace tabrix::xl {

std::unique_ptr<Book> Book::create(BookFormat format) {
  return format == BookFormat::Xls ? makeXlsBook() : makeXlsxBook();
}

double datePack(int year, int month, int day, int hour, int minute, int second) {
  using namespace std::chrono;
  const year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                            std::chrono::day(unsigned(day))};
  if (!date.ok() || year < 1900) return 0;
  // Serial 1 is 1900-01-01; spreadsheets count a 29 February 1900 (serial 60),
  // so from March 1900 on the serial is one day more than the plain count.
  const int days = (sys_days(date) - sys_days(std::chrono::year(1899) / December / 31)).count();
  const int serial = days + (days >= 60 ? 1 : 0);
  return serial + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

std::string validSheetName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const bool refused = c == ':' || c == '\\' || c == '/' || c == '?' || c == '*' || c == '[' || c == ']' ||
                         static_cast<unsigned char>(c) < 0x20;
    out += refused ? '_' : c;
  }
  // At most 31 UTF-16 units (a character beyond U+FFFF takes two), cut on a
  // UTF-8 character boundary.
  size_t units = 0, cut = out.size();
  for (size_t i = 0; i < out.size(); ++i) {
    const auto lead = static_cast<unsigned char>(out[i]);
    if ((lead & 0xC0) == 0x80) continue;
    units += lead >= 0xF0 ? 2 : 1;
    if (units > 31) {
      cut = i;
      break;
    }
  }
  out.resize(cut);
  while (!out.empty() && out.front() == '\'') out.erase(out.begin());
  while (!out.empty() && out.back() == '\'') out.pop_back();
  if (out.empty()) out = "Sheet1";
  return out;
}

}  // namespace tabrix::xl
