#pragma once
// What the benchmark programs share: a scratch folder removed at the end, the
// tables to measure (generated, or one named by the environment) and a count
// of heap allocations.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tabrix::bench {

// A fresh folder under parent, removed with the object; path() is empty when
// it could not be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct BenchTable {
  std::string name;  // the benchmark name's last part
  std::string path;
};

// TABRIX_BENCH_TABLE=path.dbf gives that table alone; otherwise a dBase III
// and a Visual FoxPro table of TABRIX_BENCH_RECORDS records (defaultRecords
// when unset) are generated in folder. False, with the reason printed, on failure.
bool prepareBenchTables(const ScratchFolder& folder, uint64_t defaultRecords, std::vector<BenchTable>& tables);

// Heap allocations through the global operator new since the program started.
uint64_t allocationCount();

}  // namespace tabrix::bench
