#include "table_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "dbf/dbf_format.h"
#include "support/result_check.h"

namespace tabrix::test {

TableBuilder& TableBuilder::field(const std::string& name, char type, uint16_t length, uint8_t decimals) {
  fields_.push_back({name, type, length, decimals});
  return *this;
}

TableBuilder& TableBuilder::record(const std::vector<std::string>& values, bool deleted) {
  std::string rec(1, deleted ? '*' : ' ');
  for (size_t i = 0; i < fields_.size(); ++i) {
    std::string v = i < values.size() ? values[i] : std::string();
    v.resize(fields_[i].length, ' ');
    rec += v;
  }
  records_.push_back(rec);
  return *this;
}

std::vector<uint8_t> TableBuilder::bytes() const {
  const bool level7 = isLevel7(version_);
  const bool vfp = isVisualFoxPro(version_);
  uint32_t recordLength = 1;
  for (const FieldSpec& f : fields_) recordLength += f.length;
  const size_t descriptorSize = level7 ? 48 : 32;
  size_t headerLength = 32 + (level7 ? 36 : 0) + descriptorSize * fields_.size() + 1 + (vfp ? 263 : 0);
  std::vector<uint8_t> out(headerLength, 0);
  out[0] = version_;
  out[1] = 124;
  out[2] = 5;
  out[3] = 17;
  writeLe32(&out[4], headerCount_ >= 0 ? static_cast<uint32_t>(headerCount_) : static_cast<uint32_t>(records_.size()));
  writeLe16(&out[8], static_cast<uint32_t>(headerLength));
  writeLe16(&out[10], recordLength);
  out[28] = flags_;
  out[29] = codePage_;
  size_t at = 32;
  if (level7) {
    std::memcpy(&out[at], "DBWINUS0", 8);
    at += 36;
  }
  for (const FieldSpec& f : fields_) {
    uint8_t* d = &out[at];
    std::memcpy(d, f.name.data(), std::min(f.name.size(), level7 ? size_t{31} : size_t{10}));
    if (level7) {
      d[32] = static_cast<uint8_t>(f.type);
      d[33] = static_cast<uint8_t>(f.length);
      d[34] = f.decimals;
    } else {
      d[11] = static_cast<uint8_t>(f.type);
      d[16] = static_cast<uint8_t>(f.length & 0xFF);
      d[17] = f.type == 'C' ? static_cast<uint8_t>(f.length >> 8) : f.decimals;
    }
    at += descriptorSize;
  }
  out[at] = kDescriptorTerminator;
  for (const std::string& r : records_) out.insert(out.end(), r.begin(), r.end());
  if (endMark_) out.push_back(kEndOfFile);
  return out;
}

std::unique_ptr<DbfTable> TableBuilder::open(std::vector<uint8_t> memo, TableOpenOptions options) const {
  auto table = std::make_unique<DbfTable>();
  std::unique_ptr<ByteStore> memoStore;
  if (!memo.empty()) memoStore = std::make_unique<MemoryStore>(std::move(memo));
  EXPECT_TRUE(test::succeeded(table->openFrom(std::make_unique<MemoryStore>(bytes()), std::move(memoStore), options)));
  return table;
}

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  writeLe32(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}

std::string le64(uint64_t v) {
  std::string s(8, '\0');
  for (int i = 0; i < 8; ++i) s[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string doubleLe(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return le64(bits);
}

std::vector<uint8_t> foxProMemoFile(const std::vector<std::string>& memos) {
  std::vector<uint8_t> memo(512, 0);
  memo[7] = 64;
  for (size_t i = 0; i < memos.size(); ++i) {
    memo.resize(512 + i * 64 + 8 + memos[i].size(), 0);
    uint8_t* block = memo.data() + 512 + i * 64;
    writeBe32(block, 1);
    writeBe32(block + 4, static_cast<uint32_t>(memos[i].size()));
    std::memcpy(block + 8, memos[i].data(), memos[i].size());
  }
  return memo;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tabrix::test
