#pragma once
// What every writer family sees of a job, and the header/record/footer
// interface the job drives.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "platform/code_pages.h"
#include "platform/output_file.h"

namespace tabrix {

struct JobContext {
  const ConversionOptions& options;
  DbfTable& table;
  OutputFile& out;
  OutputFamily family;
  std::vector<int> columns;  // exported field indexes, in table order
  std::string delimiter;     // "tab" and "space" already resolved
  bool multiCharDelimiter = false;
  DecodeOptions decode;
  CodePageTables codePages;
  uint64_t recordsWritten = 0;  // counts the record being written
};

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void header() {}
  // lastPosition: the record stands at the last position of the walk.
  virtual void record(const uint8_t* record, bool lastPosition) = 0;
  virtual void footer() {}
};

// The title of a field in outputs: its name, or a title given for it.
inline const std::string& columnTitle(const DbfTable& table, int field) {
  return table.fieldTitles[static_cast<size_t>(field)];
}

}  // namespace tabrix
