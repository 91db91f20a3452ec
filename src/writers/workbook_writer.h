#pragma once
// Excel workbooks (.xls and .xlsx) with typed cells, made new or with a sheet
// added to (or refilled in) an existing workbook.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeWorkbookWriter(JobContext& job);

}  // namespace tabrix
