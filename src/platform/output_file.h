#pragma once
// The one buffered output file every writer goes through: large writes, one
// system call per buffer, and the first error kept for the report. Asked to
// write in the background, once the output outgrows its buffer a thread of
// its own writes each full buffer while the caller fills the next, so the
// system's copy into the file overlaps the conversion. Given a job's
// StagedFiles, every file it opens is staged there, so it appears only when
// the job commits (see platform/staged_file.h).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/worker_thread.h"

namespace tabrix {

class StagedFiles;

class OutputFile {
 public:
  explicit OutputFile(size_t bufferSize = 1 << 20) : buffer_(bufferSize) {}
  explicit OutputFile(StagedFiles* files, size_t bufferSize = 1 << 20) : files_(files), buffer_(bufferSize) {}
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Set before opening: full buffers are written by a thread of their own.
  void writeInBackground(bool on) { background_ = on; }
  // Creates path (truncating it), or with append opens it, creating it when
  // missing, to write at its end.
  bool open(const std::string& path, bool append);
  // Opens an existing file to write from position on; whatever followed
  // position is cut off. Staged, its first headBytes bytes are kept to be put
  // back when the job fails.
  bool openAt(const std::string& path, uint64_t position, uint64_t headBytes = 0);
  // Writes to the process's standard output; nothing is staged there.
  bool openStandardOutput();
  // Writes len bytes at offset, after the buffered bytes; later writes go on
  // where they left off. Not for a file opened to append, where the system
  // puts every write at the end. False once any write failed.
  bool writeAt(uint64_t offset, const void* data, size_t len);
  void write(const char* data, size_t len);
  void write(std::string_view text) { write(text.data(), text.size()); }
  // Flushes and closes; false when any write or the close failed.
  bool close();
  // Hands the buffered bytes to the system now.
  void flushToDisk() { if (fd_ >= 0) flush(); }
  bool isOpen() const { return fd_ >= 0; }
  bool failed() const { return error_.load(std::memory_order_relaxed) != 0 || !reason_.empty(); }
  // The text of the first failure.
  std::string errorText() const;
  // Bytes in the file before this job wrote anything (the append position).
  size_t initialSize() const { return initialSize_; }

 private:
  // Writes the buffered bytes now, after whatever the writer thread holds.
  void flush();
  void writeAll(const char* data, size_t len);
  // Gives the full buffer to the writer thread and takes its empty one.
  void handOff();
  bool start(const std::string& path, int flags);
  // Closes what is open and forgets its errors, ready to open anew.
  void reset(bool appending);

  StagedFiles* files_ = nullptr;
  int fd_ = -1;
  std::atomic<int> error_{0};  // also set by the writer thread
  std::string reason_;  // a staging refusal, which has no errno
  bool appending_ = false;
  size_t initialSize_ = 0;
  std::vector<char> buffer_;
  size_t used_ = 0;

  bool background_ = false;
  // Started by the first full buffer; spare_ is its own while it writes.
  WorkerThread writer_;
  std::vector<char> spare_;
};

}  // namespace tabrix
