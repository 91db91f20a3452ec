#pragma once
// An unnamed temporary file that a sheet's rows (or the shared strings) are
// streamed to while a book is written, and read back in order when it is saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tabrix::xl {

class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Appends len bytes (the file is made on the first call); false once
  // anything failed.
  bool append(const void* data, size_t len);
  uint64_t size() const { return size_; }
  // Starts reading from the beginning; read() then gives the bytes in order
  // (fewer than len at the end).
  bool rewind();
  size_t read(void* out, size_t len);
  // Drops the bytes, keeping the file for reuse.
  void clear();
  bool failed() const { return error_ != 0; }
  // The system's text of the first failure.
  std::string errorText() const;

 private:
  bool fail();

  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
  int error_ = 0;
  bool reading_ = false;
};

}  // namespace tabrix::xl
