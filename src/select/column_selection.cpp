#include "select/column_selection.h"

#include <strings.h>

#include "platform/file.h"

namespace tabrix {

void parseColumnItems(std::string_view items, std::vector<std::string>& names, std::vector<std::string>& titles) {
  size_t start = 0;
  while (start <= items.size()) {
    const size_t comma = items.find(',', start);
    std::string_view item = items.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty()) {
      const size_t colon = item.find(':');
      names.emplace_back(item.substr(0, colon));
      titles.emplace_back(colon == std::string_view::npos ? item : item.substr(colon + 1));
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
}

bool readColumnsList(const std::string& path, std::vector<std::string>& names, std::vector<std::string>& titles,
                     std::string& error) {
  std::vector<std::string> lines;
  if (!readTextLines(path, lines, error)) return false;
  names.insert(names.end(), lines.begin(), lines.end());
  titles.insert(titles.end(), lines.begin(), lines.end());
  return true;
}

void applyColumnList(DbfTable& table, const std::vector<std::string>& names, const std::vector<std::string>& titles,
                     bool exclude) {
  if (names.empty()) return;
  for (int i = 0; i < table.fieldCount(); ++i) {
    const size_t field = static_cast<size_t>(i);
    size_t found = names.size();
    for (size_t k = 0; k < names.size(); ++k) {
      if (::strcasecmp(names[k].c_str(), table.fieldTitles[field].c_str()) == 0) {
        found = k;
        break;
      }
    }
    if (exclude) {
      if (found < names.size()) table.excludedFields[field] = 1;
    } else if (found < names.size()) {
      table.fieldTitles[field] = titles[found];
    } else {
      table.excludedFields[field] = 1;
    }
  }
}

}  // namespace tabrix
