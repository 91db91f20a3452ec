// The driver reads the switches in a fixed order (later switches override
// earlier ones where they write the same option), resolves the sources and
// the output names, and runs one conversion per source.
#include "cli/command_line.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli/batch.h"
#include "cli/command_words.h"
#include "cli/switch_words.h"
#include "convert/conversion.h"
#include "convert/job_log.h"
#include "convert/progress_steps.h"
#include "dbf/dbf_table.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "platform/path_lookup.h"
#include "select/column_plan.h"
#include "select/field_condition.h"
#include "select/record_sort.h"
#include "util/ascii.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

constexpr const char* kBanner = "Tabrix v7.82\r\n";

bool containsIgnoringCase(const std::string& s, std::string_view part) {
  if (part.size() > s.size()) return false;
  for (size_t i = 0; i + part.size() <= s.size(); ++i)
    if (equalsIgnoringCase(std::string_view(s).substr(i, part.size()), part)) return true;
  return false;
}

std::string lower(std::string s) {
  for (char& c : s) c = asciiLower(c);
  return s;
}

std::string upper(std::string s) {
  for (char& c : s) c = asciiUpper(c);
  return s;
}

std::string trimmed(std::string_view s) { return std::string(trimBlanks(s)); }

bool isDirectory(const std::string& path) { return pathKind(path) == PathKind::Directory; }

// The outputs written as one stream of text; the others are files with a
// structure that is rewritten or read back while they are made.
bool writesToStandardOutput(OutputFamily family) {
  switch (family) {
    case OutputFamily::Dbf:
    case OutputFamily::Rtf:
    case OutputFamily::Xls:
    case OutputFamily::Xlsx:
    case OutputFamily::Sqlite: return false;
    default: return true;
  }
}

bool isFileOrDevice(const std::string& path) {
  const PathKind kind = pathKind(path);
  return kind == PathKind::Regular || kind == PathKind::Other;
}

// The folder part of a path, empty when it names none.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The memo files beside the run's tables, found without regard to case. Each
// folder is listed once, so a run over a large folder stays linear.
class MemoSiblings {
 public:
  // The table and every sibling a reader might take for its memo file,
  // whatever the table's version says.
  std::vector<std::string> filesOf(const std::string& table) {
    std::vector<std::string> files{table};
    for (const std::string& ext : {std::string("dbt"), std::string("fpt"), std::string("smt"), memoExtensionFor(table, 0x30)}) {
      std::string memo = find(replaceExtension(table, ext));
      if (!memo.empty() && std::find(files.begin(), files.end(), memo) == files.end()) files.push_back(std::move(memo));
    }
    return files;
  }

 private:
  // As findIgnoringCase: the exact name when it exists, else the first match by byte order.
  std::string find(const std::string& path) {
    if (const PathKind kind = pathKind(path); kind != PathKind::Missing)
      return kind == PathKind::Directory ? std::string() : path;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    auto listed = folders_.find(folder);
    if (listed == folders_.end()) listed = folders_.emplace(folder, list(folder)).first;
    const auto match = listed->second.find(lower(path.substr(folder.size())));
    if (match == listed->second.end()) return {};
    const std::string found = folder + match->second;
    return isFileOrDevice(found) ? found : std::string();
  }

  static std::map<std::string, std::string> list(const std::string& folder) {
    std::map<std::string, std::string> names;  // lower-case name to the first name by byte order
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      auto [entry, added] = names.emplace(lower(name), name);
      if (!added && name < entry->second) entry->second = name;
    }
    return names;
  }

  std::map<std::string, std::map<std::string, std::string>> folders_;
};

