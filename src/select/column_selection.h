#pragma once
// Which columns a conversion writes and under which titles.
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"

namespace tabrix {

// "/COLUMNS:" items: NAME or NAME:TITLE separated by ','; trailing blanks removed.
void parseColumnItems(std::string_view items, std::vector<std::string>& names, std::vector<std::string>& titles);
// A file of column names, one per line; false (with the system's text) when it cannot be read.
bool readColumnsList(const std::string& path, std::vector<std::string>& names, std::vector<std::string>& titles,
                     std::string& error);
// Keeps (or with exclude, leaves out) the named fields in table order; a kept
// field takes the title given for it.
void applyColumnList(DbfTable& table, const std::vector<std::string>& names, const std::vector<std::string>& titles,
                     bool exclude);

}  // namespace tabrix
