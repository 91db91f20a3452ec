// Entry point: usage and version, the uninstall page, command files, and the
// command line. Without arguments the wizard would open; this build has none.
#include <fmt/format.h>

#include <clocale>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "convert/output_formats.h"
#include "platform/desktop.h"
#include "platform/locale_info.h"

namespace {

constexpr const char* kVersionText = "Tabrix v7.82";

void printUsage(std::FILE* out) {
  fmt::print(out,
             "{}\n"
             "Usage: tabrix SOURCE.dbf OUTPUT.ext [switches]\n"
             "       tabrix \"PATTERN*.dbf\" OUTPUT.ext [switches]      all matching tables into one output\n"
             "       tabrix \"PATTERN*.dbf\" FOLDER /TOext [/recurse]    one output per table\n"
             "       tabrix /LIST:FILE FOLDER /TOext                    the tables named in FILE\n"
             "       tabrix @COMMANDFILE                                the command line in a file\n"
             "{}\n"
             "Text is read in the code page of /CP:n (e.g. /CP:1251, /CP:866, /CP:936); else with /ANSI in\n"
             "yours; else in the one the table's mark names; else with /OEM in your OEM page; else in yours\n"
             "(TABRIX_ANSI_CP, TABRIX_OEM_CP or the locale).\n"
             "Switches are described in docs/command-line.md.\n",
             kVersionText, tabrix::outputFormatsUsage());
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.size() == 1 && words[0] == "--version") {
    fmt::print("{}\n", kVersionText);
    return 0;
  }
  if (words.size() == 1 && words[0] == "--help") {
    printUsage(stdout);
    return 0;
  }
  if (words.empty()) {
    printUsage(stderr);
    return tabrix::kExitNothingToDo;
  }
  if (words.size() == 1 && words[0] == "/uninstall") {
    tabrix::openWithViewer(tabrix::programFolder(argv[0]) + "docs/uninstall.md");
    return 0;
  }
  if (words.size() == 1 && words[0][0] == '@') {
    const std::string file = words[0].substr(1);
    words.clear();
    if (const tabrix::Result read = tabrix::readCommandFile(file, words); !read) {
      fmt::print(stderr, "{}:{}\n", file, read.reason());
      return tabrix::kExitNothingToDo;
    }
  }
  tabrix::ConversionOptions options;
  const tabrix::DateFormat date = tabrix::localeDateFormat();
  options.dateOrder = date.order;
  options.dateSeparator = date.separator;
  const tabrix::CodePagePair codePages = tabrix::environmentCodePages();
  options.ansiCodePage = codePages.ansi;
  options.oemCodePage = codePages.oem;
  return tabrix::runCommandLine(words, options);
}
