#include "convert/json_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeJsonWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
