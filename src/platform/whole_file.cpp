#include "platform/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/staged_file.h"

namespace tabrix {

Result readWholeFile(const std::string& path, std::string& bytes) {
  // Opening a named pipe would wait for a writer.
  if (pathKind(path) != PathKind::Regular) return Result::failure("not a regular file");
  File file;
  if (Result opened = file.open(path, FileMode::ReadOnly); !opened) return opened;
  bytes.assign(static_cast<size_t>(file.size()), '\0');
  bytes.resize(file.readAt(0, bytes.data(), bytes.size()));
  if (file.lastError() != 0) return Result::failure(systemErrorText(file.lastError()));
  return {};
}

Result replaceWholeFile(const std::string& path, std::string_view bytes) {
  StagedFile staged;
  if (Result created = staged.create(path); !created) return created;
  const int fd = ::open(staged.writePath().c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Result::failure(systemErrorText(errno));
  int error = 0;
  for (size_t done = 0; done < bytes.size() && error == 0;) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (n < 0 && errno != EINTR) error = errno;
  }
  if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL) error = errno;  // EINVAL: a device that keeps nothing
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return Result::failure(systemErrorText(error));  // the staged file goes with staged
  return staged.commit();
}

}  // namespace tabrix
