#pragma once
// A SQLite database with one table per converted DBF table, written through
// libsqlite3: typed columns, one transaction and one prepared INSERT a table.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeSqliteWriter(JobContext& job);

}  // namespace tabrix
