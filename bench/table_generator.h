#pragma once
// Large DBF tables for benchmarks: fixed fields of 120 bytes per record (the
// deletion flag included) and values from a fixed pseudo-random seed, so every
// run measures the same bytes. Written by hand, not by the engine's writer, so
// the reader under test never reads its own output.
#include <cstdint>
#include <string>

namespace tabrix::bench {

enum class TableDialect {
  DBase3,        // version 0x03: C, N, D, L
  VisualFoxPro,  // version 0x30: C, N, D, L and the binary I, Y, B, T
};

constexpr uint32_t kBenchRecordLength = 120;

// Parses "dbase3" or "vfp".
bool parseDialect(const std::string& text, TableDialect& out);

// Writes a table of recordCount records to path; on failure error says why.
bool writeBenchTable(const std::string& path, uint64_t recordCount, TableDialect dialect, std::string& error);

}  // namespace tabrix::bench
