#include "convert/rtf_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeRtfWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
