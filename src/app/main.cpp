// Entry point: usage and version, and, until the conversions are in place, a
// look at one table.
#include <fmt/format.h>

#include <clocale>
#include <cstring>

#include "app/table_summary.h"

namespace {

constexpr const char* kVersionText = "Tabrix v7.82";

void printUsage() {
  fmt::print(
      "{}\n"
      "Usage: tabrix TABLE.dbf      show the table's fields and first records\n"
      "       tabrix --help         this text\n"
      "       tabrix --version      the version\n",
      kVersionText);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    fmt::print("{}\n", kVersionText);
    return 0;
  }
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    printUsage();
    return argc == 2 ? 0 : 2;
  }
  return tabrix::printTableSummary(argv[1], 10, stdout, stderr);
}
