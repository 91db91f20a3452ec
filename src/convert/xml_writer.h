#pragma once
// XML documents, and the Excel 2003 XML spreadsheet.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeXmlWriter(JobContext& job);
std::unique_ptr<RecordWriter> makeSpreadsheetXmlWriter(JobContext& job);

}  // namespace tabrix
