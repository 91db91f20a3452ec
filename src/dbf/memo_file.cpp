#include "dbf/memo_file.h"

#include <algorithm>
#include <cstring>

#include "dbf/dbf_format.h"
#include "platform/file.h"
#include "platform/path_lookup.h"
#include "util/ascii.h"

namespace tabrix {

namespace {

constexpr size_t kMemoHeaderSize = 512;
constexpr size_t kBlockHeaderSize = 8;
constexpr uint8_t kDBase4Mark[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr size_t kInitialBuffer = 64000;
constexpr size_t kScanStep = 64 * 1024;

}  // namespace

MemoFormat memoFormatOf(uint8_t version) {
  if (isFoxProMemo(version)) return MemoFormat::FoxPro;
  if (isSmt(version)) return MemoFormat::Smt;
  if (version == 0x8B || isLevel7(version)) return MemoFormat::DBase4;
  return MemoFormat::DBase3;
}

std::string memoExtensionFor(const std::string& tablePath, uint8_t version) {
  const std::string standard = memoExtensionOf(version);
  if (!isFoxProMemo(version)) return standard;
  const size_t slash = tablePath.rfind('/');
  const size_t dot = tablePath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return standard;
  static const char* const kPairs[][2] = {{"dbc", "dct"}, {"scx", "sct"}, {"vcx", "vct"}, {"frx", "frt"},
                                          {"lbx", "lbt"}, {"mnx", "mnt"}, {"pjx", "pjt"}};
  for (const auto& pair : kPairs)
    if (equalsIgnoringCase(std::string_view(tablePath).substr(dot + 1), pair[0])) return pair[1];
  return standard;
}

MemoFile::MemoFile(std::unique_ptr<ByteStore> store, uint8_t version, MemoAccess access)
    : store_(std::move(store)), version_(version), format_(memoFormatOf(version)) {
  if (!store_) return;
  if (access == MemoAccess::Write && store_->size() == 0) writeFreshHeader();
  else readHeader();
}

std::unique_ptr<MemoFile> MemoFile::openFor(const std::string& tablePath, uint8_t version) {
  // Only read: nothing is ever created or written beside a source table.
  std::string path = siblingWithExtension(tablePath, memoExtensionFor(tablePath, version));
  auto file = std::make_unique<File>();
  if (!file->open(path, FileMode::ReadOnly)) file.reset();
  auto memo = std::make_unique<MemoFile>(std::move(file), version, MemoAccess::Read);
  memo->path_ = path;
  return memo;
}

Result MemoFile::openForWriting(const std::string& memoPath, uint8_t version, std::unique_ptr<MemoFile>& memo) {
  memo.reset();
  auto file = std::make_unique<File>();
  if (Result opened = file->open(memoPath, FileMode::ReadWriteCreate); !opened) return opened;
  memo = std::make_unique<MemoFile>(std::move(file), version, MemoAccess::Write);
  memo->path_ = memoPath;
  return {};
}

void MemoFile::readHeader() {
  uint8_t h[kMemoHeaderSize] = {};
  store_->readAt(0, h, sizeof h);
  switch (format_) {
    case MemoFormat::FoxPro:
      blockSize_ = static_cast<uint32_t>(h[6] << 8 | h[7]);
      nextFreeBlock_ = readBe32(h);
      break;
    case MemoFormat::DBase4: {
      uint32_t size = readLe16(h + 20);
      size &= ~1u;  // an odd size is taken one lower
      blockSize_ = size == 0 ? 512 : size;
      nextFreeBlock_ = readLe32(h);
      break;
    }
    case MemoFormat::Smt:
      blockSize_ = readLe32(h + 4);
      nextFreeBlock_ = readLe32(h);
      break;
    case MemoFormat::DBase3:
      blockSize_ = 512;
      nextFreeBlock_ = readLe32(h);
      break;
  }
  headerSound_ = store_->size() >= kMemoHeaderSize && blockSize_ != 0;
}

void MemoFile::writeFreshHeader() {
  uint8_t h[kMemoHeaderSize] = {};
  if (format_ == MemoFormat::FoxPro) {
    blockSize_ = 64;
    nextFreeBlock_ = 8;
    writeBe32(h, nextFreeBlock_);
    h[6] = 0;
    h[7] = 64;
  } else if (version_ == 0x8B || (version_ & 0x80) || (version_ & 0x08)) {
    blockSize_ = 512;
    nextFreeBlock_ = 1;
    writeLe32(h, nextFreeBlock_);
    writeLe16(h + 20, blockSize_);
  } else {
    blockSize_ = 512;
    h[16] = 3;
  }
  headerSound_ = store_->writeAt(0, h, sizeof h);
}

uint64_t MemoFile::blockCount() const {
  if (!store_ || blockSize_ == 0) return 0;
  return store_->size() / blockSize_;
}

bool MemoFile::blockInFile(uint32_t block) const {
  if (!store_ || block == 0 || blockSize_ == 0) return false;
  return uint64_t{block} * blockSize_ < store_->size();
}

uint64_t MemoFile::memoLength(uint32_t block) {
  if (!blockInFile(block)) return 0;
  const uint64_t start = uint64_t{block} * blockSize_;
  const uint64_t available = store_->size() - start;
  if (format_ == MemoFormat::FoxPro || format_ == MemoFormat::DBase4) {
    uint8_t h[kBlockHeaderSize] = {};
    if (store_->readAt(start, h, sizeof h) != sizeof h) return 0;
    uint64_t length;
    if (format_ == MemoFormat::FoxPro) length = readBe32(h + 4);
    else length = std::memcmp(h, kDBase4Mark, 4) == 0 ? readLe32(h + 4) : 0;
    return std::min<uint64_t>(length, available);
  }
  // dBase III and SMT: whole blocks up to the one holding the end mark.
  std::vector<char> scratch;
  bool found = false;
  const size_t text = scanToEndMark(start, available, scratch, SIZE_MAX, found);
  const uint64_t blocks = (text + blockSize_) / blockSize_;
  return std::min<uint64_t>(blocks * blockSize_, available);
}

// The text from start up to the first 0x1A, or to the end of the file: at most
// limit bytes, read in steps so a missing end mark costs no more than the file.
// found tells whether the end mark was reached.
size_t MemoFile::scanToEndMark(uint64_t start, uint64_t available, std::vector<char>& out, size_t limit,
                               bool& found) {
  out.clear();
  found = false;
  uint64_t scanned = 0;
  while (scanned < available && scanned < limit) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(kScanStep, available - scanned));
    const size_t old = out.size();
    out.resize(old + step);
    const size_t got = store_->readAt(start + scanned, out.data() + old, step);
    out.resize(old + got);
    if (const void* end = std::memchr(out.data() + old, kEndOfFile, got)) {
      out.resize(static_cast<size_t>(static_cast<const char*>(end) - out.data()));
      found = true;
      break;
    }
    if (got < step) break;
    scanned += got;
  }
  if (out.size() > limit) out.resize(limit);
  return out.size();
}

