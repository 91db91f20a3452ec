// Writes a benchmark table: the same bytes for the same arguments on every run.
//
//   bench_make_table RECORDS dbase3|vfp OUTPUT.dbf
#include <cstdio>
#include <cstdlib>
#include <string>

#include "table_generator.h"

int main(int argc, char** argv) {
  using namespace tabrix::bench;
  TableDialect dialect;
  char* end = nullptr;
  const unsigned long long records = argc == 4 ? std::strtoull(argv[1], &end, 10) : 0;
  if (argc != 4 || end == argv[1] || *end != '\0' || !parseDialect(argv[2], dialect)) {
    std::fprintf(stderr, "usage: %s RECORDS dbase3|vfp OUTPUT.dbf\n", argv[0]);
    return 2;
  }
  std::string error;
  if (!writeBenchTable(argv[3], records, dialect, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
