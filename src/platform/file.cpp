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

Result File::open(const std::string& path, FileMode mode) {
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
    return Result::failure(systemErrorText(lastError_));
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    close();
    lastError_ = EISDIR;
    return Result::failure(systemErrorText(EISDIR));
  }
  writable_ = mode != FileMode::ReadOnly;
  if (mode == FileMode::ReadOnly) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {};
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

Result copyFileBytes(const std::string& from, const std::string& to) {
  File source;
  if (Result opened = source.open(from, FileMode::ReadOnly); !opened) return opened;
  OutputFile target;
  if (!target.open(to, false)) return Result::failure(target.errorText());
  std::vector<char> chunk(1 << 20);
  for (uint64_t at = 0;;) {
    const size_t n = source.readAt(at, chunk.data(), chunk.size());
    if (n == 0 || target.failed()) break;
    target.write(chunk.data(), n);
    at += n;
  }
  if (source.lastError() != 0) return Result::failure(systemErrorText(source.lastError()));
  if (!target.close()) return Result::failure(target.errorText());
  return {};
}

Result readTextLines(const std::string& path, std::vector<std::string>& lines) {
  File file;
  if (Result opened = file.open(path, FileMode::ReadOnly); !opened) return opened;
  std::string text(static_cast<size_t>(file.size()), '\0');
  text.resize(file.readAt(0, text.data(), text.size()));
  if (file.lastError() != 0) return Result::failure(systemErrorText(file.lastError()));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text, start, end - start);
    start = next;
  }
  return {};
}

PathKind pathKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

Result removeFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return Result::failure(systemErrorText(errno));
  return {};
}

void setModificationTime(const std::string& path, const timespec& time) {
  const timespec times[2] = {time, time};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace tabrix
