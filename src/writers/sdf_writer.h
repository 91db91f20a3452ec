#pragma once
// SDF: one fixed-width line per record, the columns side by side without delimiters.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeSdfWriter(JobContext& job);

}  // namespace tabrix
