#include "convert/dbf_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeDbfWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
