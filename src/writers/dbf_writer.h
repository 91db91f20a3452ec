#pragma once
// DBF tables at four levels, with their memo files.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeDbfWriter(JobContext& job);

}  // namespace tabrix
