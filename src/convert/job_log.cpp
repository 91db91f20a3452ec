#include "convert/job_log.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include "platform/local_time.h"

namespace tabrix {

Result JobLog::open(const std::string& path, bool append) {
  if (!file_.open(path, append)) return Result::failure(file_.errorText());
  return {};
}

void JobLog::capture(bool fileOpen) {
  capturing_ = true;
  captureOpen_ = fileOpen;
  captured_.clear();
}

void JobLog::replayInto(JobLog& log) const {
  for (const Entry& entry : captured_) {
    if (entry.error) log.error(entry.text);
    else log.write(entry.text);
  }
}

void JobLog::write(std::string_view text) {
  if (capturing_) {
    if (captureOpen_) captured_.push_back({false, std::string(text)});
    return;
  }
  file_.write(text);
  // A log is read while a long run goes on: every line reaches the file.
  file_.flushToDisk();
}

void JobLog::error(std::string_view line) {
  if (capturing_) {
    captured_.push_back({true, std::string(line)});
    return;
  }
  write(line);
  if (!errors_) return;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  fmt::print(errors_, "{}\n", line);
  std::fflush(errors_);
}

std::string formatLogTime(const std::tm& t, char order, char sep) {
  const int year = t.tm_year + 1900, month = t.tm_mon + 1;
  if (order == '1')
    return fmt::sprintf("%02d.%02d.%d %02d:%02d:%02d", t.tm_mday, month, year, t.tm_hour, t.tm_min, t.tm_sec);
  if (order == '2')
    return fmt::sprintf("%d%c%02d%c%02d %02d:%02d:%02d", year, sep, month, sep, t.tm_mday, t.tm_hour, t.tm_min,
                        t.tm_sec);
  return fmt::sprintf("%02d%c%02d%c%d %02d:%02d:%02d", month, sep, t.tm_mday, sep, year, t.tm_hour, t.tm_min,
                      t.tm_sec);
}

std::string formatLogTimeNow(char order, char sep) {
  return formatLogTime(localTimeNow(), order, sep);
}

}  // namespace tabrix
