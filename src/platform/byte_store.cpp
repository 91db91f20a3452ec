#include "platform/byte_store.h"

#include <cstring>

namespace tabrix {

size_t MemoryStore::readAt(uint64_t offset, void* buffer, size_t len) {
  if (len == 0 || offset >= bytes_.size()) return 0;
  size_t n = std::min<uint64_t>(len, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

bool MemoryStore::writeAt(uint64_t offset, const void* data, size_t len) {
  // Refuse absurd offsets rather than allocating gigabytes of padding.
  if (offset > (uint64_t{1} << 32)) return false;
  if (offset + len > bytes_.size()) bytes_.resize(offset + len);
  if (len) std::memcpy(bytes_.data() + offset, data, len);
  return true;
}

}  // namespace tabrix
