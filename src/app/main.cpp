// Entry point: usage and version, the uninstall page, command files, and the
// command line. Without arguments the wizard would open; this build has none.
#include <unistd.h>

#include <fmt/format.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
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
             "Outputs by extension: .txt .csv .tsv .sdf .dbf .prg .sql .htm .xml .json .rtf, .xls/.xlsx with /ASXML.\n"
             "Switches are described in docs/command-line.md.\n",
             kVersionText);
}

// Opens the uninstall notes with the desktop's viewer; a failure is silent.
void openUninstallPage(const char* program) {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(program);
  folder = folder.substr(0, folder.rfind('/') + 1);
  const std::string page = folder + "docs/uninstall.md";
  if (::fork() == 0) {
    ::setsid();
    ::execlp("xdg-open", "xdg-open", page.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
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
    openUninstallPage(argv[0]);
    return 0;
  }
  if (words.size() == 1 && words[0][0] == '@') {
    const std::string file = words[0].substr(1);
    words.clear();
    std::string error;
    if (!tabrix::readCommandFile(file, words, error)) {
      fmt::print(stderr, "{}:{}\n", file, error);
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
