#pragma once
// The shared string table of a workbook: strings added one by one are laid
// out in SST and CONTINUE records at once and streamed to a temporary file,
// so only the lookup table's every eighth position stays in memory.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "util/result.h"
#include "xl/biff_records.h"
#include "xl/xls_temp_file.h"

namespace tabrix::xl {

class SstWriter {
 public:
  // Adds a string, with its formatting runs (4 bytes each) and phonetic
  // bytes as a workbook stores them; returns its index.
  uint32_t add(std::u16string_view text, std::span<const uint8_t> runs = {}, std::span<const uint8_t> phonetic = {});
  uint32_t count() const { return count_; }
  // Counts cells that refer to the table (its stated total of uses).
  void addUses(uint32_t uses) { uses_ += uses; }
  // Bytes of the SST, CONTINUE and EXTSST records write() gives.
  uint64_t size();
  // Writes the records; sstStart is the position of the SST record in the
  // stream, which the lookup table (EXTSST) refers to.
  Result write(biff::StreamOut& out, uint64_t sstStart);

 private:
  void putByte(unsigned v) { biff::put8(record_, v); }
  size_t room() const { return biff::kMaxRecordData - record_.size(); }
  void closeRecord();

  TempFile file_;
  biff::Bytes record_;
  uint64_t written_ = 0;  // bytes of closed records
  bool started_ = false;
  uint32_t count_ = 0;
  uint32_t uses_ = 0;
  struct Bucket {
    uint32_t position;  // of the string, from the SST record's start
    uint16_t inRecord;  // of the string, from its record's start
  };
  std::vector<Bucket> buckets_;  // every eighth string
};

// Adds the strings of a workbook's SST record (and the CONTINUE records that
// follow it, given as segments) to into, in order, and their stated total of uses.
Result readSst(std::span<const std::span<const uint8_t>> segments, SstWriter& into);

}  // namespace tabrix::xl
