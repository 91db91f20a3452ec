#pragma once
// Every output format in one table: its extension, names, writer family and
// writer, and the few facts the job and the command line decide by format.
// A new format is one writer and one row here.
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tabrix {

// Output formats by their index from 1, in the order extensions are matched.
enum class OutputFormat : int {
  DBase3 = 1, DBase4, VisualFoxPro, DBase7, Text, Html, Prg, Xml, Xls, Xlsx, Csv, Sql, Rtf, Sdf, Tsv, Json,
  JsonLines, NdJson, Sqlite, SqliteDb
};

// The writer families; the four DBF formats form one.
enum class OutputFamily : int { Dbf = 1, Text, Html, Prg, Xml, Xls, Xlsx, Csv, Sql, Rtf, Sdf, Tsv, Json, JsonLines, Sqlite };

struct JobContext;
class RecordWriter;
using WriterFactory = std::unique_ptr<RecordWriter> (*)(JobContext&);

struct OutputFormatRow {
  OutputFormat format;
  const char* extension;    // with its dot
  const char* displayName;  // the wizard's "Export to" list
  const char* filterText;   // the save dialog's filter
  OutputFamily family;
  WriterFactory writer;
  WriterFactory asXmlWriter;  // the Excel 2003 XML form written instead with excelAsXml; null for most
  bool byteOrderMark;         // a UTF-8 output starts with the mark
  bool skipsDeleted;          // the command line leaves deleted records out by default
};

// The rows in OutputFormat order.
std::span<const OutputFormatRow> outputFormats();
const OutputFormatRow& outputFormatRow(OutputFormat format);
OutputFamily familyOf(OutputFormat format);
// The format whose extension matches ext (no dot, any case); the last match
// wins, so "dbf" gives DBase7.
std::optional<OutputFormat> outputFormatForExtension(std::string_view ext);
// Letters of the longest extension: no more of a name's extension can choose a format.
size_t longestExtensionLength();
// The --help line naming the outputs by extension.
std::string outputFormatsUsage();

}  // namespace tabrix