// Reads the text of the memo at block into out (at most limit bytes) and
// returns its length. Every length is bounded by what the file holds; whole
// tells whether the file held the memo the block number points at.
size_t MemoFile::readInto(uint32_t block, uint32_t smtLength, std::vector<char>& out, size_t limit,
                          bool& whole) {
  out.clear();
  whole = false;
  if (!headerSound_ || !blockInFile(block)) return 0;
  const uint64_t start = uint64_t{block} * blockSize_;
  const uint64_t available = store_->size() - start;
  uint64_t length = 0;
  uint64_t textStart = start;
  switch (format_) {
    case MemoFormat::FoxPro:
    case MemoFormat::DBase4: {
      uint8_t h[kBlockHeaderSize] = {};
      if (store_->readAt(start, h, sizeof h) != sizeof h) return 0;
      if (format_ == MemoFormat::FoxPro) {
        length = readBe32(h + 4);
      } else if (std::memcmp(h, kDBase4Mark, 4) == 0) {
        const uint32_t stored = readLe32(h + 4);
        length = stored > kBlockHeaderSize ? stored - kBlockHeaderSize : 0;
      } else {
        return 0;  // no memo starts at this block
      }
      textStart = start + kBlockHeaderSize;
      const uint64_t room = available - kBlockHeaderSize;  // the 8 header bytes were read
      whole = length <= room;
      length = std::min(length, room);
      break;
    }
    case MemoFormat::Smt:
      whole = smtLength <= available;
      length = std::min<uint64_t>(smtLength, available);
      break;
    case MemoFormat::DBase3:
      // Without its end mark the text runs to the end of the file: cut short.
      return scanToEndMark(start, available, out, limit, whole);
  }
  length = std::min<uint64_t>(length, limit);
  out.resize(static_cast<size_t>(length));
  const size_t got = store_->readAt(textStart, out.data(), out.size());
  whole = whole && got == out.size();
  out.resize(got);
  return got;
}

