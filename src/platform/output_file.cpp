#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/staged_file.h"

namespace tabrix {

namespace {

// Handing over less costs more in switches between the threads than it saves.
constexpr size_t kBackgroundBuffer = size_t{1} << 20;

}  // namespace

OutputFile::~OutputFile() { close(); }

bool OutputFile::start(const std::string& path, int flags) {
  do {
    fd_ = ::open(path.c_str(), flags, 0644);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  struct stat st {};
  initialSize_ = ::fstat(fd_, &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
  return true;
}

void OutputFile::reset(bool appending) {
  close();
  error_ = 0;
  reason_.clear();
  used_ = 0;
  appending_ = appending;
}

bool OutputFile::open(const std::string& path, bool append) {
  reset(append);
  std::string writePath = path;
  if (files_) {
    // Appending keeps the old length only; nothing before it is rewritten.
    const Result staged = append ? files_->extend(path, 0, UINT64_MAX, writePath) : files_->create(path, writePath);
    if (!staged) {
      reason_ = staged.reason();
      return false;
    }
  }
  return start(writePath, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC));
}

bool OutputFile::openAt(const std::string& path, uint64_t position, uint64_t headBytes) {
  reset(false);
  std::string writePath = path;
  if (files_) {
    if (const Result staged = files_->extend(path, headBytes, position, writePath); !staged) {
      reason_ = staged.reason();
      return false;
    }
  }
  if (!start(writePath, O_WRONLY | O_CLOEXEC)) return false;
  const auto at = static_cast<off_t>(position);
  if (::ftruncate(fd_, at) != 0 || ::lseek(fd_, at, SEEK_SET) != at) {
    error_ = errno;
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

bool OutputFile::openStandardOutput() {
  reset(false);
  fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) error_ = errno;
  return fd_ >= 0;
}

bool OutputFile::writeAt(uint64_t offset, const void* data, size_t len) {
  if (fd_ < 0 || failed()) return false;
  if (appending_) {
    error_ = EINVAL;
    return false;
  }
  flush();
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < len && error_ == 0) {
    const ssize_t n = ::pwrite(fd_, bytes + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return error_ == 0;
}

void OutputFile::writeAll(const char* data, size_t len) {
  size_t done = 0;
  while (done < len && error_ == 0) {
    const ssize_t n = ::write(fd_, data + done, len - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
}

void OutputFile::flush() {
  writer_.wait();
  if (used_ > 0 && error_ == 0) writeAll(buffer_.data(), used_);
  used_ = 0;
}

void OutputFile::write(const char* data, size_t len) {
  if (fd_ < 0 || error_ != 0) return;
  if (!background_ && used_ + len > buffer_.size()) {
    flush();
    if (len >= buffer_.size()) {
      writeAll(data, len);
      return;
    }
  }
  // In the background a long text fills buffer after buffer: each is written while the next fills.
  while (len > buffer_.size() - used_) {
    const size_t part = buffer_.size() - used_;
    std::memcpy(buffer_.data() + used_, data, part);
    used_ += part;
    data += part;
    len -= part;
    handOff();
    if (error_ != 0) return;
  }
  std::memcpy(buffer_.data() + used_, data, len);
  used_ += len;
}

void OutputFile::handOff() {
  if (buffer_.size() < kBackgroundBuffer) {
    buffer_.resize(kBackgroundBuffer);
    return;
  }
  writer_.wait();
  spare_.resize(buffer_.size());
  buffer_.swap(spare_);
  const size_t len = used_;
  used_ = 0;
  writer_.post([this, len] {
    if (error_ == 0) writeAll(spare_.data(), len);
  });
}

bool OutputFile::close() {
  if (fd_ < 0) return !failed();
  flush();
  writer_.stop();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return !failed();
}

std::string OutputFile::errorText() const {
  if (!reason_.empty()) return reason_;
  const int error = error_;
  return error ? std::strerror(error) : std::string();
}

}  // namespace tabrix
