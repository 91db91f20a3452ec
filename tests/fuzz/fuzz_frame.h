#pragma once
// One fuzz input carries a table and its memo file: a 4-byte little-endian
// length of the table part, the table bytes, then the memo bytes. An input too
// short for its frame (or whose length points past its end) is a table alone,
// so raw DBF files work as inputs too.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tabrix::fuzz {

struct FuzzParts {
  std::span<const uint8_t> table;
  std::span<const uint8_t> memo;
  bool hasMemo = false;  // framed: the memo part exists, possibly empty
};

inline FuzzParts splitFuzzInput(const uint8_t* data, size_t size) {
  if (size >= 4) {
    const uint32_t tableSize =
        uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
    if (tableSize <= size - 4)
      return {{data + 4, tableSize}, {data + 4 + tableSize, size - 4 - tableSize}, true};
  }
  return {{data, size}, {}, false};
}

inline std::vector<uint8_t> packFuzzInput(std::span<const uint8_t> table, std::span<const uint8_t> memo) {
  std::vector<uint8_t> out;
  out.reserve(4 + table.size() + memo.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(table.size() >> (8 * i)));
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), memo.begin(), memo.end());
  return out;
}

}  // namespace tabrix::fuzz
