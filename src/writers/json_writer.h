#pragma once
// JSON outputs: an array with one object per record, and JSON lines (one
// object per line). The array holds every value as a string unless typed
// values are asked for; JSON lines are always typed.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeJsonWriter(JobContext& job);
std::unique_ptr<RecordWriter> makeJsonLinesWriter(JobContext& job);

}  // namespace tabrix
