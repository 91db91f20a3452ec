#pragma once
// The command-line driver: switches into ConversionOptions, the sources and
// outputs of the single, wildcard, list and folder forms, the log and the
// console, and one conversion per source.
#include <cstdio>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "util/result.h"

namespace tabrix {

// Exit codes of a run.
enum ExitCode : int {
  kExitConverted = 0,     // every source converted
  kExitFailed = 1,        // a source or an output failed
  kExitNothingToDo = 2,   // nothing was converted: no table, no format, no match
};

struct ConsoleStreams {
  std::FILE* out = stdout;  // the console of "/console"
  std::FILE* err = stderr;  // error lines
};

// Runs the words after the program name; options hold the starting values.
int runCommandLine(const std::vector<std::string>& words, ConversionOptions& options,
                   ConsoleStreams streams = {});

// The words of a command file's first line: blanks separate, double quotes
// group and are removed. A failure carries the system's text when the file
// cannot be read.
Result readCommandFile(const std::string& path, std::vector<std::string>& words);

}  // namespace tabrix
