// The cost of reading a table: walk every record with readNextRecord and decode
// every field with decodeFieldText into one reused buffer, as a conversion does
// before any writer sees a value. The table is a real file (read from the page
// cache after the first walk), so the numbers include the chunked reads.
//
// Tables: TABRIX_BENCH_TABLE names one to walk; otherwise a dBase III and a
// Visual FoxPro table of TABRIX_BENCH_RECORDS records (default 1,000,000,
// 120 bytes each) are generated in a temporary folder and removed at the end.
//
// Global operator new is replaced to count allocations, so the run also says
// whether the walk allocates per record or per value.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "table_generator.h"

namespace {

std::atomic<uint64_t> allocationCount{0};

void* countedAllocation(std::size_t size) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = countedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;
using tabrix::bench::TableDialect;

struct WalkTotals {
  std::string name;
  uint64_t records = 0;
  uint64_t values = 0;
  uint64_t allocations = 0;
};

// One entry per registered benchmark; printed after the run.
std::vector<WalkTotals> walkTotals;

void walkAndDecode(benchmark::State& state, const std::string& path, size_t totalsIndex) {
  tabrix::DbfTable table;
  std::string error;
  if (!table.open(path, tabrix::TableOpenOptions{}, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  size_t capacity = 0;
  for (int i = 0; i < table.fieldCount(); ++i) capacity = std::max(capacity, tabrix::decodedTextCapacity(table.field(i)));
  std::vector<char> buffer(capacity);
  const tabrix::DecodeOptions options;
  const int fields = table.fieldCount();

  WalkTotals& totals = walkTotals[totalsIndex];
  uint64_t records = 0;
  for (auto _ : state) {
    table.rewind();
    const uint64_t allocationsBefore = allocationCount.load(std::memory_order_relaxed);
    size_t textBytes = 0;
    while (const uint8_t* record = table.readNextRecord()) {
      for (int i = 0; i < fields; ++i) textBytes += tabrix::decodeFieldText(table, i, record, options, buffer.data());
      ++records;
    }
    totals.allocations += allocationCount.load(std::memory_order_relaxed) - allocationsBefore;
    benchmark::DoNotOptimize(textBytes);
  }
  if (records / std::max<uint64_t>(1, state.iterations()) != table.recordCount()) {
    state.SkipWithError("the walk did not yield every record");
    return;
  }
  totals.records += records;
  totals.values += records * static_cast<uint64_t>(fields);
  state.SetItemsProcessed(static_cast<int64_t>(records));
  state.SetBytesProcessed(static_cast<int64_t>(records * table.recordLength()));
  state.counters["records"] = static_cast<double>(table.recordCount());
  state.counters["table_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

uint64_t recordsFromEnvironment() {
  const char* text = std::getenv("TABRIX_BENCH_RECORDS");
  if (!text) return 1'000'000;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' ? n : 1'000'000;
}

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "tabrix-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  ScratchFolder scratch;
  std::vector<std::pair<std::string, std::string>> tables;  // benchmark name, path
  if (const char* given = std::getenv("TABRIX_BENCH_TABLE")) {
    tables.emplace_back(fs::path(given).filename().string(), given);
  } else {
    if (scratch.path().empty()) {
      std::fprintf(stderr, "cannot create a temporary folder\n");
      return 1;
    }
    const uint64_t records = recordsFromEnvironment();
    for (const auto& [name, dialect] : {std::pair{"dbase3", TableDialect::DBase3}, std::pair{"vfp", TableDialect::VisualFoxPro}}) {
      const std::string path = (scratch.path() / (std::string(name) + ".dbf")).string();
      const auto start = std::chrono::steady_clock::now();
      std::string error;
      if (!tabrix::bench::writeBenchTable(path, records, dialect, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::fprintf(stderr, "generated %s: %llu records, %llu bytes in %.2f s\n", path.c_str(),
                   static_cast<unsigned long long>(records), static_cast<unsigned long long>(fs::file_size(path)),
                   took.count());
      tables.emplace_back(name, path);
    }
  }

  walkTotals.resize(tables.size());
  for (size_t i = 0; i < tables.size(); ++i) {
    walkTotals[i].name = tables[i].first;
    benchmark::RegisterBenchmark(("DecodeTable/" + tables[i].first).c_str(), walkAndDecode, tables[i].second, i)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // The whole run's count shows the counting works: opening and generating allocate.
  std::printf("%llu allocations in the whole run\n",
              static_cast<unsigned long long>(allocationCount.load(std::memory_order_relaxed)));
  for (const WalkTotals& t : walkTotals) {
    if (t.records == 0) continue;
    std::printf("%s: %llu allocations during walks of %llu records (%llu values): %.6f per record\n", t.name.c_str(),
                static_cast<unsigned long long>(t.allocations), static_cast<unsigned long long>(t.records),
                static_cast<unsigned long long>(t.values), static_cast<double>(t.allocations) / t.records);
  }
  return 0;
}
