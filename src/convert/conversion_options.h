#pragma once
// Every conversion setting in one plain struct, with the defaults a fresh
// installation starts from. The front ends fill it; the job only reads it.
#include <cstdint>
#include <string>
#include <vector>

#include "convert/output_formats.h"
#include "select/column_plan.h"
#include "select/field_condition.h"

namespace tabrix {

enum class SqlDialect : int { Ansi = 0, Oracle = 1, MySql = 2, MsSql = 3, PostgreSql = 4 };

class JobLog;

struct ConversionOptions {
  OutputFormat outputFormat = OutputFormat::DBase3;
  std::string outputPath;
  bool toStandardOutput = false;  // a text output written to standard output instead of outputPath
  bool appendToOutput = false;
  bool firstAppendedJob = false;  // first job writing into an appended output
  bool keepFileDate = false;
  bool openWhenDone = true;
  bool batchMode = false;
  bool commandLineMode = false;
  JobLog* logFile = nullptr;  // not owned
  int logLevel = 0;           // 1: no "Open file" and per-source lines
  // A core is free for the job: a large output is written by a thread of its
  // own while the records are converted. Off when tables run side by side or
  // one core is asked for.
  bool writeInBackground = true;
  // The run's sources and their memo files: no file a job writes may be one
  // of them (compared as files, after links are resolved).
  std::vector<std::string> protectedPaths;

  // Record walk and tests.
  bool skipDeleted = false;
  bool onlyDeleted = false;
  bool skipEmpty = false;
  bool onlyStructure = false;
  bool reverseOrder = false;
  int64_t lastRecords = 0;
  bool sortEnabled = false;
  int sortField = -1;
  bool sortAscending = true;
  bool sortIgnoreCase = false;
  std::string wordFilter;

  // Delimited text and SQL.
  std::string delimiter = ",";
  char quoteChar = '\0';  // none
  bool quoteAllFields = false;
  bool exportFieldNames = true;
  bool fieldNamesLowercase = false;
  bool fieldNamesCapitalised = false;
  int fieldTypesInHeader = 0;  // 1: in the names line, 2: a second line
  bool addRowId = false;
  std::string rowDelimiter = "\r\n";
  bool noTrim = false;
  bool keepLineBreaks = false;
  bool outputOem = false;
  bool utf8 = false;

  // Value texts.
  bool dropDecimals = false;
  bool skipSeconds = false;
  bool sourceIsOem = false;
  bool sourceIsAnsi = false;
  char dateOrder = '0';
  char dateSeparator = '/';
  bool isoDates = false;  // dates and date-times in ISO 8601 form in every text output
  // Binary values (G, P, W, Q, binary B memos) as their bytes: hex in text, base64 in
  // XML and JSON, binary literals in SQL; otherwise as the text form of the field.
  bool keepBinary = false;
  int ansiCodePage = 1252;  // the user's pages, for tables that name none
  int oemCodePage = 437;
  int codePage = 0;  // "/CP:n": the code page of every table's text; 0 when not given

  // SQL.
  SqlDialect sqlDialect = SqlDialect::MySql;
  bool sqlAddGo = false;
  int sqlGoEvery = 100;
  bool insertWithColumnNames = false;
  bool createOnly = false;

  // HTML.
  std::string htmlTitle;
  bool htmlAsForm = false;
  bool htmlRecordNumber = false;
  int htmlBorder = 1;
  bool htmlPaging = false;
  int htmlMaxPerPage = 50;
  std::string htmlTextColor;
  std::string htmlBackground;
  uint32_t htmlTextRgb = 0x000000;
  uint32_t htmlBackgroundRgb = 0xFFFFFF;

  // JSON: numbers, logicals, null and ISO dates as JSON values (JSON lines always).
  bool jsonTypes = false;

  // XML and spreadsheets.
  std::string xmlRootTag = "Root";
  std::string xmlRecordTag = "Record";
  bool tagDeleted = false;
  bool excelAsXml = false;
  bool writeHeaderRow = true;
  std::string sheetName;
  bool addToExisting = false;

  // DBF output.
  uint8_t dbfVersion = 0x03;
  bool keepSourceDbfVersion = false;

  // Record selection: conditions by field name, the sort field by name (the
  // command line resolves it to sortField for each table), and column lists.
  std::vector<ConditionPair> fieldConditions;
  std::string sortFieldName;
  ColumnChoice columns;
};

}  // namespace tabrix
