// Entry point: usage and version, the uninstall page, and a run between one
// load and one save of the stored settings: the locale, the history and its
// switches, a command file, and the command line or, without arguments, the
// wizard (a build without it shows the usage).
#include <fmt/format.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/switch_words.h"
#include "cli/usage.h"
#include "platform/desktop.h"
#include "platform/file.h"
#include "platform/locale_info.h"
#include "settings/history.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#ifdef TABRIX_GUI
#include "ui/run_wizard.h"
#endif

namespace {

using namespace tabrix;

constexpr std::string_view kClearHistory = "/clearhistory";
constexpr std::string_view kHistoryTo = "/historyto:";

bool isHistorySwitch(const std::string& word) {
  return beginsWith(word, kClearHistory, Case::Ignore) || beginsWith(word, kHistoryTo, Case::Ignore);
}

// The installed copy of a document, else the one beside a build.
std::string documentPath(const char* argv0, const std::string& name) {
  const std::string folder = programFolder(argv0);
  const std::string installed = folder + "../share/doc/tabrix/" + name;
  return pathKind(installed) == PathKind::Regular ? installed : folder + "docs/" + name;
}

struct StoredSettings {
  std::string path;
  RegistryValues values;
  bool replaceable = false;  // read, or missing: saving loses nothing
};

// A file that exists but cannot be read is left alone: replacing it would
// lose what it holds. A device (/dev/null) keeps nothing: such a run starts
// from the defaults and stores nothing.
StoredSettings readStoredSettings() {
  StoredSettings stored;
  stored.path = settingsFilePath();
  if (stored.path.empty() || pathKind(stored.path) == PathKind::Other) return stored;
  if (const Result read = readSettingsFile(stored.path, stored.values); !read) {
    fmt::print(stderr, "{}:{}; the stored settings are not used and not replaced\n", stored.path, read.reason());
    return stored;
  }
  stored.replaceable = true;
  return stored;
}

// "/clearhistory", then "/historyto:FILE" (the first such word). False when
// the export failed.
bool runHistorySwitches(const std::vector<std::string>& words, StoredSettings& stored, History& history) {
  for (const std::string& word : words)
    if (beginsWith(word, kClearHistory, Case::Ignore)) {
      clearHistory(stored.values, history);
      break;
    }
  for (const std::string& word : words) {
    if (!beginsWith(word, kHistoryTo, Case::Ignore)) continue;
    const std::string file = word.substr(kHistoryTo.size());
    if (const Result exported = exportHistory(history, file); !exported) {
      fmt::print(stderr, "{}:{}\n", file, exported.reason());
      return false;
    }
    break;
  }
  return true;
}

int runWords(std::vector<std::string> words, StoredSettings& stored, ConversionOptions& options, History& history) {
  const bool exported = runHistorySwitches(words, stored, history);
  if (std::all_of(words.begin(), words.end(), isHistorySwitch)) return exported ? kExitConverted : kExitFailed;
  if (words.size() == 1 && words[0][0] == '@') {
    const std::string file = words[0].substr(1);
    words.clear();
    if (const Result read = readCommandFile(file, words); !read) {
      fmt::print(stderr, "{}:{}\n", file, read.reason());
      return kExitNothingToDo;
    }
  }
  const int code = runCommandLine(words, options);
  return code == kExitConverted && !exported ? kExitFailed : code;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.size() == 1 && words[0] == "--version") {
    fmt::print("{}\n", kVersionText);
    return 0;
  }
  if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h" || words[0] == "help")) {
    fmt::print("{}", usageText());
    return 0;
  }
#ifdef TABRIX_GUI
  if (words.empty() && !displayAvailable()) {
    fmt::print(stderr, "tabrix: no display to open the wizard on; give a command line to convert (tabrix --help)\n");
    return kExitNothingToDo;
  }
#else
  if (words.empty()) {
    fmt::print(stderr, "{}", usageText());
    return kExitNothingToDo;
  }
#endif
  if (words.size() == 1 && words[0] == "/uninstall") {
    openWithViewer(documentPath(argv[0], "uninstall.md"));
    return 0;
  }

  ConversionOptions options;
  options.delimiter.clear();  // the stored one, else none chosen yet
  ShellSettings shell;
  StoredSettings stored = readStoredSettings();
  loadSettings(stored.values, options, shell);
  const DateFormat date = localeDateFormat();
  options.dateOrder = date.order;
  options.dateSeparator = date.separator;
  const CodePagePair codePages = environmentCodePages();
  options.ansiCodePage = codePages.ansi;
  options.oemCodePage = codePages.oem;
  History history = loadHistory(stored.values);

#ifdef TABRIX_GUI
  int code = kExitConverted;
  if (words.empty()) {
    WizardContext context{options, shell, history, stored.values, documentPath(argv[0], "wizard.md")};
    const AcceptedPair accepted = runWizard(argc, argv, context);
    updateHistoryAfterWizard(stored.values, history, accepted.source, accepted.output);
  } else {
    code = runWords(words, stored, options, history);
  }
#else
  const int code = runWords(words, stored, options, history);
#endif

  // A settings file that cannot be written costs the next run its defaults,
  // not this run its result.
  if (stored.replaceable) {
    saveSettings(stored.values, options, shell, history);
    if (const Result saved = writeSettingsFile(stored.path, stored.values); !saved)
      fmt::print(stderr, "{}:the settings were not saved: {}\n", stored.path, saved.reason());
  }
  return code;
}
