#pragma once
// The Excel 2003 XML spreadsheet (SpreadsheetML), written in place of a
// workbook when one is asked for as XML.
#include <memory>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeSpreadsheetXmlWriter(JobContext& job);

}  // namespace tabrix
