#include "convert/html_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeHtmlWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
