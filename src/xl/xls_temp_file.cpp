#include "xl/xls_temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tabrix::xl {

TempFile::~TempFile() {
  if (file_) std::fclose(file_);
}

bool TempFile::fail() {
  if (error_ == 0) error_ = errno ? errno : EIO;
  return false;
}

bool TempFile::append(const void* data, size_t len) {
  if (error_) return false;
  if (!file_) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tabrix-xls-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return fail();
    // Unlinked at once: the bytes live only as long as the handle.
    ::unlink(path.c_str());
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      return fail();
    }
  }
  if (reading_) {
    // stdio needs a seek between reading and writing.
    if (std::fseek(file_, 0, SEEK_END) != 0) return fail();
    reading_ = false;
  }
  if (len && std::fwrite(data, 1, len, file_) != len) return fail();
  size_ += len;
  return true;
}

bool TempFile::rewind() {
  if (error_) return false;
  if (!file_) return true;
  if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) return fail();
  reading_ = true;
  return true;
}

size_t TempFile::read(void* out, size_t len) {
  if (error_ || !file_) return 0;
  const size_t n = std::fread(out, 1, len, file_);
  if (n < len && std::ferror(file_)) fail();
  return n;
}

void TempFile::clear() {
  size_ = 0;
  reading_ = false;
  if (file_ && !error_ && (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0 ||
                           std::fseek(file_, 0, SEEK_SET) != 0))
    fail();
}

std::string TempFile::errorText() const {
  return "cannot write a temporary file: " + std::string(std::strerror(error_ ? error_ : EIO));
}

}  // namespace tabrix::xl
