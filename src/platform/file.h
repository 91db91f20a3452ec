#pragma once
// POSIX file with 64-bit offsets, owned by the object; errors as strerror text.
#include <ctime>
#include <string>
#include <vector>

#include "platform/byte_store.h"

namespace tabrix {

enum class FileMode { ReadOnly, ReadWrite, ReadWriteCreate };

class File final : public ByteStore {
 public:
  File() = default;
  ~File() override;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens path; on failure returns false and error holds the system's text.
  bool open(const std::string& path, FileMode mode, std::string& error);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  bool writable() const { return writable_; }

  uint64_t size() const override;
  size_t readAt(uint64_t offset, void* buffer, size_t len) override;
  bool writeAt(uint64_t offset, const void* data, size_t len) override;
  // Last modification time, for keeping a source's date on its output.
  bool modificationTime(timespec& out) const;
  // errno of the last failed call, for reporting.
  int lastError() const { return lastError_; }

 private:
  int fd_ = -1;
  bool writable_ = false;
  int lastError_ = 0;
};

std::string systemErrorText(int errnum);

// Whether both paths exist and name the same file (links resolved, hard
// links included).
bool isSameFile(const std::string& a, const std::string& b);

// Writes the bytes of the file from over the file to, which keeps its
// permissions (created when missing). False with the system's text.
bool copyFileBytes(const std::string& from, const std::string& to, std::string& error);

// The lines of a text file (LF or CR LF). False, with the system's text in
// error, when the file cannot be read (a folder among them).
bool readTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error);

}  // namespace tabrix
