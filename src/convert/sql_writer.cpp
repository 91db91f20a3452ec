#include "convert/sql_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeSqlWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
