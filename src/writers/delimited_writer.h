#pragma once
// TXT, CSV and TSV: one delimited writer.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeDelimitedWriter(JobContext& job);

}  // namespace tabrix
