#pragma once
// The log of a run: CR LF lines in a file, with error lines also on stderr so
// that a failure always leaves a trace, log or no log.
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output_file.h"
#include "util/result.h"

namespace tabrix {

class JobLog {
 public:
  explicit JobLog(std::FILE* errors = nullptr) : errors_(errors) {}
  // Creates the log file, or with append adds to its end.
  Result open(const std::string& path, bool append);
  // Makes this log keep what it is given, standing for a log whose file is
  // open or not, until replayInto passes it on: a table converted beside
  // others then logs exactly as it would alone, in the run's order.
  void capture(bool fileOpen);
  void replayInto(JobLog& log) const;
  bool isOpen() const { return capturing_ ? captureOpen_ : file_.isOpen(); }
  // Text as given, into the file only.
  void write(std::string_view text);
  // An error line (ending in CR LF) into the file and onto the error stream.
  void error(std::string_view line);
  void close() { file_.close(); }

 private:
  struct Entry {
    bool error;
    std::string text;
  };

  OutputFile file_{64 * 1024};
  std::FILE* errors_;
  bool capturing_ = false;
  bool captureOpen_ = false;
  std::vector<Entry> captured_;
};

// Local date and time for log lines, in the user's date order: order '1'
// "dd.mm.yyyy hh:mm:ss" with fixed dots, '0' month first and '2' year first
// with the user's separator.
std::string formatLogTime(const std::tm& time, char dateOrder, char dateSeparator);
std::string formatLogTimeNow(char dateOrder, char dateSeparator);

}  // namespace tabrix
