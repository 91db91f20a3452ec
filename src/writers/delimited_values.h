#pragma once
// The text of one exported value as the delimited outputs (TXT, CSV, TSV) and
// the SQL script write it. Both go through the same steps (decode, trim, line
// breaks, OEM, doubling, enclosing); the SQL rules change a few of them: dates,
// date-times and logicals become SQL literals, text is enclosed in apostrophes
// with apostrophes doubled, and a blank or unusable value becomes null.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "convert/record_writer.h"
#include "util/text_buffer.h"

namespace tabrix {

// What differs between the delimited and the SQL forms of a value.
struct ValueRules {
  bool sql = false;
  SqlDialect dialect = SqlDialect::MySql;
  std::string delimiter;  // resolved: "tab" and "space" are characters
  bool multiCharDelimiter = false;
  char quoteChar = '\0';
  bool quoteAllFields = false;
};

// The character that encloses a delimited value: the chosen quote character,
// else a double quote.
inline char enclosingQuote(const ValueRules& rules) { return rules.quoteChar != '\0' ? rules.quoteChar : '"'; }

// Appends text as one delimited value (a memo, a column title): enclosed, with
// the enclosing quote doubled inside, when enclose is set or when a reader
// would otherwise take it apart (it holds the delimiter, a line break, or the
// quote; with a tab delimiter, only a leading quote); else as it is.
void appendDelimitedText(TextBuffer& line, std::string_view text, const ValueRules& rules, bool enclose);

// The delimited rules of a job's options.
ValueRules delimitedRules(const JobContext& job);
// The SQL rules: values joined by commas, text in apostrophes.
ValueRules sqlRules(const JobContext& job);

class ValueWriter {
 public:
  virtual ~ValueWriter() = default;
  // Appends the values of the exported fields of record to line, with the
  // rules' delimiter between them. The record must be followed by
  // DbfTable::kRecordSlack readable bytes.
  virtual void appendRecord(TextBuffer& line, const uint8_t* record) = 0;
};

std::unique_ptr<ValueWriter> makeValueWriter(JobContext& job, const ValueRules& rules);

// The bytes of records a writer gathers before writing them: the output
// file's buffer size, so a batch bypasses that buffer.
constexpr size_t kRecordBatch = size_t{1} << 20;

// Writes line to out as it is, or converted to UTF-8 through scratch.
void writeLine(OutputFile& out, const TextBuffer& line, Utf8Converter* utf8, TextBuffer& scratch);

}  // namespace tabrix
