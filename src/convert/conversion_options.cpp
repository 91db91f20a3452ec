#include "convert/conversion_options.h"

#include <strings.h>

namespace tabrix {

namespace {

const OutputFormatInfo kFormats[] = {
    {".dbf", "dBase III files (*.dbf)", "dBase III files (*.dbf)"},
    {".dbf", "dBase IV files (*.dbf)", "dBase IV files (*.dbf)"},
    {".dbf", "Visual Foxpro (*.dbf)", "Visual Foxpro (*.dbf)"},
    {".dbf", "dBase Level 7 (*.dbf)", "dBase Level 7 files (*.dbf)"},
    {".txt", "Text files (*.txt)", "Text files (*.txt)"},
    {".htm", "HTML Documents (*.htm)", "HTML Documents (*.htm)"},
    {".prg", "Clipper, Foxpro files (*.prg)", "Clipper, Foxpro files (*.prg)"},
    {".xml", "XML files (*.xml)", "XML files (*.xml)"},
    {".xls", "Excel files (*.xls)", "Excel files (*.xls)"},
    {".xlsx", "Excel 2007-2024 files (*.xlsx)", "Excel 2007-2022 files (*.xlsx)"},
    {".csv", "CSV files (*.csv)", "CSV files (*.csv)"},
    {".sql", "SQL files (*.sql)", "SQL files (*.sql)"},
    {".rtf", "RTF files (*.rtf)", "RTF files (*.rtf)"},
    {".sdf", "SDF files (*.sdf)", "SDF files (*.sdf)"},
    {".tsv", "TSV files (*.tsv)", "TSV files (*.tsv)"},
    {".json", "JSON files (*.json)", "JSON files (*.json)"},
};

}  // namespace

OutputFormatInfo outputFormatInfo(OutputFormat format) {
  const int index = static_cast<int>(format);
  return kFormats[index >= 1 && index <= 16 ? index - 1 : 0];
}

OutputFamily familyOf(OutputFormat format) {
  const int index = static_cast<int>(format);
  return index <= 4 ? OutputFamily::Dbf : static_cast<OutputFamily>(index - 3);
}

bool outputFormatForExtension(const std::string& ext, OutputFormat& format) {
  bool found = false;
  for (int i = 0; i < 16; ++i) {
    if (::strcasecmp(kFormats[i].extension + 1, ext.c_str()) == 0) {
      format = static_cast<OutputFormat>(i + 1);
      found = true;
    }
  }
  return found;
}

}  // namespace tabrix
