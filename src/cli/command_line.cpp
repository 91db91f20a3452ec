// The driver reads the switches in a fixed order (later switches override
// earlier ones where they write the same option), resolves the sources and
// the output names, and runs one conversion per source.
#include "cli/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "cli/batch.h"
#include "cli/switch_words.h"
#include "convert/conversion.h"
#include "convert/job_log.h"
#include "dbf/dbf_table.h"
#include "platform/file.h"
#include "select/column_selection.h"
#include "select/field_condition.h"
#include "select/record_sort.h"

namespace tabrix {

namespace {

constexpr const char* kBanner = "Tabrix v7.82\r\n";

bool endsWithIgnoringCase(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && ::strncasecmp(s.data() + s.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

bool containsIgnoringCase(const std::string& s, std::string_view part) {
  if (part.size() > s.size()) return false;
  for (size_t i = 0; i + part.size() <= s.size(); ++i)
    if (::strncasecmp(s.data() + i, part.data(), part.size()) == 0) return true;
  return false;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Switches begin with '/', and so do absolute paths: a word is a path when a
// folder above its name exists.
bool looksLikeSwitch(const std::string& word) {
  if (word.empty() || word[0] != '/') return false;
  const size_t slash = word.rfind('/');
  return slash == 0 || !isDirectory(word.substr(0, slash));
}

// Console progress: "Converted N%" overwritten in place while it changes.
class ConsoleProgress final : public ConversionObserver {
 public:
  explicit ConsoleProgress(std::FILE* out) : out_(out) {}
  void progress(uint64_t current, uint64_t total) override {
    if (total == 0) return;
    const int percent = static_cast<int>(current * 100 / total);
    if (percent == last_) return;
    last_ = percent;
    fmt::print(out_, "Converted {}%{}", percent, current == total ? "\r\n" : "\r");
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  int last_ = -1;
};

// What the arguments of the line say.
struct Arguments {
  std::string source;  // a table, a pattern, or the "/LIST:" word
  std::string output;
  std::vector<std::string> expandedSources;  // a wildcard the shell expanded
  std::vector<std::string> switchWords;
};

Arguments splitArguments(const std::vector<std::string>& words) {
  Arguments a;
  size_t leadingTables = 0;
  while (leadingTables < words.size() && endsWithIgnoringCase(words[leadingTables], ".dbf")) ++leadingTables;
  size_t used;
  if (leadingTables >= 2 && leadingTables < words.size() && !looksLikeSwitch(words[leadingTables])) {
    a.expandedSources.assign(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(leadingTables));
    a.source = words[0];
    a.output = words[leadingTables];
    used = leadingTables + 1;
  } else {
    if (!words.empty()) a.source = words[0];
    used = words.empty() ? 0 : 1;
    if (words.size() > 1 && !looksLikeSwitch(words[1])) {
      a.output = words[1];
      used = 2;
    }
  }
  if (!words.empty() && ::strncasecmp(words[0].c_str(), "/LIST:", 6) == 0) a.switchWords.push_back(words[0]);
  a.switchWords.insert(a.switchWords.end(), words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
  return a;
}

class Run {
 public:
  Run(const std::vector<std::string>& words, ConversionOptions& o, ConsoleStreams io)
      : args_(splitArguments(words)), sw_(args_.switchWords), o_(o), io_(io), log_(io.err) {
    o_.logFile = &log_;
  }
  ~Run() { o_.logFile = nullptr; }

  int execute();

 private:
  void readGeneralSwitches();
  void openLog();
  bool resolveOutput();
  void readRemainingSwitches();
  void convertOne(const std::string& source);
  int finish(int code);
  // A line for the log (when open) and stderr.
  void error(const std::string& line) { log_.error(line); }
  void logLine(const std::string& line) {
    if (log_.isOpen()) log_.write(line);
  }

  Arguments args_;
  SwitchWords sw_;
  ConversionOptions& o_;
  ConsoleStreams io_;
  JobLog log_;
  bool console_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

  std::vector<std::string> sources_;
  bool fromList_ = false;
  bool wildcard_ = false;
  bool folderForm_ = false;
  bool outputPerSource_ = false;
  bool recurse_ = false;
  std::string searchedFolder_;
  std::string extension_;
  std::string targetFolder_;
  OutputFormat savedFormat_ = OutputFormat::DBase3;
  bool failed_ = false;
  bool anyConverted_ = false;
};

// Switches that only turn an option on. Their order does not matter: no two
// of them write the same option.
struct FlagSwitch {
  const char* text;
  bool ConversionOptions::*option;
};
constexpr FlagSwitch kFlagSwitches[] = {
    {"/rowid", &ConversionOptions::addRowId},
    {"/add", &ConversionOptions::appendToOutput},
    {"/skipseconds", &ConversionOptions::skipSeconds},
    {"/keepdate", &ConversionOptions::keepFileDate},
    {"/dec0", &ConversionOptions::dropDecimals},
    {"/savelb", &ConversionOptions::keepLineBreaks},
    {"/tagdeleted", &ConversionOptions::tagDeleted},
    {"/addtoexist", &ConversionOptions::addToExisting},
    {"/ANSI", &ConversionOptions::sourceIsAnsi},
    {"/insertwithcolumns", &ConversionOptions::insertWithColumnNames},
    {"/EXCLUDE", &ConversionOptions::excludeColumns},
    {"/REVERSE", &ConversionOptions::reverseOrder},
    {"/NOTRIM", &ConversionOptions::noTrim},
    {"/hdrlowercase", &ConversionOptions::fieldNamesLowercase},
    {"/hdrcapcase", &ConversionOptions::fieldNamesCapitalised},
    {"/ignorecase", &ConversionOptions::sortIgnoreCase},
    {"/TOOEM", &ConversionOptions::outputOem},
    {"/SKIPEMPTY", &ConversionOptions::skipEmpty},
    {"/ONLYSTRUCTURE", &ConversionOptions::onlyStructure},
    {"/utf8", &ConversionOptions::utf8},
    {"/ASXML", &ConversionOptions::excelAsXml},
    {"/ASFORM", &ConversionOptions::htmlAsForm},
    {"/NUMBER", &ConversionOptions::htmlRecordNumber},
};

void Run::readGeneralSwitches() {
  for (const FlagSwitch& flag : kFlagSwitches)
    if (sw_.has(flag.text)) o_.*flag.option = true;
  if (auto v = sw_.value("/roottag:")) o_.xmlRootTag = trimmed(*v);
  if (auto v = sw_.value("/recordtag:")) o_.xmlRecordTag = trimmed(*v);
  if (sw_.has("/loglevel:1")) o_.logLevel = 1;
  if (sw_.has("/createonly")) {
    o_.createOnly = true;
    o_.exportFieldNames = true;
  }
  if (sw_.has("/nohdr")) o_.writeHeaderRow = false;
  if (auto v = sw_.value("/sheetname:")) o_.sheetName = *v;
  if (sw_.has("/outtypes2")) o_.fieldTypesInHeader = 2;
  else if (sw_.has("/outtypes")) o_.fieldTypesInHeader = 1;
}

void Run::openLog() {
  if (!sw_.has("/LOG")) return;
  std::string path = "tabrix.log";
  if (auto v = sw_.value("/LOG"); v && !v->empty() && (*v)[0] == ':') path = v->substr(1);
  if (!log_.open(path, sw_.has("/logappend"))) {
    fmt::print(io_.err, "{}:{}\n", path, std::strerror(errno));
    return;
  }
  log_.write(kBanner);
}

bool Run::resolveOutput() {
  wildcard_ = args_.source.find_first_of("*?") != std::string::npos && !fromList_;
  const bool manySources = wildcard_ || !args_.expandedSources.empty();
  std::tm now{};
  const std::time_t t = std::time(nullptr);
  localtime_r(&t, &now);
  args_.source = expandTimePlaceholders(expandDatePlaceholders(args_.source, now), now);
  args_.output = expandTimePlaceholders(expandDatePlaceholders(args_.output, now), now);

  folderForm_ = fromList_ || (manySources && sw_.has("/TO"));
  if (!folderForm_) {
    const size_t nameStart = args_.output.rfind('/') == std::string::npos ? 0 : args_.output.rfind('/') + 1;
    const size_t dot = args_.output.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && dot + 1 < args_.output.size()) {
      extension_ = args_.output.substr(dot + 1, 4);
      args_.output.resize(dot + 1 + extension_.size());
      if (lower(extension_) == "html") extension_ = "htm";
    }
    if (manySources) o_.appendToOutput = true;
  } else {
    if (auto v = sw_.value("/TO")) {
      std::string ext = v->substr(0, 4);
      while (!ext.empty() && ext.back() == ' ') ext.pop_back();
      extension_ = lower(ext);
    }
    targetFolder_ = args_.output;
    if (!targetFolder_.empty() && targetFolder_.back() != '/') targetFolder_ += '/';
    outputPerSource_ = !o_.appendToOutput;
  }
  if (extension_.empty()) {
    error("Not valid output format\r\n");
    return false;
  }
  OutputFormat format;
  if (outputFormatForExtension(extension_, format)) o_.outputFormat = format;
  savedFormat_ = o_.outputFormat;
  if (sw_.has("/recurse") && wildcard_) {
    recurse_ = true;
    searchedFolder_ = patternFolder(args_.source);
    collectTablesRecursively(searchedFolder_, sources_);
  }
  return true;
}

void Run::readRemainingSwitches() {
  if (auto v = sw_.value("/FILTER2:")) parseInlineConditions(*v, o_.fieldConditions);
  if (auto v = sw_.value("/FILTER:")) {
    std::string reason;
    const std::string path = trimmed(*v);
    if (!readFieldConditions(path, o_.fieldConditions, reason)) error(fmt::format("{}:{}\r\n", path, reason));
  }
  if (auto v = sw_.value("/COLUMNSLIST:")) {
    std::string reason;
    if (!readColumnsList(*v, o_.columnList, o_.columnTitles, reason)) error(fmt::format("{}:{}\r\n", *v, reason));
  }
  if (auto v = sw_.value("/COLUMNS:")) parseColumnItems(*v, o_.columnList, o_.columnTitles);
  if (auto v = sw_.value("/WFILTER:")) o_.wordFilter = upper(trimmed(*v));
  if (auto n = sw_.number("/go:")) {
    o_.sqlAddGo = true;
    o_.sqlGoEvery = *n > 0 ? static_cast<int>(std::min<long long>(*n, 1 << 30)) : 100;
  } else if (sw_.has("/go")) {
    o_.sqlAddGo = true;
  }
  if (sw_.has("/ORACLE")) o_.sqlDialect = SqlDialect::Oracle;
  if (sw_.has("/MYSQL")) o_.sqlDialect = SqlDialect::MySql;
  if (sw_.has("/SQL2000") || sw_.has("/MSSQL")) o_.sqlDialect = SqlDialect::MsSql;
  if (sw_.has("/POSTGRESQL")) o_.sqlDialect = SqlDialect::PostgreSql;
  if (!o_.createOnly) o_.exportFieldNames = false;
  if (sw_.has("/HDR")) o_.exportFieldNames = true;
  const struct {
    const char* text;
    uint8_t version;
  } versions[] = {{"/DBASE3", 0x03}, {"/DBASE4", 0x43}, {"/VFP", 0x30}, {"/dbase7", 0x04}};
  for (const auto& v : versions) {
    if (!sw_.has(v.text)) continue;
    o_.dbfVersion = v.version;
    o_.keepSourceDbfVersion = false;
  }
  if (auto v = sw_.value("/SORTBY:")) {
    o_.sortFieldName = trimmed(*v);
    o_.sortEnabled = !o_.sortFieldName.empty();
  }
  if (sw_.has("/DESC")) o_.sortAscending = false;
  if (sw_.has("/OEM") || sw_.has("/TOOEM")) o_.sourceIsOem = true;
  if (sw_.has("/SKIPD")) o_.skipDeleted = true;
  // Deleted records are left out by default for every recognised format.
  if (static_cast<int>(o_.outputFormat) > 3) o_.skipDeleted = true;
  if (sw_.has("/EXPORTALL")) o_.skipDeleted = false;
  if (sw_.has("/ONLYDELETED")) {
    o_.onlyDeleted = true;
    o_.skipDeleted = false;
  }
  if (sw_.has("/LF")) o_.rowDelimiter = "\n";
  const bool sql = o_.outputFormat == OutputFormat::Sql;
  o_.quoteChar = sql ? '\'' : '\0';
  if (sw_.has("/SINGLEQUOTA")) o_.quoteChar = '\'';
  if (sw_.has("/DOUBLEQUOTA")) o_.quoteChar = '"';
  if (sw_.has("/ALLQUOTAS")) {
    o_.quoteAllFields = true;
    if (!sql) o_.quoteChar = '"';
  }
  if (auto n = sw_.number("/MAXPERPAGE=")) {
    o_.htmlMaxPerPage = static_cast<int>(std::clamp<long long>(*n, 0, 1 << 30));
    o_.htmlPaging = *n != 0;
  }
  if (auto v = sw_.value("/TITLE=")) o_.htmlTitle = *v;
  if (auto v = sw_.value("/COLOR=", Case::Match)) o_.htmlTextColor = *v;
  if (auto v = sw_.value("/BACKGROUND=", Case::Match)) o_.htmlBackground = *v;
  if (auto n = sw_.number("/BORDER=", Case::Match)) o_.htmlBorder = static_cast<int>(std::clamp<long long>(*n, 0, 1000));
  if (auto n = sw_.number("/last:")) o_.lastRecords = std::max<long long>(*n, 0);
  // A TSV output is tab-separated unless a delimiter is given.
  o_.delimiter = o_.outputFormat == OutputFormat::Tsv ? "\t" : ",";
  if (auto v = sw_.value("/SEP")) {
    const std::string word = lower(*v);
    if (word == "pipe") o_.delimiter = "|";
    else if (word == "tab") o_.delimiter = "\t";
    else if (word == "space") o_.delimiter = " ";
    else if (!v->empty()) o_.delimiter = *v;
  }
}

void Run::convertOne(const std::string& source) {
  std::string output = args_.output;
  if (folderForm_ && outputPerSource_) output = outputNameFor(targetFolder_, source, extension_, recurse_ ? searchedFolder_ : "");
  o_.outputPath = output;
  const std::string sourceLine =
      fmt::format("{} source file: {} out file:{}\r\n", formatLogTimeNow(o_.dateOrder, o_.dateSeparator), source, output);
  if (console_) fmt::print(io_.out, "{}", sourceLine);
  else if (o_.logLevel != 1) logLine(sourceLine);

  DbfTable table;
  std::string reason;
  TableOpenOptions open;
  open.sourceIsOem = o_.sourceIsOem;
  open.sourceIsAnsi = o_.sourceIsAnsi;
  if (!table.open(source, open, reason)) {
    error(fmt::format("{}:{}\r\n", source, reason));
    failed_ = true;
  } else {
    applyColumnList(table, o_.columnList, o_.columnTitles, o_.excludeColumns);
    if (o_.sortEnabled) {
      o_.sortField = resolveSortField(table, o_.sortFieldName);
      // A name that matches no field leaves this and the later tables unsorted.
      if (o_.sortField < 0) o_.sortEnabled = false;
    }
    ConsoleProgress progress(io_.out);
    const ConversionResult result = runConversion(o_, table, console_ ? &progress : nullptr);
    table.close();
    if (!result.ok) failed_ = true;
    else anyConverted_ = true;
    if (result.ok && sw_.has("/rmsrc") && ::unlink(source.c_str()) != 0)
      error(fmt::format("{}:{}\r\n", source, std::strerror(errno)));
  }
  o_.outputFormat = savedFormat_;
  o_.firstAppendedJob = false;
  if (o_.appendToOutput) o_.addToExisting = true;
}

int Run::finish(int code) {
  if (sw_.has("/tm", Case::Match) && (log_.isOpen() || console_)) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    const std::string line = fmt::format("\ntime {} ms", ms.count());
    if (log_.isOpen()) log_.write(line);
    else fmt::print(io_.out, "{}\n", line);
  }
  log_.close();
  return code;
}

int Run::execute() {
  o_.quoteChar = '\0';
  o_.commandLineMode = true;
  o_.keepSourceDbfVersion = true;
  readGeneralSwitches();
  if (auto list = sw_.value("/LIST:")) {
    fromList_ = true;
    std::string reason;
    if (!readSourceList(*list, sources_, reason)) fmt::print(io_.err, "{}:{}\n", *list, reason);
  }
  openLog();
  if (sw_.has("/console")) {
    console_ = true;
    fmt::print(io_.out, "{}", kBanner);
  }
  const bool namesTable = std::any_of(sw_.words().begin(), sw_.words().end(),
                                      [](const std::string& w) { return containsIgnoringCase(w, ".dbf"); }) ||
                          containsIgnoringCase(args_.source, ".dbf") || containsIgnoringCase(args_.output, ".dbf") ||
                          !args_.expandedSources.empty();
  if (!namesTable && sources_.empty()) {
    error("No dbf file in the command line\r\n");
    return finish(kExitNothingToDo);
  }
  if (args_.output.empty()) {
    fmt::print(io_.err, "Give a table and an output: tabrix TABLE.dbf OUTPUT.csv [switches]\n");
    return finish(kExitNothingToDo);
  }
  if (!resolveOutput()) return finish(kExitNothingToDo);
  readRemainingSwitches();

  if (!args_.expandedSources.empty() && !fromList_) {
    sources_ = args_.expandedSources;
    o_.batchMode = true;
  } else if (wildcard_ && !recurse_) {
    o_.batchMode = true;
    sources_ = listMatches(args_.source);
    if (sources_.empty()) {
      error(fmt::format("{}: files not found\r\n", args_.source));
      return finish(kExitNothingToDo);
    }
  } else if (!fromList_ && !recurse_) {
    sources_ = {args_.source};
  }
  if (o_.appendToOutput) o_.firstAppendedJob = true;
  for (const std::string& source : sources_) convertOne(source);
  if (failed_) return finish(kExitFailed);
  return finish(anyConverted_ || !sources_.empty() ? kExitConverted : kExitNothingToDo);
}

}  // namespace

int runCommandLine(const std::vector<std::string>& words, ConversionOptions& options, ConsoleStreams streams) {
  Run run(words, options, streams);
  return run.execute();
}

bool readCommandFile(const std::string& path, std::vector<std::string>& words, std::string& error) {
  std::vector<std::string> lines;
  if (!readTextLines(path, lines, error)) return false;
  std::string line = lines.empty() ? std::string() : lines[0];
  if (line.size() > 2047) line.resize(2047);
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return true;
}

}  // namespace tabrix
