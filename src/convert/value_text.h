#pragma once
// The text of one exported value as the delimited outputs (TXT, CSV, TSV) and
// the SQL script write it. Both go through the same steps (decode, trim, line
// breaks, OEM, doubling, enclosing); the SQL rules change a few of them: dates,
// date-times and logicals become SQL literals, text is enclosed in apostrophes
// with apostrophes doubled, and a blank or unusable value becomes null.
#include <cstdint>
#include <string>
#include <vector>

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

// The delimited rules of a job's options.
ValueRules delimitedRules(const JobContext& job);
// The SQL rules: values joined by commas, text in apostrophes.
ValueRules sqlRules(const JobContext& job);

class ValueWriter {
 public:
  ValueWriter(JobContext& job, const ValueRules& rules);

  // Appends the values of the exported fields of record to line, with the
  // rules' delimiter between them. The record must be followed by
  // DbfTable::kRecordSlack readable bytes.
  void appendRecord(TextBuffer& line, const uint8_t* record);

 private:
  template <bool Sql>
  void appendColumns(TextBuffer& line, const uint8_t* record);
  template <bool Sql>
  void append(TextBuffer& line, int field, const uint8_t* record);
  enum class SqlForm { Text, Number, Bare, Date, DateTime, Logical };
  SqlForm sqlFormOf(const Field& f) const;
  uint8_t classify(const char* text, size_t n) const;
  bool isBlank(const Field& f, const uint8_t* bytes) const;
  size_t decodeValue(int field, const uint8_t* record, char* out) const;
  size_t placeTrimmedValue(int field, const uint8_t* record, char* p, uint8_t& seen) const;
  template <bool Sql>
  void appendValue(TextBuffer& line, int field, const uint8_t* record);
  void appendSqlDate(TextBuffer& line, int field, const uint8_t* record);
  void appendSqlLogical(TextBuffer& line, const Field& f, const uint8_t* bytes);
  void appendMemo(TextBuffer& line, int field, const uint8_t* record);
  size_t doubleSqlSpecials(char* text, size_t n) const;

  JobContext& job_;
  const ConversionOptions& o_;
  ValueRules rules_;
  bool sql_ = false;
  bool mySql_ = false;
  char delimiterFirst_ = ',';
  bool singleCharDelimiter_ = true;
  bool tabDelimiter_ = false;
  size_t valueRoom_ = 64;
  uint64_t delimiterWord_ = 0;
  uint64_t fillerWord_ = 0;
  std::string memo_;
};

}  // namespace tabrix
