#include "convert/prg_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makePrgWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
