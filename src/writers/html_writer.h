#pragma once
// HTML pages: one table or one form per record, optionally split into linked pages.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeHtmlWriter(JobContext& job);

}  // namespace tabrix
