#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/output_file.h"

namespace tabrix {

std::string systemErrorText(int errnum) { return std::strerror(errnum); }

bool isSameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

File::~File() { close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), writable_(other.writable_), lastError_(other.lastError_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    writable_ = other.writable_;
    lastError_ = other.lastError_;
  }
  return *this;
}

bool File::open(const std::string& path, FileMode mode, std::string& error) {
  close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileMode::ReadOnly: flags |= O_RDONLY; break;
    case FileMode::ReadWrite: flags |= O_RDWR; break;
    case FileMode::ReadWriteCreate: flags |= O_RDWR | O_CREAT; break;
  }
  do {
    fd_ = ::open(path.c_str(), flags, 0644);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    lastError_ = errno;
    error = systemErrorText(lastError_);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    close();
    lastError_ = EISDIR;
    error = systemErrorText(EISDIR);
    return false;
  }
  writable_ = mode != FileMode::ReadOnly;
  if (mode == FileMode::ReadOnly) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

void File::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  writable_ = false;
}

uint64_t File::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

size_t File::readAt(uint64_t offset, void* buffer, size_t len) {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < len) {
    ssize_t n = ::pread(fd_, out + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::writeAt(uint64_t offset, const void* data, size_t len) {
  if (!writable_) return false;
  size_t done = 0;
  auto* in = static_cast<const char*>(data);
  while (done < len) {
    ssize_t n = ::pwrite(fd_, in + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::modificationTime(timespec& out) const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  out = st.st_mtim;
  return true;
}

bool copyFileBytes(const std::string& from, const std::string& to, std::string& error) {
  File source;
  if (!source.open(from, FileMode::ReadOnly, error)) return false;
  OutputFile target;
  if (!target.open(to, false)) {
    error = target.errorText();
    return false;
  }
  std::vector<char> chunk(1 << 20);
  for (uint64_t at = 0;;) {
    const size_t n = source.readAt(at, chunk.data(), chunk.size());
    if (n == 0 || target.failed()) break;
    target.write(chunk.data(), n);
    at += n;
  }
  if (source.lastError() != 0) {
    error = systemErrorText(source.lastError());
    return false;
  }
  if (!target.close()) {
    error = target.errorText();
    return false;
  }
  return true;
}

bool readTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  File file;
  if (!file.open(path, FileMode::ReadOnly, error)) return false;
  std::string text(static_cast<size_t>(file.size()), '\0');
  text.resize(file.readAt(0, text.data(), text.size()));
  if (file.lastError() != 0) {
    error = systemErrorText(file.lastError());
    return false;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text, start, end - start);
    start = next;
  }
  return true;
}

}  // namespace tabrix
