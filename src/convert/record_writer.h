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
#include "platform/staged_file.h"
#include "select/column_plan.h"
#include "util/result.h"

namespace tabrix {

struct JobContext {
  const ConversionOptions& options;
  std::string outputPath;  // the file this job writes
  DbfTable& table;
  OutputFile& out;
  StagedFiles& files;  // every file of the job, committed at its end
  OutputFamily family;
  ColumnPlan plan;           // the columns written, in order
  std::string delimiter;     // "tab" and "space" already resolved
  bool multiCharDelimiter = false;
  DecodeOptions decode;
  CodePageTables codePages;
  uint64_t recordsWritten = 0;  // counts the record being written
  bool utf8 = false;            // values converted to UTF-8 (always for XML)
  uint64_t walkPosition = 0;    // position of the record being written in the walk, from 0
  // What a whole output still lost (values cut on the way): the output is
  // kept, the job reports this and fails.
  std::string warning;
};

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  // Writers that create their own file, or must look at an existing output
  // before writing into it, open the output themselves; for the others the
  // job opens job.out.
  virtual bool opensOutput() const { return false; }
  virtual Result open() { return {}; }
  virtual void header() {}
  // lastPosition: the record stands at the last position of the walk.
  virtual void record(const uint8_t* record, bool lastPosition) = 0;
  virtual void footer() {}
  // After the footer: finishes what the writer keeps besides job.out (its
  // own file, pages, a memo file).
  virtual Result close() { return {}; }
};

}  // namespace tabrix
