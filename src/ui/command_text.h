#pragma once
// The command line that repeats a wizard conversion, word by word, and the
// POSIX shell script that runs it. Free of Qt so it is tested on its own.
#include <string>
#include <vector>

#include "convert/conversion_options.h"

namespace tabrix {

struct CommandChoices {
  std::string program;      // the running executable
  bool folderMode = false;  // source is a folder of tables
  std::string source;       // the table, or the source folder
  std::string output;       // the output file, or in folder mode the output folder or file
  bool columnsChosen = false;  // the Fields dialog was closed with OK and some field excluded
};

struct ComposedCommand {
  std::vector<std::string> words;        // the program first
  std::vector<std::string> unexpressed;  // choices no switch can carry, for the user to read
  // FIELD:condition lines for a "/FILTER:" file, when a condition holds a
  // range or a comma, which "/FILTER2:" cannot carry; the script writes them
  // to a temporary file that the word kConditionsFileWord names.
  std::vector<std::string> conditionLines;
};

// The "/FILTER:" word naming the script's temporary conditions file.
inline constexpr const char* kConditionsFileWord = "/FILTER:$conditions";

// The words of the command line that converts as the wizard would with options.
ComposedCommand composeCommand(const CommandChoices& choices, const ConversionOptions& options);

// word quoted for the POSIX shell when it holds anything but plain letters,
// digits and _@%+=:,./- (spaces, quotes, $, backslashes, non-ASCII bytes).
std::string shellQuoted(const std::string& word);
// The words joined by spaces, each quoted as needed; the conditions file's word stays open to the shell.
std::string shellLine(const std::vector<std::string>& words);
// "#!/bin/sh", the conditions file when there is one, the line, and a line end.
std::string shellScript(const ComposedCommand& command);

}  // namespace tabrix
