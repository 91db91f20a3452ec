#pragma once
// RTF documents holding the table as one RTF table.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeRtfWriter(JobContext& job);

}  // namespace tabrix
