#pragma once
// TXT, CSV and TSV (one delimited writer) and SDF (fixed width).
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeDelimitedWriter(JobContext& job);
std::unique_ptr<RecordWriter> makeSdfWriter(JobContext& job);

}  // namespace tabrix
