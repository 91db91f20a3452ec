#pragma once
// A general RTF writer: header with font and colour tables, document and
// section formatting, then paragraphs and table rows in the order asked.
namespace tabrix {

class RtfDocument;

}  // namespace tabrix
