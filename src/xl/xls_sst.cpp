#include "xl/xls_sst.h"

#include <algorithm>
#include <string>


namespace tabrix::xl {

using biff::put16;
using biff::put32;

void SstWriter::closeRecord() {
  uint8_t header[4];
  const uint16_t type = written_ == 0 ? biff::kSst : biff::kContinue;
  header[0] = static_cast<uint8_t>(type);
  header[1] = static_cast<uint8_t>(type >> 8);
  header[2] = static_cast<uint8_t>(record_.size());
  header[3] = static_cast<uint8_t>(record_.size() >> 8);
  file_.append(header, sizeof header);
  file_.append(record_.data(), record_.size());
  written_ += 4 + record_.size();
  record_.clear();
}

uint32_t SstWriter::add(std::u16string_view text, std::span<const uint8_t> runs, std::span<const uint8_t> phonetic) {
  if (!started_) {
    started_ = true;
    record_.assign(8, 0);  // the two counts, filled in when written
  }
  const bool compressed = biff::fitsCompressed(text);
  const size_t charSize = compressed ? 1 : 2;
  const size_t headerSize = 3 + (runs.empty() ? 0 : 2) + (phonetic.empty() ? 0 : 4);
  // A string's header and its first character share a record.
  if (room() < headerSize + (text.empty() ? 0 : charSize)) closeRecord();
  if (count_ % 8 == 0)
    buckets_.push_back({static_cast<uint32_t>(written_ + 4 + record_.size()), static_cast<uint16_t>(4 + record_.size())});
  put16(record_, static_cast<unsigned>(text.size()));
  putByte((compressed ? 0 : 1) | (phonetic.empty() ? 0 : 0x04) | (runs.empty() ? 0 : 0x08));
  if (!runs.empty()) put16(record_, static_cast<unsigned>(runs.size() / 4));
  if (!phonetic.empty()) put32(record_, static_cast<uint32_t>(phonetic.size()));
  for (size_t i = 0; i < text.size();) {
    size_t n = std::min(room() / charSize, text.size() - i);
    // A surrogate pair stays in one record: readers decode each record's part on its own.
    if (n > 0 && i + n < text.size() && text[i + n - 1] >= 0xD800 && text[i + n - 1] <= 0xDBFF) --n;
    if (n == 0) {
      // Characters going on in the next record start with their width flag again.
      closeRecord();
      putByte(compressed ? 0 : 1);
      continue;
    }
    biff::putChars(record_, text.substr(i, n), compressed);
    i += n;
  }
  for (size_t r = 0; r + 4 <= runs.size(); r += 4) {
    if (room() < 4) closeRecord();
    record_.insert(record_.end(), runs.begin() + r, runs.begin() + r + 4);
  }
  for (size_t p = 0; p < phonetic.size();) {
    if (room() == 0) closeRecord();
    const size_t n = std::min(room(), phonetic.size() - p);
    record_.insert(record_.end(), phonetic.begin() + p, phonetic.begin() + p + n);
    p += n;
  }
  return count_++;
}

namespace {

// Strings per lookup entry: a multiple of 8 that keeps the entries at 128 or fewer.
uint32_t stringsPerBucket(uint32_t count) {
  const uint32_t per = std::max<uint32_t>(8, (count + 127) / 128);
  return (per + 7) / 8 * 8;
}

}  // namespace

uint64_t SstWriter::size() {
  if (!started_) return 0;
  if (!record_.empty()) closeRecord();
  const uint32_t per = stringsPerBucket(count_);
  return written_ + 6 + 8 * uint64_t{(count_ + per - 1) / per};
}

Result SstWriter::write(biff::StreamOut& out, uint64_t sstStart) {
  if (!started_) return {};
  size();
  if (!file_.rewind()) return Result::failure(file_.errorText());
  std::vector<uint8_t> chunk(1 << 16);
  bool first = true;
  for (size_t n; (n = file_.read(chunk.data(), chunk.size())) > 0;) {
    if (first) {
      biff::set32(&chunk[4], std::max(uses_, count_));
      biff::set32(&chunk[8], count_);
      first = false;
    }
    out.write({chunk.data(), n});
  }
  if (file_.failed()) return Result::failure(file_.errorText());

  const uint32_t per = stringsPerBucket(count_);
  biff::Bytes ext;
  const size_t start = biff::beginRecord(ext, biff::kExtSst);
  put16(ext, per);
  for (uint32_t s = 0; s < count_; s += per) {
    const Bucket& b = buckets_[s / 8];
    put32(ext, static_cast<uint32_t>(sstStart + b.position));
    put16(ext, b.inRecord);
    put16(ext, 0);
  }
  biff::endRecord(ext, start);
  out.write(ext);
  return {};
}

namespace {

// Reads the bytes of SST and CONTINUE records as one sequence, telling where
// a record ends (character data starting a record begins with a width flag).
class Segments {
 public:
  explicit Segments(std::span<const std::span<const uint8_t>> segments) : segments_(segments) {}
  bool atRecordStart() {
    skipEmpty();
    return pos_ == 0 && seg_ > 0;
  }
  bool byte(uint8_t& b) {
    skipEmpty();
    if (seg_ >= segments_.size()) return false;
    b = segments_[seg_][pos_++];
    return true;
  }
  bool bytes(size_t n, uint32_t& value) {
    value = 0;
    for (size_t i = 0; i < n; ++i) {
      uint8_t b;
      if (!byte(b)) return false;
      value |= uint32_t{b} << (8 * i);
    }
    return true;
  }
  bool done() {
    skipEmpty();
    return seg_ >= segments_.size();
  }

 private:
  void skipEmpty() {
    while (seg_ < segments_.size() && pos_ >= segments_[seg_].size()) {
      ++seg_;
      pos_ = 0;
    }
  }
  std::span<const std::span<const uint8_t>> segments_;
  size_t seg_ = 0, pos_ = 0;
};

}  // namespace

Result readSst(std::span<const std::span<const uint8_t>> segments, SstWriter& into) {
  const Result damaged = Result::failure("its shared string table is damaged");
  Segments in(segments);
  uint32_t total, unique;
  if (!in.bytes(4, total) || !in.bytes(4, unique)) return damaged;
  std::u16string text;
  std::vector<uint8_t> runs, phonetic;
  for (uint32_t k = 0; k < unique && !in.done(); ++k) {
    uint32_t length, flags, runCount = 0, phoneticSize = 0;
    if (!in.bytes(2, length) || !in.bytes(1, flags)) return damaged;
    if ((flags & 0x08) && !in.bytes(2, runCount)) return damaged;
    if ((flags & 0x04) && !in.bytes(4, phoneticSize)) return damaged;
    bool wide = flags & 1;
    text.clear();
    for (uint32_t i = 0; i < length; ++i) {
      uint32_t c;
      if (in.atRecordStart()) {
        uint32_t flag;
        if (!in.bytes(1, flag)) return damaged;
        wide = flag & 1;
      }
      if (!in.bytes(wide ? 2 : 1, c)) return damaged;
      text.push_back(static_cast<char16_t>(c));
    }
    runs.clear();
    phonetic.clear();
    uint8_t b;
    for (uint64_t i = 0; i < uint64_t{runCount} * 4; ++i) {
      if (!in.byte(b)) return damaged;
      runs.push_back(b);
    }
    for (uint32_t i = 0; i < phoneticSize; ++i) {
      if (!in.byte(b)) return damaged;
      phonetic.push_back(b);
    }
    into.add(text, runs, phonetic);
  }
  into.addUses(total);
  return {};
}

}  // namespace tabrix::xl
