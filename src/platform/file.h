#pragma once
// POSIX file with 64-bit offsets, owned by the object; errors as strerror text.
#include <ctime>
#include <string>
#include <vector>

#include "platform/byte_store.h"
#include "util/result.h"

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

  // Opens path; a failure carries the system's text.
  Result open(const std::string& path, FileMode mode);
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
// permissions (created when missing). A failure carries the system's text.
Result copyFileBytes(const std::string& from, const std::string& to);

// The lines of a text file (LF or CR LF). A failure carries the system's
// text when the file cannot be read (a folder among them).
Result readTextLines(const std::string& path, std::vector<std::string>& lines);

enum class PathKind { Missing, Regular, Directory, Other };
// What path names, links followed.
PathKind pathKind(const std::string& path);

// Removes the file; a failure carries the system's text.
Result removeFile(const std::string& path);

// Gives the file at path this last-write (and last-access) time; failures ignored.
void setModificationTime(const std::string& path, const timespec& time);

}  // namespace tabrix
