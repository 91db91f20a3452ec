#include "convert/xml_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeXmlWriter(JobContext&) { return nullptr; }
std::unique_ptr<RecordWriter> makeSpreadsheetXmlWriter(JobContext&) { return nullptr; }

}  // namespace tabrix