MemoRead MemoFile::read(uint32_t block, uint32_t smtLength) {
  if (buffer_.capacity() < kInitialBuffer) buffer_.reserve(kInitialBuffer);
  MemoRead result;
  const size_t n = readInto(block, smtLength, buffer_, SIZE_MAX, result.whole);
  result.text = {buffer_.data(), n};
  return result;
}

size_t MemoFile::readMemo(uint32_t block, uint32_t smtLength, char* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  bool whole = false;
  const size_t n = readInto(block, smtLength, buffer_, capacity, whole);
  std::memcpy(buffer, buffer_.data(), n);
  if (n < capacity) buffer[n] = '\0';
  return n;
}

bool MemoFile::writeNextFreeBlock() {
  uint8_t b[4];
  if (format_ == MemoFormat::FoxPro) writeBe32(b, nextFreeBlock_);
  else writeLe32(b, nextFreeBlock_);
  return store_->writeAt(0, b, sizeof b);
}

uint32_t MemoFile::writeMemo(std::string_view text) {
  if (!store_ || blockSize_ == 0 || format_ == MemoFormat::Smt) return 0;
  // A partly filled last block is never overwritten: memos start on a fresh block.
  const uint64_t blocksNow = (store_->size() + blockSize_ - 1) / blockSize_;
  uint64_t first;
  std::vector<uint8_t> bytes;
  if (format_ == MemoFormat::DBase3) {
    // The block just past the end is skipped, so each memo follows an empty block.
    first = blocksNow + 1;
    const uint64_t used = (text.size() + 2 + 511) / 512;
    bytes.assign(static_cast<size_t>(used * 512), 0);
    std::memcpy(bytes.data(), text.data(), text.size());
    bytes[text.size()] = kEndOfFile;
    bytes[text.size() + 1] = kEndOfFile;
    if (first + used > UINT32_MAX) return 0;
    nextFreeBlock_ = static_cast<uint32_t>(first + used);
  } else {
    first = blocksNow;
    const uint64_t used = (text.size() + kBlockHeaderSize + blockSize_ - 1) / blockSize_;
    bytes.assign(static_cast<size_t>(used * blockSize_), 0);
    if (format_ == MemoFormat::FoxPro) {
      writeBe32(bytes.data(), 1);
      writeBe32(bytes.data() + 4, static_cast<uint32_t>(text.size()));
    } else {
      std::memcpy(bytes.data(), kDBase4Mark, 4);
      writeLe32(bytes.data() + 4, static_cast<uint32_t>(text.size() + kBlockHeaderSize));
    }
    std::memcpy(bytes.data() + kBlockHeaderSize, text.data(), text.size());
    if (first + used > UINT32_MAX) return 0;
    nextFreeBlock_ = static_cast<uint32_t>(first + used);
  }
  if (!store_->writeAt(first * blockSize_, bytes.data(), bytes.size()) || !writeNextFreeBlock()) {
    writeFailed_ = true;
    return 0;
  }
  return static_cast<uint32_t>(first);
}

}  // namespace tabrix
