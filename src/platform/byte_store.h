#pragma once
// A random-access byte source that tables and memo files read through, so tests
// and fuzzers can feed memory buffers and the engine never cares where bytes live.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tabrix {

class ByteStore {
 public:
  virtual ~ByteStore() = default;
  virtual uint64_t size() const = 0;
  // Reads up to len bytes at offset; returns the count read (short at the end).
  virtual size_t readAt(uint64_t offset, void* buffer, size_t len) = 0;
  // Writes len bytes at offset, growing the store; false when not writable or failed.
  virtual bool writeAt(uint64_t offset, const void* data, size_t len) = 0;
};

// Bytes held in memory; writable.
class MemoryStore final : public ByteStore {
 public:
  MemoryStore() = default;
  explicit MemoryStore(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  size_t readAt(uint64_t offset, void* buffer, size_t len) override;
  bool writeAt(uint64_t offset, const void* data, size_t len) override;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace tabrix
