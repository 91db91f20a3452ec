// The job runs its phases in a fixed order: output open, header, walk over the
// chosen range with the record tests, footer, close, commit, log. Every failure
// ends in a report; a failed write stops the walk so a full disk never looks
// like success. The job's files are staged and appear only when it commits, so
// a failed job leaves no part of an output behind.
#include "convert/conversion.h"

#include <fmt/format.h>

#include "convert/job_log.h"
#include "convert/output_formats.h"
#include "convert/record_writer.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "platform/path_lookup.h"
#include "select/field_condition.h"
#include "select/record_sort.h"

namespace tabrix {

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// The XML spreadsheet is no package: asked for in place of an .xlsx workbook,
// it is written with the extension ".xml", which spreadsheet programs open,
// rather than under a name they refuse.
std::string outputPathFor(const ConversionOptions& o, OutputFamily family) {
  if (family == OutputFamily::Xlsx && o.excelAsXml) return replaceExtension(o.outputPath, "xml");
  return o.outputPath;
}

bool isEmptyRecord(const uint8_t* record, uint32_t length) {
  for (uint32_t i = 1; i < length; ++i)
    if (record[i] != ' ' && record[i] != '\0') return false;
  return true;
}

void logLine(const ConversionOptions& o, const std::string& line) {
  if (o.logFile && o.logFile->isOpen()) o.logFile->write(line);
}

ConversionResult fail(const ConversionOptions& o, const std::string& path, ConversionResult result,
                      const std::string& reason) {
  result.ok = false;
  result.error = reason;
  if (o.logFile) o.logFile->error(fmt::format("{}:{}\r\n", path, reason));
  return result;
}

// A finding about an output that was written whole: logged as an error line and
// kept as the job's failure reason (the first one found).
void warn(const ConversionOptions& o, const std::string& path, ConversionResult& result, const std::string& text) {
  if (result.error.empty()) result.error = text;
  if (o.logFile) o.logFile->error(fmt::format("{}:{}\r\n", path, text));
}

void setToday(FilterSettings& settings) {
  const std::tm local = localTimeNow();
  settings.todayDay = local.tm_mday;
  settings.todayMonth = local.tm_mon + 1;
  settings.todayYear = local.tm_year + 1900;
}

// What the warning about memos that could not be read says: how many, and
// why when the whole memo file is at fault.
std::string lostMemosText(DbfTable& table) {
  const uint64_t n = table.lostMemos();
  std::string text = fmt::format("{} memo value{} could not be read", n, n == 1 ? "" : "s");
  const MemoFile* memo = table.memo();
  if (!memo) return text + ": the table has no memo file";
  if (!memo->isOpen())
    return text + fmt::format(": the memo file {} {}", memo->path(),
                              findIgnoringCase(memo->path()).empty() ? "is missing" : "cannot be opened");
  if (!memo->headerIsSound()) return text + fmt::format(": the memo file {} has no sound header", memo->path());
  return text;
}

// No file a job writes may be one of the run's sources, this table or its memo file.
std::vector<std::string> protectedFiles(const ConversionOptions& o, DbfTable& table) {
  std::vector<std::string> paths = o.protectedPaths;
  paths.push_back(table.path());
  if (table.memo()) paths.push_back(table.memo()->path());
  return paths;
}

void keepSourceDate(const DbfTable& table, const std::string& path) {
  if (timespec source{}; table.modificationTime(source)) setModificationTime(path, source);
}

}  // namespace