// Console progress: "Converted N%" overwritten in place while it changes.
class ConsoleProgress final : public ConversionObserver {
 public:
  explicit ConsoleProgress(std::FILE* out) : out_(out) {}
  void progress(uint64_t current, uint64_t total) override {
    if (total == 0 || !percent_.advanced(current, total)) return;
    fmt::print(out_, "Converted {}%{}", percent_.step(), current == total ? "\r\n" : "\r");
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  ProgressSteps percent_{100};
};

// Where one table's conversion reports: the run's own options, log and
// console, or a lane's copies when tables are converted side by side.
struct TableLane {
  ConversionOptions& o;
  JobLog& log;
  std::FILE* out;
};

class Run {
 public:
  Run(const std::vector<std::string>& words, ConversionOptions& o, ConsoleStreams io)
      : args_(splitCommandWords(words, isDirectory)), sw_(args_.switchWords), o_(o), io_(io), log_(io.err) {
    o_.logFile = &log_;
    if (!args_.sources.empty()) sourceArgument_ = args_.sources[0];
  }
  ~Run() { o_.logFile = nullptr; }

  int execute();

 private:
  void readGeneralSwitches();
  void collectSources();
  bool openLog();
  void reportUnknownSwitches();
  bool resolveOutput();
  void readRemainingSwitches();
  std::optional<long long> count(std::string_view text, Case c = Case::Ignore);
  std::string outputFor(const std::string& source) const;
  bool refuseOutputsOnSources();
  bool outputFoldersExist();
  bool databasesMayBeAdded();
  size_t jobCount();
  bool sideBySide(size_t jobs) const;
  void convertOneAtATime();
  void convertSideBySide(size_t jobs);
  bool convertInLane(const std::string& source, TableLane& lane);
  bool convertTable(const std::string& source, bool& warned, TableLane& lane);
  bool checkSelection(DbfTable& table, const std::string& source, bool& warned, TableLane& lane);
  void removeSource(const std::string& source, const std::string& memoPath, TableLane& lane);
  int finish(int code);
  // A line for the log (when open) and stderr.
  void error(const std::string& line) { log_.error(line); }
  // A mistake in the switches: it holds for every table, so no source is removed.
  void warn(const std::string& line) {
    error(line);
    switchWarning_ = true;
  }

  CommandWords args_;
  std::string sourceArgument_;  // the first source word, placeholders expanded
  SwitchWords sw_;
  ConversionOptions& o_;
  ConsoleStreams io_;
  JobLog log_;
  bool console_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

