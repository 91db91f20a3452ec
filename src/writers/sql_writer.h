#pragma once
// SQL scripts: DROP and CREATE TABLE, then one INSERT per record, in five dialects.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeSqlWriter(JobContext& job);

}  // namespace tabrix
