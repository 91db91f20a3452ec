#pragma once
// Clipper scripts whose DBCREATE call recreates the table's structure.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makePrgWriter(JobContext& job);

}  // namespace tabrix