  std::vector<std::string> sources_;
  std::vector<SourceFiles> sourceFiles_;
  std::vector<const char*> conditionSwitch_;  // the switch each field condition came from
  std::vector<const char*> columnSwitch_;     // the switch each column name came from
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
  bool switchWarning_ = false;
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
    {"/ISODATES", &ConversionOptions::isoDates},
    {"/KEEPBINARY", &ConversionOptions::keepBinary},
    {"/JSONTYPES", &ConversionOptions::jsonTypes},
    {"/keepdate", &ConversionOptions::keepFileDate},
    {"/dec0", &ConversionOptions::dropDecimals},
    {"/savelb", &ConversionOptions::keepLineBreaks},
    {"/tagdeleted", &ConversionOptions::tagDeleted},
    {"/addtoexist", &ConversionOptions::addToExisting},
    {"/ANSI", &ConversionOptions::sourceIsAnsi},
    {"/insertwithcolumns", &ConversionOptions::insertWithColumnNames},
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
  if (sw_.has("/EXCLUDE")) o_.columns.exclude = true;
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

// The sources of the run, known before anything is opened: a pattern the
// shell expanded, the tables matching a pattern (below its folder with
// "/recurse"), the list file's tables, or the one table named. The
// placeholders of the source and the output are expanded here, once a run.
void Run::collectSources() {
  const std::tm now = localTimeNow();
  sourceArgument_ = expandTimePlaceholders(expandDatePlaceholders(sourceArgument_, now), now);
  args_.output = expandTimePlaceholders(expandDatePlaceholders(args_.output, now), now);
  wildcard_ = sourceArgument_.find_first_of("*?") != std::string::npos && !fromList_;
  if (fromList_) {
    // read from the list file already
  } else if (args_.sources.size() >= 2) {
    sources_ = args_.sources;
    o_.batchMode = true;
  } else if (wildcard_ && sw_.has("/recurse")) {
    recurse_ = true;
    searchedFolder_ = patternFolder(sourceArgument_);
    collectTablesRecursively(searchedFolder_, sources_);
  } else if (wildcard_) {
    o_.batchMode = true;
    sources_ = listMatches(sourceArgument_);
  } else if (!sourceArgument_.empty()) {
    sources_ = {sourceArgument_};
  }
  MemoSiblings siblings;
  for (const std::string& source : sources_) {
    sourceFiles_.push_back({source, siblings.filesOf(source)});
    o_.protectedPaths.insert(o_.protectedPaths.end(), sourceFiles_.back().files.begin(),
                             sourceFiles_.back().files.end());
  }
}

bool Run::openLog() {
  if (!sw_.has("/LOG")) return true;
  std::string path = "tabrix.log";
  if (auto v = sw_.value("/LOG"); v && !v->empty() && (*v)[0] == ':') path = v->substr(1);
  if (PathClash clash; findClash(sourceFiles_, {path}, isSameFile, clash)) {
    fmt::print(io_.err, "{}:the log would overwrite {}, a file of the source {}; nothing was converted\n", path,
               clash.sourceFile, clash.source);
    return false;
  }
  if (const Result opened = log_.open(path, sw_.has("/logappend")); !opened) {
    fmt::print(io_.err, "{}:{}\n", path, opened.reason());
    return true;
  }
  log_.write(kBanner);
  return true;
}

void Run::reportUnknownSwitches() {
  for (const std::string& word : sw_.words()) {
    if (isKnownSwitch(word)) continue;
    const std::string_view nearest = nearestSwitch(word);
    if (nearest.empty()) warn(fmt::format("Unknown switch {}\r\n", word));
    else warn(fmt::format("Unknown switch {} (did you mean {}?)\r\n", word, nearest));
  }
}

bool Run::resolveOutput() {
  const bool manySources = wildcard_ || args_.sources.size() >= 2;
  folderForm_ = !o_.toStandardOutput && (fromList_ || (manySources && sw_.has("/TO")));
  if (o_.toStandardOutput) {
    // Standard output has no name to take the format from: "/TO" gives it.
    if (auto v = sw_.value("/TO")) extension_ = lower(trimmed(v->substr(0, longestExtensionLength())));
    if (manySources || fromList_) o_.appendToOutput = true;
  } else if (!folderForm_) {
    // The name stays whole ("o.backup"); no more letters than the longest
    // extension has choose the format.
    const size_t nameStart = args_.output.rfind('/') == std::string::npos ? 0 : args_.output.rfind('/') + 1;
    const size_t dot = args_.output.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && dot + 1 < args_.output.size()) {
      extension_ = args_.output.substr(dot + 1, longestExtensionLength());
      if (lower(extension_) == "html") extension_ = "htm";
    }
    if (manySources) o_.appendToOutput = true;
  } else {
    if (auto v = sw_.value("/TO")) {
      std::string ext = v->substr(0, longestExtensionLength());
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
  if (const auto format = outputFormatForExtension(extension_)) o_.outputFormat = *format;
  savedFormat_ = o_.outputFormat;
  if (o_.toStandardOutput && !writesToStandardOutput(familyOf(savedFormat_))) {
    error(fmt::format("-:{} output cannot be written to standard output; name a text format with /TO, such as /TOcsv\r\n",
                      extension_));
    return false;
  }
  return true;
}

// A numeric switch's value; a value that is no count is reported and the
// option keeps its default.
std::optional<long long> Run::count(std::string_view text, Case c) {
  const auto v = sw_.value(text, c);
  if (!v) return std::nullopt;
  if (auto n = parseCount(*v)) return n;
  warn(fmt::format("{}{}:not a whole number of 0 or more, the default is kept\r\n", text, *v));
  return std::nullopt;
}

void Run::readRemainingSwitches() {
  if (auto v = sw_.value("/FILTER2:")) parseInlineConditions(*v, o_.fieldConditions);
  conditionSwitch_.resize(o_.fieldConditions.size(), "/FILTER2:");
  if (auto v = sw_.value("/FILTER:")) {
    const std::string path = trimmed(*v);
    if (const Result read = readFieldConditions(path, o_.fieldConditions); !read)
      error(fmt::format("{}:{}\r\n", path, read.reason()));
  }
  conditionSwitch_.resize(o_.fieldConditions.size(), "/FILTER:");
  if (auto v = sw_.value("/COLUMNSLIST:")) {
    if (const Result read = readColumnsList(*v, o_.columns.names, o_.columns.titles); !read)
      error(fmt::format("{}:{}\r\n", *v, read.reason()));
  }
  columnSwitch_.resize(o_.columns.names.size(), "/COLUMNSLIST:");
  if (auto v = sw_.value("/COLUMNS:")) parseColumnItems(*v, o_.columns.names, o_.columns.titles);
  columnSwitch_.resize(o_.columns.names.size(), "/COLUMNS:");
  if (auto v = sw_.value("/WFILTER:")) o_.wordFilter = upper(trimmed(*v));
  if (sw_.has("/go")) {
    o_.sqlAddGo = true;
    if (auto n = count("/go:")) o_.sqlGoEvery = *n > 0 ? static_cast<int>(std::min<long long>(*n, 1 << 30)) : 100;
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
  if (outputFormatRow(o_.outputFormat).skipsDeleted) o_.skipDeleted = true;
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
  if (auto n = count("/MAXPERPAGE=")) {
    o_.htmlMaxPerPage = static_cast<int>(std::min<long long>(*n, 1 << 30));
    o_.htmlPaging = *n != 0;
  }
  if (auto v = sw_.value("/TITLE=")) o_.htmlTitle = *v;
  if (auto v = sw_.value("/COLOR=", Case::Match)) o_.htmlTextColor = *v;
  if (auto v = sw_.value("/BACKGROUND=", Case::Match)) o_.htmlBackground = *v;
  if (auto n = count("/BORDER=", Case::Match)) o_.htmlBorder = static_cast<int>(std::min<long long>(*n, 1000));
  if (auto n = count("/last:")) o_.lastRecords = *n;
  if (auto n = count("/CP:")) {
    if (*n < 100000 && isTextCodePage(static_cast<int>(*n))) o_.codePage = static_cast<int>(*n);
    else warn(fmt::format("/CP:{}:not a Windows or DOS code page Tabrix reads, each table's own is used\r\n", *n));
  }
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

std::string Run::outputFor(const std::string& source) const {
  if (folderForm_ && outputPerSource_) return outputNameFor(targetFolder_, source, extension_, recurse_ ? searchedFolder_ : "");
  return args_.output;
}

// No output, and for DBF outputs no memo file beside it, may be a source or a
// source's memo file: the run is refused before anything is written.
bool Run::refuseOutputsOnSources() {
  std::vector<std::string> written;
  std::vector<size_t> outputOf;  // for each written file, the index of its output in written
  for (const std::string& source : sources_) {
    const std::string output = outputFor(source);
    if (!written.empty() && written[outputOf.back()] == output) continue;
    const size_t index = written.size();
    written.push_back(output);
    outputOf.push_back(index);
    if (familyOf(savedFormat_) != OutputFamily::Dbf) continue;
    for (const uint8_t version : {uint8_t{0x83}, uint8_t{0x30}}) {
      written.push_back(siblingWithExtension(output, memoExtensionFor(output, version)));
      outputOf.push_back(index);
    }
  }
  PathClash clash;
  if (!findClash(sourceFiles_, written, isSameFile, clash)) return true;
  const size_t at = static_cast<size_t>(std::find(written.begin(), written.end(), clash.written) - written.begin());
  const std::string& output = written[outputOf[at]];
  const std::string what = output == clash.written ? "the output" : fmt::format("its memo file {}", clash.written);
  const std::string whose = clash.sourceFile == clash.source ? fmt::format("the source {}", clash.source)
                                                             : fmt::format("{}, the memo file of the source {}",
                                                                           clash.sourceFile, clash.source);
  error(fmt::format("{}:{} would overwrite {}; nothing was converted\r\n", output, what, whose));
  return false;
}

// An output named into a folder that does not exist is reported before any
// table is read; the folder form creates its folders instead.
bool Run::outputFoldersExist() {
  if (folderForm_ && outputPerSource_) return true;
  const std::string folder = folderOf(args_.output);
  if (folder.empty() || isDirectory(folder)) return true;
  error(fmt::format("{}:the folder {} does not exist\r\n", args_.output, folder));
  return false;
}

// A database already there is added to only with "/addtoexist": the run is
// refused before any table goes into it.
bool Run::databasesMayBeAdded() {
  if (familyOf(savedFormat_) != OutputFamily::Sqlite || o_.addToExisting) return true;
  for (const std::string& source : sources_) {
    const std::string output = outputFor(source);
    if (pathKind(output) == PathKind::Missing) continue;
    error(fmt::format("{}:a database is there already; /addtoexist adds the tables to it; nothing was converted\r\n",
                      output));
    return false;
  }
  return true;
}

// The default number of tables converted at once: one per core.
size_t Run::jobCount() {
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const auto n = count("/JOBS:");
  return n && *n > 0 ? static_cast<size_t>(std::min<long long>(*n, 256)) : cores;
}

// Only the folder form writes one output per table (appending writes them all
// into one); two tables named into one output ("a.x.dbf" and "a.y.dbf") must
// be written in turn: such runs convert one table at a time.
bool Run::sideBySide(size_t jobs) const {
  if (jobs < 2 || sources_.size() < 2 || !folderForm_ || !outputPerSource_) return false;
  std::set<std::string> outputs;
  for (const std::string& source : sources_)
    if (!outputs.insert(outputFor(source)).second) return false;
  return true;
}

void Run::convertOneAtATime() {
  TableLane lane{o_, log_, io_.out};
  for (const std::string& source : sources_) {
    if (!convertInLane(source, lane)) failed_ = true;
    else anyConverted_ = true;
    o_.outputFormat = savedFormat_;
    o_.firstAppendedJob = false;
    if (o_.appendToOutput) o_.addToExisting = true;
  }
}

// Workers take the tables in turn, each into its own copy of the options
// with its log and console lines kept aside; this thread passes every table's
// lines on in the order of the sources, so the log, the console and the exit
// code are those of a run one table at a time.
void Run::convertSideBySide(size_t jobs) {
  struct Lane {
    ConversionOptions o;
    JobLog log;
    char* outText = nullptr;
    size_t outSize = 0;
    bool converted = false;
    bool done = false;
  };
  std::vector<std::unique_ptr<Lane>> lanes;
  for (size_t i = 0; i < sources_.size(); ++i) {
    lanes.push_back(std::make_unique<Lane>());
    lanes.back()->o = o_;
    lanes.back()->o.logFile = &lanes.back()->log;
    lanes.back()->log.capture(log_.isOpen());
  }
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next = 0;
  const auto work = [&] {
    for (size_t i = next++; i < sources_.size(); i = next++) {
      Lane& lane = *lanes[i];
      // Console lines go to memory; should that fail, straight to the console.
      std::FILE* memory = console_ ? open_memstream(&lane.outText, &lane.outSize) : nullptr;
      TableLane target{lane.o, lane.log, memory ? memory : io_.out};
      const bool converted = convertInLane(sources_[i], target);
      if (memory) std::fclose(memory);
      const std::lock_guard<std::mutex> lock(mutex);
      lane.converted = converted;
      lane.done = true;
      finished.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (size_t w = 0; w < std::min(jobs, sources_.size()); ++w) workers.emplace_back(work);
  for (std::unique_ptr<Lane>& lane : lanes) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return lane->done; });
    }
    if (lane->outText) {
      std::fwrite(lane->outText, 1, lane->outSize, io_.out);
      std::free(lane->outText);
    }
    lane->log.replayInto(log_);
    if (!lane->converted) failed_ = true;
    else anyConverted_ = true;
    lane.reset();
  }
  for (std::thread& worker : workers) worker.join();
}

bool Run::convertInLane(const std::string& source, TableLane& lane) {
  const std::string output = outputFor(source);
  if (folderForm_ && outputPerSource_) makeFolders(output);
  lane.o.outputPath = output;
  const std::string sourceLine = fmt::format("{} source file: {} out file:{}\r\n",
                                             formatLogTimeNow(lane.o.dateOrder, lane.o.dateSeparator), source, output);
  if (console_) fmt::print(lane.out, "{}", sourceLine);
  else if (lane.o.logLevel != 1 && lane.log.isOpen()) lane.log.write(sourceLine);

  bool warned = false;
  return convertTable(source, warned, lane);
}

// Opens, checks and converts one table; with "/rmsrc" removes it when nothing
// was reported about it. False when it was not converted completely.
bool Run::convertTable(const std::string& source, bool& warned, TableLane& lane) {
  // A pipe or a device would block the read or never end.
  if (const PathKind kind = pathKind(source); kind != PathKind::Missing && kind != PathKind::Regular) {
    lane.log.error(fmt::format("{}:not a regular file\r\n", source));
    return false;
  }
  DbfTable table;
  TableOpenOptions open;
  open.sourceIsOem = lane.o.sourceIsOem;
  open.sourceIsAnsi = lane.o.sourceIsAnsi;
  open.codePage = lane.o.codePage;
  open.userPages = {lane.o.ansiCodePage, lane.o.oemCodePage};
  if (const Result opened = table.open(source, open); !opened) {
    lane.log.error(fmt::format("{}:{}\r\n", source, opened.reason()));
    return false;
  }
  if (!checkSelection(table, source, warned, lane)) return false;
  ConsoleProgress progress(lane.out);
  const ConversionResult result = runConversion(lane.o, table, console_ ? &progress : nullptr);
  const std::string memoPath = table.memo() && table.memo()->isOpen() ? table.memo()->path() : std::string();
  table.close();
  if (!result.ok) return false;
  if (sw_.has("/rmsrc")) {
    if (warned || switchWarning_) lane.log.error(fmt::format("{}:kept despite /rmsrc, as warnings were given\r\n", source));
    else removeSource(source, memoPath, lane);
  }
  return true;
}

// Field names of the conditions, the sort and the column list that name no
// field of this table are reported. A condition or sort on a missing field,
// or a column list that leaves no column, would write something other than
// what was asked: the table is then not converted.
bool Run::checkSelection(DbfTable& table, const std::string& source, bool& warned, TableLane& lane) {
  auto fieldNamed = [&](const std::string& name) {
    for (int i = 0; i < table.fieldCount(); ++i)
      if (equalsIgnoringCase(table.field(i).name, name)) return true;
    return false;
  };
  bool convert = true;
  for (size_t i = 0; i < lane.o.fieldConditions.size(); ++i) {
    if (fieldNamed(lane.o.fieldConditions[i].field)) continue;
    lane.log.error(fmt::format("{}:{} names no field {}; the table is not converted\r\n", source, conditionSwitch_[i],
                      lane.o.fieldConditions[i].field));
    convert = false;
  }
  if (lane.o.sortEnabled) {
    lane.o.sortField = resolveSortField(table, lane.o.sortFieldName);
    if (lane.o.sortField < 0) {
      lane.log.error(fmt::format("{}:/SORTBY: names no field {}; the table is not converted\r\n", source, lane.o.sortFieldName));
      convert = false;
    }
  }
  for (size_t i = 0; i < lane.o.columns.names.size(); ++i) {
    if (fieldNamed(lane.o.columns.names[i])) continue;
    lane.log.error(fmt::format("{}:{} names no field {}\r\n", source, columnSwitch_[i], lane.o.columns.names[i]));
    warned = true;
  }
  if (!lane.o.columns.names.empty() && planColumns(table, lane.o.columns).empty()) {
    lane.log.error(fmt::format("{}:the column list leaves no column; the table is not converted\r\n", source));
    convert = false;
  }
  warned = warned || !convert;
  return convert;
}

// The table first: should its memo file then stay behind, no data is lost.
void Run::removeSource(const std::string& source, const std::string& memoPath, TableLane& lane) {
  if (const Result removed = removeFile(source); !removed) {
    lane.log.error(fmt::format("{}:{}\r\n", source, removed.reason()));
    return;
  }
  // A memo file already gone is no failure.
  if (memoPath.empty() || pathKind(memoPath) == PathKind::Missing) return;
  if (const Result removed = removeFile(memoPath); !removed) lane.log.error(fmt::format("{}:{}\r\n", memoPath, removed.reason()));
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
  // "-": the output is standard output, so everything else goes to the error stream.
  o_.toStandardOutput = args_.output == "-";
  if (o_.toStandardOutput) io_.out = io_.err;
  o_.quoteChar = '\0';
  o_.commandLineMode = true;
  o_.keepSourceDbfVersion = true;
  readGeneralSwitches();
  if (auto list = sw_.value("/LIST:")) {
    fromList_ = true;
    if (const Result read = readSourceList(*list, sources_); !read) fmt::print(io_.err, "{}:{}\n", *list, read.reason());
  }
  collectSources();
  if (!openLog()) return finish(kExitFailed);
  if (sw_.has("/console")) {
    console_ = true;
    fmt::print(io_.out, "{}", kBanner);
  }
  reportUnknownSwitches();
  const bool namesTable = std::any_of(sw_.words().begin(), sw_.words().end(),
                                      [](const std::string& w) { return containsIgnoringCase(w, ".dbf"); }) ||
                          containsIgnoringCase(sourceArgument_, ".dbf") || containsIgnoringCase(args_.output, ".dbf") ||
                          args_.sources.size() >= 2;
  if (!namesTable && (!fromList_ || sources_.empty())) {
    error("No dbf file in the command line\r\n");
    return finish(kExitNothingToDo);
  }
  if (args_.output.empty()) {
    fmt::print(io_.err, "Give a table and an output: tabrix TABLE.dbf OUTPUT.csv [switches]\n");
    return finish(kExitNothingToDo);
  }
  if (!resolveOutput()) return finish(kExitNothingToDo);
  readRemainingSwitches();
  if (o_.toStandardOutput && familyOf(savedFormat_) == OutputFamily::Html && o_.htmlPaging) {
    error("-:paged HTML is several files and cannot be written to standard output\r\n");
    return finish(kExitNothingToDo);
  }
  if (wildcard_ && !recurse_ && !fromList_ && sources_.empty()) {
    error(fmt::format("{}: files not found\r\n", sourceArgument_));
    return finish(kExitNothingToDo);
  }
  if (!o_.toStandardOutput && (!refuseOutputsOnSources() || !outputFoldersExist() || !databasesMayBeAdded()))
    return finish(kExitFailed);
  if (o_.appendToOutput) o_.firstAppendedJob = true;
  // A core left over from the tables goes to writing each output.
  const size_t jobs = jobCount();
  const bool tablesSideBySide = sideBySide(jobs);
  o_.writeInBackground = !tablesSideBySide && jobs >= 2;
  if (tablesSideBySide) convertSideBySide(jobs);
  else convertOneAtATime();
  if (failed_) return finish(kExitFailed);
  return finish(anyConverted_ || !sources_.empty() ? kExitConverted : kExitNothingToDo);
}

}  // namespace

int runCommandLine(const std::vector<std::string>& words, ConversionOptions& options, ConsoleStreams streams) {
  Run run(words, options, streams);
  return run.execute();
}

Result readCommandFile(const std::string& path, std::vector<std::string>& words) {
  std::vector<std::string> lines;
  if (Result read = readTextLines(path, lines); !read) return read;
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
  return {};
}

}  // namespace tabrix
