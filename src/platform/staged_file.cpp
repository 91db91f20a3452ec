#include "platform/staged_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/file.h"

namespace tabrix {

namespace {

// Room left for ".", ".tabrix-" and the random part within a file name's 255 bytes.
constexpr size_t kLongestKeptName = 200;
constexpr int kNameAttempts = 100;

std::string randomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet: the clock and the process id still differ between runs, and O_EXCL catches the rest.
    uint64_t mix = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   (static_cast<uint64_t>(::getpid()) << 40);
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(mix);
      mix = mix * 6364136223846793005u + 1442695040888963407u;
    }
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix.push_back(kChars[b % (sizeof kChars - 1)]);
  return suffix;
}

// Where a rename puts the file: through a symbolic link to the file it names,
// so the link stays a link.
std::string resolvedTarget(const std::string& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
  char* real = ::realpath(target.c_str(), nullptr);
  if (!real) return target;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

std::optional<std::pair<uint64_t, uint64_t>> fileId(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::make_pair(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
}

bool readBytes(File& file, uint64_t offset, uint64_t end, std::vector<char>& out) {
  out.resize(end > offset ? static_cast<size_t>(end - offset) : 0);
  return file.readAt(offset, out.data(), out.size()) == out.size();
}

}  // namespace

Result StagedFile::create(const std::string& target) {
  discard();
  target_ = target;
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    writePath_ = target;
    state_ = State::Direct;
    return {};
  }
  // A file the user may not write stays protected, as it would be from a plain rewrite.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    return Result::failure(systemErrorText(errno));
  renameTarget_ = resolvedTarget(target);
  const size_t slash = renameTarget_.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string prefix = renameTarget_.substr(0, nameStart) + "." +
                             renameTarget_.substr(nameStart, kLongestKeptName) + ".tabrix-";
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    writePath_ = prefix + randomSuffix();
    // 0666 through the umask, as a plainly created file gets.
    fd = ::open(writePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST && errno != EINTR) break;
  }
  if (fd < 0) {
    const int error = errno;
    writePath_.clear();
    return Result::failure(systemErrorText(error));
  }
  // The replacement keeps the owner and permissions of the file it replaces,
  // as far as the user may set them; an owner that cannot be set leaves the
  // file the user's, as a new file is.
  if (exists) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
    ::fchmod(fd, st.st_mode & 07777);
  }
  ::close(fd);
  state_ = State::Temporary;
  return {};
}

Result StagedFile::extend(const std::string& target, uint64_t headBytes, uint64_t keepFrom) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return create(target);
  discard();
  File file;
  if (Result opened = file.open(target, FileMode::ReadOnly); !opened) return opened;
  const uint64_t size = file.size();
  if (!readBytes(file, 0, std::min(headBytes, size), head_) || !readBytes(file, std::min(keepFrom, size), size, tail_))
    return Result::failure(systemErrorText(file.lastError() ? file.lastError() : EIO));
  target_ = target;
  writePath_ = target;
  oldSize_ = size;
  tailFrom_ = std::min(keepFrom, size);
  state_ = State::Extended;
  return {};
}

Result StagedFile::commit() {
  if (state_ == State::Temporary && ::rename(writePath_.c_str(), renameTarget_.c_str()) != 0) {
    Result failed = Result::failure(target_ + ": " + systemErrorText(errno));
    discard();
    return failed;
  }
  state_ = State::Idle;
  return {};
}

void StagedFile::discard() {
  if (state_ == State::Temporary) {
    ::unlink(writePath_.c_str());
  } else if (state_ == State::Extended) {
    // Shrinking and rewriting bytes the file already held need no new room, so this works on a full disk.
    File file;
    if (::truncate(target_.c_str(), static_cast<off_t>(oldSize_)) == 0 && file.open(target_, FileMode::ReadWrite)) {
      file.writeAt(0, head_.data(), head_.size());
      file.writeAt(tailFrom_, tail_.data(), tail_.size());
    }
  }
  state_ = State::Idle;
}

StagedFiles::StagedFiles(const std::vector<std::string>& protectedPaths) {
  for (const std::string& path : protectedPaths)
    if (const auto id = fileId(path)) protected_.insert(*id);
}

// One look-up per file staged keeps a job of thousands of pages fast.
Result StagedFiles::allows(const std::string& target) const {
  const auto id = fileId(target);
  if (id && protected_.count(*id)) return Result::failure(target + " is a source of this run");
  if (stagedPaths_.count(target) || (id && stagedIds_.count(*id)))
    return Result::failure(target + " is written twice by this job");
  return {};
}

void StagedFiles::keep(std::unique_ptr<StagedFile> file, std::string& writePath) {
  if (const auto id = fileId(file->target())) stagedIds_.insert(*id);
  stagedPaths_.insert(file->target());
  writePath = file->writePath();
  files_.push_back(std::move(file));
}

Result StagedFiles::create(const std::string& target, std::string& writePath) {
  if (Result allowed = allows(target); !allowed) return allowed;
  auto file = std::make_unique<StagedFile>();
  if (Result created = file->create(target); !created) return created;
  keep(std::move(file), writePath);
  return {};
}

Result StagedFiles::extend(const std::string& target, uint64_t headBytes, uint64_t keepFrom, std::string& writePath) {
  if (Result allowed = allows(target); !allowed) return allowed;
  auto file = std::make_unique<StagedFile>();
  if (Result extended = file->extend(target, headBytes, keepFrom); !extended) return extended;
  keep(std::move(file), writePath);
  return {};
}

Result StagedFiles::commit() {
  for (const auto& file : files_) {
    if (Result committed = file->commit(); !committed) {
      discard();
      return committed;
    }
  }
  forget();
  return {};
}

void StagedFiles::discard() {
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) (*it)->discard();
  forget();
}

void StagedFiles::forget() {
  files_.clear();
  stagedIds_.clear();
  stagedPaths_.clear();
}

}  // namespace tabrix
