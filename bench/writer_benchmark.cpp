// The cost of a whole conversion job: runConversion from an open table into a
// CSV, a MySQL script and a JSON file, each over a dBase III and a Visual
// FoxPro table. The output goes to a file under /dev/shm when that folder
// exists, so the numbers are the job's CPU cost and not disk speed.
//
// Tables: TABRIX_BENCH_TABLE names one to convert; otherwise a dBase III and a
// Visual FoxPro table of TABRIX_BENCH_RECORDS records (default 200,000,
// 120 bytes each) are generated in a temporary folder and removed at the end.
//
// Heap allocations are counted (allocation_count.cpp). After the run one line
// per benchmark gives the allocations per job and per record, and how many
// more one extra record costs: a job of the last half of the table is
// compared with a job of all of it, so a constant cost per job cancels out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench_support.h"
#include "convert/conversion.h"
#include "convert/conversion_options.h"
#include "dbf/dbf_table.h"

namespace {

namespace fs = std::filesystem;
using tabrix::bench::allocationCount;

struct FormatCase {
  const char* name;
  tabrix::OutputFormat format;
  const char* extension;
};

constexpr FormatCase kFormats[] = {
    {"Csv", tabrix::OutputFormat::Csv, ".csv"},
    {"Sql", tabrix::OutputFormat::Sql, ".sql"},
    {"Json", tabrix::OutputFormat::Json, ".json"},
};

struct JobCase {
  std::string name;  // format/table
  tabrix::OutputFormat format;
  std::string sourcePath;
  std::string outputPath;
  // Summed over every timed job; printed after the run.
  uint64_t jobs = 0;
  uint64_t records = 0;
  uint64_t allocations = 0;
};

std::vector<JobCase> jobCases;

tabrix::ConversionOptions optionsFor(const JobCase& c) {
  tabrix::ConversionOptions o;
  o.outputFormat = c.format;
  o.outputPath = c.outputPath;
  o.commandLineMode = true;
  o.openWhenDone = false;
  o.logFile = nullptr;
  o.exportFieldNames = true;
  o.sqlDialect = tabrix::SqlDialect::MySql;
  return o;
}

bool openTable(const std::string& path, tabrix::DbfTable& table, std::string& error) {
  const tabrix::Result opened = table.open(path, tabrix::TableOpenOptions{});
  error = opened.reason();
  return opened.ok();
}

void convertTable(benchmark::State& state, size_t caseIndex) {
  JobCase& c = jobCases[caseIndex];
  tabrix::DbfTable table;
  std::string error;
  if (!openTable(c.sourcePath, table, error)) {
    state.SkipWithError((c.sourcePath + ": " + error).c_str());
    return;
  }
  const tabrix::ConversionOptions options = optionsFor(c);
  uint64_t records = 0;
  for (auto _ : state) {
    const uint64_t allocationsBefore = allocationCount();
    const tabrix::ConversionResult result = tabrix::runConversion(options, table, nullptr);
    c.allocations += allocationCount() - allocationsBefore;
    if (!result.ok) {
      state.SkipWithError(("conversion failed: " + result.error).c_str());
      return;
    }
    if (result.recordsWritten != table.recordCount()) {
      state.SkipWithError("the conversion did not write every record");
      return;
    }
    records += result.recordsWritten;
    ++c.jobs;
  }
  c.records += records;
  std::error_code ec;
  const uintmax_t outputSize = fs::file_size(c.outputPath, ec);
  state.SetItemsProcessed(static_cast<int64_t>(records));
  state.SetBytesProcessed(static_cast<int64_t>(records * table.recordLength()));
  state.counters["records"] = static_cast<double>(table.recordCount());
  state.counters["output_MB"] = ec ? 0.0 : static_cast<double>(outputSize) / 1e6;
}

// Allocations of one untimed job over the last `last` records (0: all of them);
// -1 when the job fails.
int64_t allocationsOfJob(const JobCase& c, int64_t last) {
  tabrix::DbfTable table;
  std::string error;
  if (!openTable(c.sourcePath, table, error)) return -1;
  tabrix::ConversionOptions options = optionsFor(c);
  options.lastRecords = last;
  const uint64_t before = allocationCount();
  const bool ok = tabrix::runConversion(options, table, nullptr).ok;
  const uint64_t after = allocationCount();
  return ok ? static_cast<int64_t>(after - before) : -1;
}

void printAllocations(const JobCase& c) {
  if (c.jobs == 0) return;
  const uint64_t recordsPerJob = c.records / c.jobs;
  const int64_t half = static_cast<int64_t>(recordsPerJob / 2);
  const int64_t ofAll = allocationsOfJob(c, 0);
  const int64_t ofHalf = allocationsOfJob(c, half);
  std::printf("%s: %.1f allocations per job, %.6f per record", c.name.c_str(),
              static_cast<double>(c.allocations) / static_cast<double>(c.jobs),
              static_cast<double>(c.allocations) / static_cast<double>(c.records));
  if (ofAll < 0 || ofHalf < 0 || recordsPerJob - static_cast<uint64_t>(half) == 0) {
    std::printf("; growth not measured\n");
    return;
  }
  const double growth =
      static_cast<double>(ofAll - ofHalf) / static_cast<double>(recordsPerJob - static_cast<uint64_t>(half));
  std::printf("; %lld for all %llu records, %lld for the last %lld: %.6f more per record%s\n",
              static_cast<long long>(ofAll), static_cast<unsigned long long>(recordsPerJob),
              static_cast<long long>(ofHalf), static_cast<long long>(half), growth,
              ofAll > ofHalf ? "  <-- GROWS WITH THE RECORDS" : "");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const tabrix::bench::ScratchFolder scratch;
  std::vector<tabrix::bench::BenchTable> tables;
  if (!tabrix::bench::prepareBenchTables(scratch, 200'000, tables)) return 1;

  // Outputs on tmpfs when there is one: the job's cost without the disk's.
  std::error_code ec;
  const bool memoryFolder = fs::is_directory("/dev/shm", ec);
  const tabrix::bench::ScratchFolder outputFolder(memoryFolder ? fs::path("/dev/shm") : fs::temp_directory_path());
  if (outputFolder.path().empty()) {
    std::fprintf(stderr, "cannot create a folder for the outputs\n");
    return 1;
  }
  std::fprintf(stderr, "outputs in %s%s\n", outputFolder.path().c_str(), memoryFolder ? " (memory)" : " (disk)");

  for (const FormatCase& f : kFormats)
    for (const tabrix::bench::BenchTable& t : tables)
      jobCases.push_back({std::string(f.name) + "/" + t.name, f.format, t.path,
                          (outputFolder.path() / (t.name + f.extension)).string()});
  for (size_t i = 0; i < jobCases.size(); ++i)
    benchmark::RegisterBenchmark(("Convert/" + jobCases[i].name).c_str(), convertTable, i)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  for (const JobCase& c : jobCases) printAllocations(c);
  return 0;
}
