#pragma once
// A JSON array with one object per record.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeJsonWriter(JobContext& job);

}  // namespace tabrix
