// The stored settings and history: what a first run starts from, what is
// restored, the history's rules, damaged files, concurrent saves, and a run of
// the tabrix executable whose switches become the next run's defaults.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/switch_words.h"
#include "cli/usage.h"
#include "settings/history.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "support/result_check.h"
#include "support/temp_folder.h"

namespace tabrix {
namespace {

using test::succeeded;
using test::TempFolder;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Loaded {
  ConversionOptions options;
  ShellSettings shell;
  History history;
};

Loaded load(const RegistryValues& values) {
  Loaded loaded;
  loaded.options.delimiter.clear();
  loadSettings(values, loaded.options, loaded.shell);
  loaded.history = loadHistory(values);
  return loaded;
}

// The values a run saves, as the text the file holds.
RegistryValues saved(const Loaded& run) {
  RegistryValues values;
  saveSettings(values, run.options, run.shell, run.history);
  return RegistryValues::parse(values.serialise());
}

History pairs(int count) {
  History history;
  for (int i = count; i >= 1; --i) history.addRecent({"/data/src" + std::to_string(i), "/out/dst" + std::to_string(i)});
  return history;
}

TEST(StoredSettings, FirstRunStartsFromTheDefaultsAndStoresThem) {
  const Loaded first = load(RegistryValues::parse(""));
  EXPECT_EQ(first.options.sqlDialect, SqlDialect::MySql);
  EXPECT_TRUE(first.options.exportFieldNames);
  EXPECT_TRUE(first.options.openWhenDone);
  EXPECT_FALSE(first.options.utf8 || first.options.insertWithColumnNames || first.options.keepFileDate ||
               first.options.quoteAllFields);
  EXPECT_EQ(first.options.delimiter, "");
  EXPECT_EQ(first.shell.lastExportType, 0);
  EXPECT_TRUE(first.history.empty());

  const std::string text = saved(first).serialise();
  for (const char* line : {"\"RECENTS\"=hex:00,00,00,00\n", "\"SQLTYPE\"=dword:00000002\n", "\"Enames\"=dword:00000001\n",
                           "\"OPEN\"=dword:00000001\n", "\"UTF8\"=dword:00000000\n", "\"DELIM\"=\"\"\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
}

TEST(StoredSettings, RestoresWhatFitsItsSetting) {
  Loaded run = load(RegistryValues::parse(""));
  run.options.delimiter = "space";
  run.options.sqlDialect = SqlDialect::PostgreSql;
  run.options.utf8 = true;
  run.shell.lastExportType = 12;
  run.shell.sourceFolder = "/home/u/tables with \"quotes\" and \\";
  const Loaded next = load(saved(run));
  EXPECT_EQ(next.options.delimiter, "space");
  EXPECT_EQ(next.options.sqlDialect, SqlDialect::PostgreSql);
  EXPECT_TRUE(next.options.utf8);
  EXPECT_EQ(next.shell.lastExportType, 12);
  EXPECT_EQ(next.shell.sourceFolder, run.shell.sourceFolder);

  run.options.delimiter = "sixsix";  // six characters do not fit a delimiter
  EXPECT_EQ(load(saved(run)).options.delimiter, "");
}

TEST(StoredSettings, KeepsUnknownValuesAndTheirTypes) {
  const std::string text =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\tabrix]\n"
      "\"Window\"=hex:01,02,ff\n\"Other\"=hex(7):41,00,00\n\"Note\"=\"a\\\\b\"\n\"Count\"=dword:0000ffff\n";
  Loaded run = load(RegistryValues::parse(text));
  RegistryValues values = RegistryValues::parse(text);
  saveSettings(values, run.options, run.shell, run.history);
  EXPECT_EQ(values.serialise().substr(0, text.size()), text);
}

TEST(StoredSettings, ValuesOfTheWrongTypeAreReadByTheirBytes) {
  // Each setting reads the stored bytes whatever their type, within its
  // size; out of range, or too long, the default stays.
  const Loaded run = load(RegistryValues::parse(
      "\"DELIM\"=dword:0000003b\n\"UTF8\"=hex:01\n\"SQLTYPE\"=\"4\"\n\"Enames\"=hex:00,00,00,00,00\n"
      "\"LASTEXPORTTYPE\"=dword:ffffffff\n\"RECENTS\"=\"\"\n"));
  EXPECT_EQ(run.options.delimiter, ";");
  EXPECT_TRUE(run.options.utf8);
  EXPECT_EQ(run.options.sqlDialect, SqlDialect::MySql);  // "4" and its zero are 0x0034 over 2
  EXPECT_TRUE(run.options.exportFieldNames);
  EXPECT_EQ(run.shell.lastExportType, 0);
  EXPECT_TRUE(run.history.empty());
}

TEST(StoredHistory, AddsAPairUnlessItIsTheFirstAlready) {
  RegistryValues values;
  History history;
  updateHistoryAfterWizard(values, history, "a.dbf", "a.csv");
  updateHistoryAfterWizard(values, history, "a.dbf", "a.csv");
  EXPECT_EQ(history.size(), 1u);
  updateHistoryAfterWizard(values, history, "b.dbf", "b.csv");
  updateHistoryAfterWizard(values, history, "a.dbf", "a.csv");
  updateHistoryAfterWizard(values, history, "", "c.csv");  // no source recorded
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(values.readText("SRC0", 255), "a.dbf");
  EXPECT_EQ(values.readText("DST1", 255), "b.csv");
  EXPECT_EQ(values.readText("SRC2", 255), "a.dbf");
  EXPECT_FALSE(values.find("SRC3"));
}

TEST(StoredHistory, TwentyFirstPairPushesTheOldestOut) {
  RegistryValues values;
  History history;
  for (int i = 20; i >= 1; --i)
    updateHistoryAfterWizard(values, history, "/data/src" + std::to_string(i), "/out/dst" + std::to_string(i));
  updateHistoryAfterWizard(values, history, "/new.dbf", "/new.csv");
  Loaded run;
  saveSettings(values, run.options, run.shell, history);
  const History reloaded = loadHistory(RegistryValues::parse(values.serialise()));
  ASSERT_EQ(reloaded.size(), 20u);
  EXPECT_EQ(reloaded.pairs()[0].source, "/new.dbf");
  EXPECT_EQ(reloaded.pairs()[1].output, "/out/dst1");
  EXPECT_EQ(reloaded.pairs()[19].source, "/data/src19");
  EXPECT_EQ(reloaded.pairs()[19].output, "/out/dst19");
}

TEST(StoredHistory, ClearingEmptiesTheValuesAndKeepsThem) {
  RegistryValues values;
  History history = pairs(2);
  updateHistoryAfterWizard(values, history, "c.dbf", "c.csv");
  clearHistory(values, history);
  Loaded run;
  saveSettings(values, run.options, run.shell, history);
  const std::string text = values.serialise();
  EXPECT_NE(text.find("\"RECENTS\"=hex:00,00,00,00\n"), std::string::npos);
  for (const char* name : {"SRC0", "DST0", "SRC1", "DST1", "SRC2", "DST2"})
    EXPECT_NE(text.find(std::string("\"") + name + "\"=\"\"\n"), std::string::npos) << name;
}

TEST(StoredHistory, ExportWritesOneLinePerPairAndCutsAnOlderFile) {
  TempFolder folder;
  const std::string path = folder.write("history.txt", std::string(500, 'x'));
  ASSERT_TRUE(succeeded(exportHistory(pairs(3), path)));
  EXPECT_EQ(readFile(path), "/data/src1,/out/dst1\r\n/data/src2,/out/dst2\r\n/data/src3,/out/dst3\r\n");
  EXPECT_FALSE(exportHistory(pairs(1), folder.at("missing/history.txt")));
}

// Every prefix of a real file, and random bytes: nothing stops the load,
// and each setting is either what was stored or its default.
TEST(DamagedSettings, TruncatedOrRandomFilesLoadWhatIsWhole) {
  Loaded full = load(RegistryValues::parse(""));
  full.options.delimiter = ";";
  full.options.sqlDialect = SqlDialect::Oracle;
  full.options.exportFieldNames = false;
  full.options.utf8 = true;
  full.shell.lastOutput = "/out/last.csv";
  RegistryValues values;
  const History twenty = pairs(20);
  for (const HistoryPair& pair : twenty.pairs()) updateHistoryAfterWizard(values, full.history, pair.source, pair.output);
  saveSettings(values, full.options, full.shell, full.history);
  const std::string text = values.serialise();
  const Loaded defaults = load(RegistryValues::parse(""));
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Loaded run = load(RegistryValues::parse(std::string_view(text).substr(0, cut)));
    EXPECT_TRUE(run.options.delimiter == ";" || run.options.delimiter.empty());
    EXPECT_TRUE(run.options.sqlDialect == SqlDialect::Oracle || run.options.sqlDialect == SqlDialect::MySql);
    EXPECT_TRUE(run.shell.lastOutput == "/out/last.csv" || run.shell.lastOutput.empty());
    ASSERT_LE(run.history.size(), 20u);
    for (size_t i = 0; i < run.history.size(); ++i) {
      const HistoryPair& pair = run.history.pairs()[i];
      EXPECT_TRUE(pair.source.empty() || pair.source == full.history.pairs()[i].source);
      EXPECT_TRUE(pair.output.empty() || pair.output == full.history.pairs()[i].output);
    }
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string noise(random() % 300, '\0');
    for (char& c : noise) c = static_cast<char>(random() % 4 ? random() % 256 : "\"=:,\n"[random() % 5]);
    const Loaded run = load(RegistryValues::parse(noise));
    EXPECT_LE(static_cast<int>(run.options.sqlDialect), 4);
    EXPECT_LE(run.history.size(), 20u);
    EXPECT_LE(run.options.delimiter.size(), 5u);
  }
}

TEST(DamagedSettings, AnUnreadableOrBinaryFileIsNoFailureToParse) {
  TempFolder folder;
  RegistryValues values;
  EXPECT_TRUE(succeeded(readSettingsFile(folder.at("missing.reg"), values)));
  EXPECT_FALSE(readSettingsFile(folder.path(), values));  // a folder
  constexpr char kBinary[] = "\0\xff\r\n\"UTF8\"=dword:00000001\n\x01";
  const std::string binary = folder.write("binary.reg", std::string(kBinary, sizeof kBinary - 1));
  ASSERT_TRUE(succeeded(readSettingsFile(binary, values)));
  EXPECT_TRUE(load(values).options.utf8);
}

// Two processes each save 200 times over one file while it is read: every
// read finds one whole version.
TEST(SettingsFile, ConcurrentSavesLeaveOneWholeFile) {
  TempFolder folder;
  const std::string path = folder.at("config/tabrix/settings.reg");
  RegistryValues versions[2];
  for (int v = 0; v < 2; ++v) {
    for (int i = 0; i < 300; ++i) versions[v].writeText("VALUE" + std::to_string(i), std::string(40, "ab"[v]));
    versions[v].writeDword("WRITER", static_cast<uint32_t>(v));
  }
  ASSERT_TRUE(succeeded(writeSettingsFile(path, versions[0])));
  pid_t writers[2];
  for (int v = 0; v < 2; ++v) {
    writers[v] = ::fork();
    ASSERT_GE(writers[v], 0);
    if (writers[v] == 0) {
      for (int i = 0; i < 200; ++i)
        if (!writeSettingsFile(path, versions[v])) ::_exit(1);
      ::_exit(0);
    }
  }
  int reads = 0;
  for (bool running = true; running; ++reads) {
    int status = 0;
    running = ::waitpid(writers[0], &status, WNOHANG) == 0 || ::waitpid(writers[1], &status, WNOHANG) == 0;
    const std::string text = readFile(path);
    ASSERT_TRUE(text == versions[0].serialise() || text == versions[1].serialise()) << "read " << reads;
  }
  for (pid_t writer : writers) {
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.at("config/tabrix"))) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST(SettingsFile, LivesWhereTheEnvironmentSays) {
  EXPECT_EQ(settingsFilePath("/tmp/s.reg", "/x", "/home/u"), "/tmp/s.reg");
  EXPECT_EQ(settingsFilePath("", "/x", "/home/u"), "/x/tabrix/settings.reg");
  EXPECT_EQ(settingsFilePath(nullptr, "relative", "/home/u"), "/home/u/.config/tabrix/settings.reg");
  EXPECT_EQ(settingsFilePath(nullptr, nullptr, nullptr), "");
}

TEST(Usage, NamesEverySwitch) {
  const std::string usage = usageText();
  for (const KnownSwitch& known : knownSwitches())
    EXPECT_NE(usage.find(std::string(known.text)), std::string::npos) << known.text;
}

// The tabrix executable, with its settings in a temporary folder.
class TabrixRun : public ::testing::Test {
 protected:
  int run(const std::string& words, const std::string& settings) {
    const std::string command = "cd " + folder_.path() + " && TABRIX_SETTINGS=" + settings + " LC_ALL=C " +
                                TABRIX_EXECUTABLE + " " + words + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string at(const std::string& name) const { return folder_.at(name); }
  TempFolder folder_;
  const std::string table_ = TABRIX_SAMPLE_TABLE;
};

TEST_F(TabrixRun, SwitchesOfOneRunAreTheNextRunsDefaults) {
  ASSERT_EQ(run(table_ + " first.sql /utf8 /POSTGRESQL", at("kept.reg")), 0);
  ASSERT_EQ(run(table_ + " second.sql", at("kept.reg")), 0);
  ASSERT_EQ(run(table_ + " switches.sql /utf8 /POSTGRESQL", at("fresh.reg")), 0);
  ASSERT_EQ(run(table_ + " plain.sql", at("plain.reg")), 0);
  EXPECT_EQ(readFile(at("second.sql")), readFile(at("switches.sql")));
  EXPECT_NE(readFile(at("plain.sql")), readFile(at("switches.sql")));
  const std::string stored = readFile(at("kept.reg"));
  EXPECT_NE(stored.find("\"UTF8\"=dword:00000001\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"SQLTYPE\"=dword:00000004\n"), std::string::npos) << stored;
}

TEST_F(TabrixRun, DevNullKeepsNoSettings) {
  ASSERT_EQ(run(table_ + " first.sql /utf8 /POSTGRESQL", "/dev/null"), 0);
  ASSERT_EQ(run(table_ + " second.sql", "/dev/null"), 0);
  EXPECT_EQ(readFile(at("err.txt")), "");
  ASSERT_EQ(run(table_ + " fresh.sql", at("fresh.reg")), 0);
  EXPECT_EQ(readFile(at("second.sql")), readFile(at("fresh.sql")));
}

TEST_F(TabrixRun, SettingsThatCannotBeSavedDoNotFailTheConversion) {
  const std::string blocker = folder_.write("blocker", "a file where a folder should be");
  EXPECT_EQ(run(table_ + " out.csv /HDR", blocker + "/tabrix/settings.reg"), 0);
  EXPECT_NE(readFile(at("err.txt")).find("the settings were not saved"), std::string::npos) << readFile(at("err.txt"));
  EXPECT_FALSE(readFile(at("out.csv")).empty());
}

TEST_F(TabrixRun, HistorySwitchesAloneDoTheirWork) {
  folder_.write("kept.reg", "REGEDIT4\n\n\"RECENTS\"=hex:02,00,00,00\n\"SRC0\"=\"a.dbf\"\n\"DST0\"=\"a.csv\"\n"
                            "\"SRC1\"=\"b.dbf\"\n\"DST1\"=\"b.csv\"\n\"Mine\"=\"kept\"\n");
  EXPECT_EQ(run("/historyto:h.txt", at("kept.reg")), 0);
  EXPECT_EQ(readFile(at("h.txt")), "a.dbf,a.csv\r\nb.dbf,b.csv\r\n");
  EXPECT_EQ(run("/clearhistory /historyto:h.txt", at("kept.reg")), 0);
  EXPECT_EQ(readFile(at("h.txt")), "");
  EXPECT_EQ(readFile(at("err.txt")), "");
  const std::string stored = readFile(at("kept.reg"));
  EXPECT_NE(stored.find("\"SRC1\"=\"\"\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"Mine\"=\"kept\"\n"), std::string::npos) << stored;
  EXPECT_EQ(run("/historyto:missing/h.txt", at("kept.reg")), 1);
}

}  // namespace
}  // namespace tabrix
