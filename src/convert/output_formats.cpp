#include "convert/output_formats.h"

#include <algorithm>
#include <cstring>

#include "convert/record_writer.h"
#include "util/ascii.h"
#include "writers/dbf_writer.h"
#include "writers/delimited_writer.h"
#include "writers/html_writer.h"
#include "writers/json_writer.h"
#include "writers/prg_writer.h"
#include "writers/rtf_writer.h"
#include "writers/sdf_writer.h"
#include "writers/spreadsheet_xml_writer.h"
#include "writers/sqlite_writer.h"
#include "writers/sql_writer.h"
#include "writers/workbook_writer.h"
#include "writers/xml_writer.h"

namespace tabrix {

namespace {

using F = OutputFormat;
using Family = OutputFamily;

// The byte order mark goes only where readers of the format skip it: plain
// text, CSV, TSV, SQL and XML. On the command line deleted records stay in by
// default only in dBase III, dBase IV and Visual FoxPro outputs.
constexpr OutputFormatRow kRows[] = {
    {F::DBase3, ".dbf", "dBase III files (*.dbf)", "dBase III files (*.dbf)", Family::Dbf, makeDbfWriter, nullptr,
     false, false},
    {F::DBase4, ".dbf", "dBase IV files (*.dbf)", "dBase IV files (*.dbf)", Family::Dbf, makeDbfWriter, nullptr,
     false, false},
    {F::VisualFoxPro, ".dbf", "Visual Foxpro (*.dbf)", "Visual Foxpro (*.dbf)", Family::Dbf, makeDbfWriter, nullptr,
     false, false},
    {F::DBase7, ".dbf", "dBase Level 7 (*.dbf)", "dBase Level 7 files (*.dbf)", Family::Dbf, makeDbfWriter, nullptr,
     false, true},
    {F::Text, ".txt", "Text files (*.txt)", "Text files (*.txt)", Family::Text, makeDelimitedWriter, nullptr, true,
     true},
    {F::Html, ".htm", "HTML Documents (*.htm)", "HTML Documents (*.htm)", Family::Html, makeHtmlWriter, nullptr, false,
     true},
    {F::Prg, ".prg", "Clipper, Foxpro files (*.prg)", "Clipper, Foxpro files (*.prg)", Family::Prg, makePrgWriter,
     nullptr, false, true},
    {F::Xml, ".xml", "XML files (*.xml)", "XML files (*.xml)", Family::Xml, makeXmlWriter, nullptr, true, true},
    {F::Xls, ".xls", "Excel files (*.xls)", "Excel files (*.xls)", Family::Xls, makeWorkbookWriter,
     makeSpreadsheetXmlWriter,
     false, true},
    {F::Xlsx, ".xlsx", "Excel 2007-2024 files (*.xlsx)", "Excel 2007-2022 files (*.xlsx)", Family::Xlsx,
     makeWorkbookWriter, makeSpreadsheetXmlWriter, false, true},
    {F::Csv, ".csv", "CSV files (*.csv)", "CSV files (*.csv)", Family::Csv, makeDelimitedWriter, nullptr, true, true},
    {F::Sql, ".sql", "SQL files (*.sql)", "SQL files (*.sql)", Family::Sql, makeSqlWriter, nullptr, true, true},
    {F::Rtf, ".rtf", "RTF files (*.rtf)", "RTF files (*.rtf)", Family::Rtf, makeRtfWriter, nullptr, false, true},
    {F::Sdf, ".sdf", "SDF files (*.sdf)", "SDF files (*.sdf)", Family::Sdf, makeSdfWriter, nullptr, false, true},
    {F::Tsv, ".tsv", "TSV files (*.tsv)", "TSV files (*.tsv)", Family::Tsv, makeDelimitedWriter, nullptr, true, true},
    {F::Json, ".json", "JSON files (*.json)", "JSON files (*.json)", Family::Json, makeJsonWriter, nullptr, false,
     true},
    {F::JsonLines, ".jsonl", "JSON lines (*.jsonl)", "JSON lines (*.jsonl)", Family::JsonLines, makeJsonLinesWriter, nullptr,
     false, true},
    {F::NdJson, ".ndjson", "JSON lines (*.ndjson)", "JSON lines (*.ndjson)", Family::JsonLines, makeJsonLinesWriter,
     nullptr, false, true},
    {F::Sqlite, ".sqlite", "SQLite databases (*.sqlite)", "SQLite databases (*.sqlite)", Family::Sqlite,
     makeSqliteWriter, nullptr, false, true},
    {F::SqliteDb, ".db", "SQLite databases (*.db)", "SQLite databases (*.db)", Family::Sqlite, makeSqliteWriter,
     nullptr, false, true},
};

// Looking a row up by position holds only while the rows follow the enum.
constexpr bool rowsFollowTheEnum() {
  for (size_t i = 0; i < std::size(kRows); ++i)
    if (static_cast<size_t>(kRows[i].format) != i + 1) return false;
  return true;
}
static_assert(rowsFollowTheEnum(), "output format rows must be in OutputFormat order");

}  // namespace

std::span<const OutputFormatRow> outputFormats() { return kRows; }

const OutputFormatRow& outputFormatRow(OutputFormat format) {
  const size_t index = static_cast<size_t>(format) - 1;
  return kRows[index < std::size(kRows) ? index : 0];
}

OutputFamily familyOf(OutputFormat format) { return outputFormatRow(format).family; }

std::optional<OutputFormat> outputFormatForExtension(std::string_view ext) {
  std::optional<OutputFormat> found;
  for (const OutputFormatRow& row : kRows)
    if (equalsIgnoringCase(row.extension + 1, ext)) found = row.format;
  return found;
}

size_t longestExtensionLength() {
  size_t longest = 0;
  for (const OutputFormatRow& row : kRows) longest = std::max(longest, std::strlen(row.extension) - 1);
  return longest;
}

std::string outputFormatsUsage() {
  std::string written, asXml;
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const OutputFormatRow& row = kRows[i];
    if (i > 0 && std::strcmp(row.extension, kRows[i - 1].extension) == 0) continue;
    if (row.writer) written += std::string(written.empty() ? "" : " ") + row.extension;
    if (row.asXmlWriter) asXml += std::string(asXml.empty() ? "" : "/") + row.extension;
  }
  std::string line = "Outputs by extension: " + written;
  if (!asXml.empty()) line += ", " + asXml + " as Excel 2003 XML with /ASXML";
  return line + ".";
}

}  // namespace tabrix
