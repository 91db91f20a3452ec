#include "bench_support.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "table_generator.h"

namespace tabrix::bench {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const fs::path& parent) {
  std::string pattern = (parent / "tabrix-bench-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

namespace {

uint64_t recordsFromEnvironment(uint64_t fallback) {
  const char* text = std::getenv("TABRIX_BENCH_RECORDS");
  if (!text) return fallback;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' ? n : fallback;
}

}  // namespace

bool prepareBenchTables(const ScratchFolder& folder, uint64_t defaultRecords, std::vector<BenchTable>& tables) {
  if (const char* given = std::getenv("TABRIX_BENCH_TABLE")) {
    tables.push_back({fs::path(given).filename().string(), given});
    return true;
  }
  if (folder.path().empty()) {
    std::fprintf(stderr, "cannot create a temporary folder\n");
    return false;
  }
  const uint64_t records = recordsFromEnvironment(defaultRecords);
  for (const auto& [name, dialect] : {std::pair{"dbase3", TableDialect::DBase3}, std::pair{"vfp", TableDialect::VisualFoxPro}}) {
    const std::string path = (folder.path() / (std::string(name) + ".dbf")).string();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!writeBenchTable(path, records, dialect, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "generated %s: %llu records, %llu bytes in %.2f s\n", path.c_str(),
                 static_cast<unsigned long long>(records), static_cast<unsigned long long>(fs::file_size(path)),
                 took.count());
    tables.push_back({name, path});
  }
  return true;
}

}  // namespace tabrix::bench
