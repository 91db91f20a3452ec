#pragma once
// One conversion job: one open table into one output. The job owns the walk,
// the record tests and the phases; each writer family only renders.
#include <cstdint>
#include <string>

#include "convert/conversion_options.h"
#include "dbf/dbf_table.h"

namespace tabrix {

// What the front end hears while a job runs.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // After each record of the walk: position (from 1) of the table's count.
  virtual void progress(uint64_t current, uint64_t total) = 0;
  // Asked after written records at positions that are multiples of 10.
  virtual bool cancelRequested() { return false; }
};

struct ConversionResult {
  bool ok = false;  // the output was written completely
  uint64_t recordsWritten = 0;
  bool cancelled = false;
  std::string error;  // the reason when not ok
};

// Converts table into options.outputPath. Failures are written to
// options.logFile (error lines also reach its error stream) and returned.
ConversionResult runConversion(const ConversionOptions& options, DbfTable& table, ConversionObserver* observer);

}  // namespace tabrix
