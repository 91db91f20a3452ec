// The cost of reading a table: walk every record with readNextRecord and decode
// every field with decodeFieldText into one reused buffer, as a conversion does
// before any writer sees a value. The table is a real file (read from the page
// cache after the first walk), so the numbers include the chunked reads.
//
// Tables: TABRIX_BENCH_TABLE names one to walk; otherwise a dBase III and a
// Visual FoxPro table of TABRIX_BENCH_RECORDS records (default 1,000,000,
// 120 bytes each) are generated in a temporary folder and removed at the end.
//
// Heap allocations are counted (allocation_count.cpp), so the run also says
// whether the walk allocates per record or per value.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"

namespace {

namespace fs = std::filesystem;
using tabrix::bench::allocationCount;

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
  if (const tabrix::Result opened = table.open(path, tabrix::TableOpenOptions{}); !opened) {
    state.SkipWithError(opened.reason().c_str());
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
    const uint64_t allocationsBefore = allocationCount();
    size_t textBytes = 0;
    while (const uint8_t* record = table.readNextRecord()) {
      for (int i = 0; i < fields; ++i) textBytes += tabrix::decodeFieldText(table, i, record, options, buffer.data());
      ++records;
    }
    totals.allocations += allocationCount() - allocationsBefore;
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const tabrix::bench::ScratchFolder scratch;
  std::vector<tabrix::bench::BenchTable> tables;
  if (!tabrix::bench::prepareBenchTables(scratch, 1'000'000, tables)) return 1;

  walkTotals.resize(tables.size());
  for (size_t i = 0; i < tables.size(); ++i) {
    walkTotals[i].name = tables[i].name;
    benchmark::RegisterBenchmark(("DecodeTable/" + tables[i].name).c_str(), walkAndDecode, tables[i].path, i)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // The whole run's count shows the counting works: opening and generating allocate.
  std::printf("%llu allocations in the whole run\n", static_cast<unsigned long long>(allocationCount()));
  for (const WalkTotals& t : walkTotals) {
    if (t.records == 0) continue;
    std::printf("%s: %llu allocations during walks of %llu records (%llu values): %.6f per record\n", t.name.c_str(),
                static_cast<unsigned long long>(t.allocations), static_cast<unsigned long long>(t.records),
                static_cast<unsigned long long>(t.values), static_cast<double>(t.allocations) / t.records);
  }
  return 0;
}
