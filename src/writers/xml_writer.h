#pragma once
// XML documents: a structure section, then one element per record.
#include <memory>
#include <string>
#include <string_view>

#include "convert/record_writer.h"

namespace tabrix {

std::unique_ptr<RecordWriter> makeXmlWriter(JobContext& job);

// The XML element name for a title given in UTF-8: every character that may
// not stand in a name (a colon too, which would read as a namespace prefix)
// becomes '_', and '_' goes before a first character that may not begin a
// name (a digit, '-', '.'). An empty title gives "_".
std::string xmlElementName(std::string_view utf8Title);

}  // namespace tabrix