ConversionResult runConversion(const ConversionOptions& o, DbfTable& table, ConversionObserver* observer) {
  ConversionResult result;
  // Declared first, so the files are closed before a failed job discards them.
  StagedFiles files(protectedFiles(o, table));
  OutputFile out(&files);
  out.writeInBackground(o.writeInBackground);
  const OutputFormatRow& format = outputFormatRow(o.outputFormat);
  JobContext job{o, {}, table, out, files, format.family, {}, o.delimiter, false, {}, {}, 0, false, 0, {}};
  job.outputPath = outputPathFor(o, job.family);
  job.utf8 = o.utf8 || job.family == OutputFamily::Xml;
  job.plan = planColumns(table, o.columns);
  if (job.delimiter == "tab") job.delimiter = "\t";
  else if (job.delimiter == "space") job.delimiter = " ";
  job.multiCharDelimiter = job.delimiter.size() > 1;
  // The table's text is in the pages /CP:n or its mark named, otherwise in the user's.
  const TextPages pages = table.textPagesNamed() ? table.textPages() : TextPages{o.ansiCodePage, o.oemCodePage};
  job.codePages = buildCodePageTables(pages.ansi, pages.oem);
  job.decode.dateFormat = {o.dateOrder, o.dateSeparator, o.isoDates};
  job.decode.skipSeconds = o.skipSeconds;
  job.decode.dropDecimals = o.dropDecimals;
  job.decode.csvDoublePrecision = job.family == OutputFamily::Csv;
  job.decode.oemToAnsi = &job.codePages.oemToAnsi;

  const std::string& path = job.outputPath;
  table.resetLostMemos();
  // Refused before a writer looks at an existing output; the files it opens are checked again as staged.
  if (const Result allowed = o.toStandardOutput ? Result{} : files.allows(path); !allowed)
    return fail(o, path, result, allowed.reason());
  const WriterFactory makeWriter = o.excelAsXml && format.asXmlWriter ? format.asXmlWriter : format.writer;
  std::unique_ptr<RecordWriter> writer = makeWriter(job);

  bool appending = false;
  if (writer->opensOutput()) {
    if (const Result opened = writer->open(); !opened) return fail(o, path, result, opened.reason());
  } else if (o.toStandardOutput) {
    if (!out.openStandardOutput()) return fail(o, path, result, out.errorText());
    appending = o.appendToOutput && !o.firstAppendedJob;
  } else {
    if (!out.open(path, o.appendToOutput)) return fail(o, path, result, out.errorText());
    appending = o.appendToOutput && out.initialSize() > 0;
  }
  // Appended outputs start on a line of their own; a JSON line is a whole line already.
  if (!writer->opensOutput() && o.appendToOutput && !o.firstAppendedJob && job.family != OutputFamily::JsonLines)
    out.write("\r\n");
  if (o.logLevel != 1) logLine(o, fmt::format("{} Open file: {}:\r\n", formatLogTimeNow(o.dateOrder, o.dateSeparator), path));

  // A byte order mark belongs at the start of a file only. psql reads it as
  // part of the first statement, so PostgreSQL and Ansi scripts go without.
  const bool psqlScript = job.family == OutputFamily::Sql &&
                          (o.sqlDialect == SqlDialect::PostgreSql || o.sqlDialect == SqlDialect::Ansi);
  if (job.utf8 && format.byteOrderMark && !appending && !psqlScript) out.write(kUtf8Mark);
  writer->header();
  // A script that only creates the table ends after its header: no records, no "saved" line.
  if (job.family == OutputFamily::Sql && o.createOnly) {
    if (const Result closed = writer->close(); !closed) return fail(o, path, result, closed.reason());
    if (!out.close()) return fail(o, path, result, out.errorText());
    if (const Result committed = files.commit(); !committed) return fail(o, path, result, committed.reason());
    result.ok = true;
    return result;
  }

  SortedRecords sorted;
  const bool sorting = o.sortEnabled && o.sortField >= 0 && o.sortField < table.fieldCount();
  if (sorting) {
    // Case folds in the page the stored bytes are in.
    const int page = table.sourceIsOem() ? job.codePages.oem : job.codePages.ansi;
    if (const Result loaded = sorted.load(table, {o.sortField, o.sortAscending, o.sortIgnoreCase, page}); !loaded) {
      out.close();
      return fail(o, path, result, loaded.reason());
    }
  }
  FilterSettings filterSettings;
  const std::array<uint8_t, 256> upperCase = upperCaseTable(job.codePages.ansi);
  // Dates in conditions stay in the user's order, whatever the output shows.
  filterSettings.dateFormat = {o.dateOrder, o.dateSeparator};
  filterSettings.oemToAnsi = &job.codePages.oemToAnsi;
  filterSettings.upperCase = &upperCase;
  setToday(filterSettings);
  WordFilter wordFilter(o.wordFilter, filterSettings);
  RecordConditions conditions(table, o.fieldConditions, filterSettings);

  const uint64_t count = sorting ? sorted.size() : table.recordCount();
  const uint64_t start =
      o.lastRecords > 0 && static_cast<uint64_t>(o.lastRecords) < count ? count - static_cast<uint64_t>(o.lastRecords) : 0;
  if (!o.reverseOrder && start > 0) table.readRecordAt(start - 1);
  else table.rewind();
  // A creation script describes the structure only.
  const bool walking = !o.onlyStructure && job.family != OutputFamily::Prg;
  for (uint64_t k = start; k < count && walking; ++k) {
    const uint64_t index = o.reverseOrder ? count - 1 - k : k;
    const uint8_t* record = sorting           ? sorted.record(index)
                            : o.reverseOrder ? table.readRecordAt(index)
                                             : table.readNextRecord();
    if (!record) break;
    bool keep = true;
    if (o.skipDeleted && record[0] == '*') keep = false;
    if (o.onlyDeleted && record[0] != '*') keep = false;
    if (o.skipEmpty && isEmptyRecord(record, table.recordLength())) keep = false;
    if (keep && !o.wordFilter.empty() && !wordFilter.matches(table, record)) keep = false;
    if (keep && !conditions.empty() && !conditions.passes(table, record)) keep = false;
    if (observer) observer->progress(k + 1, count);
    if (!keep) continue;
    job.recordsWritten = ++result.recordsWritten;
    job.walkPosition = k;
    writer->record(record, k + 1 == count);
    if (out.failed()) break;
    if (k % 10 == 0 && observer && observer->cancelRequested()) {
      result.cancelled = true;
      break;
    }
  }
  writer->footer();
  if (const Result closed = writer->close(); !closed) {
    out.close();
    return fail(o, path, result, closed.reason());
  }
  if (!out.close()) return fail(o, path, result, out.errorText());
  if (const Result committed = files.commit(); !committed) return fail(o, path, result, committed.reason());
  if (o.keepFileDate && job.family != OutputFamily::Rtf && !o.toStandardOutput) keepSourceDate(table, path);
  logLine(o, fmt::format("{} saved {} records\r\n", formatLogTimeNow(o.dateOrder, o.dateSeparator), result.recordsWritten));
  if (!job.warning.empty()) warn(o, path, result, job.warning);
  if (table.isShort())
    warn(o, table.path(), result,
         fmt::format("the header counts {} records, the file holds {}", table.headerRecordCount(), table.recordCount()));
  if (table.lostMemos() > 0) warn(o, table.path(), result, lostMemosText(table));
  result.ok = result.error.empty();
  return result;
}

}  // namespace tabrix
