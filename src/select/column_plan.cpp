#include "select/column_plan.h"

#include <algorithm>

#include "platform/file.h"
#include "util/ascii.h"

namespace tabrix {

ColumnPlan planColumns(const DbfTable& table, const ColumnChoice& choice) {
  ColumnPlan plan;
  const size_t count = choice.order.empty() ? static_cast<size_t>(table.fieldCount()) : choice.order.size();
  for (size_t k = 0; k < count; ++k) {
    const int i = choice.order.empty() ? static_cast<int>(k) : choice.order[k];
    if (i < 0 || i >= table.fieldCount()) continue;
    const Field& f = table.field(i);
    if (f.kind.valueClass == ValueClass::NullFlags) continue;
    const std::string* title = &f.name;
    if (!choice.names.empty()) {
      const auto named = std::find_if(choice.names.begin(), choice.names.end(),
                                      [&](const std::string& name) { return equalsIgnoringCase(name, f.name); });
      const bool listed = named != choice.names.end();
      if (listed == choice.exclude) continue;
      if (listed) title = &choice.titles[static_cast<size_t>(named - choice.names.begin())];
    }
    plan.columns.push_back({i, &f, *title, f.kind.valueClass, f.length, f.decimals, textDecoderOf(f),
                            nullBitOf(table, i)});
    plan.textCapacity = std::max(plan.textCapacity, decodedTextCapacity(f));
  }
  return plan;
}

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

Result readColumnsList(const std::string& path, std::vector<std::string>& names, std::vector<std::string>& titles) {
  std::vector<std::string> lines;
  if (Result read = readTextLines(path, lines); !read) return read;
  names.insert(names.end(), lines.begin(), lines.end());
  titles.insert(titles.end(), lines.begin(), lines.end());
  return {};
}

}  // namespace tabrix
