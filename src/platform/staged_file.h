#pragma once
// The files one job writes appear whole or not at all. A file written anew
// goes to a hidden temporary file beside its target and is renamed over the
// target only when the job succeeded; a file extended in place (appending)
// gets its old length and its rewritten bytes back when the job fails.
// A target that exists and is no regular file (a device, a FIFO) is written
// directly: nothing is ever renamed over a device.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "util/result.h"

namespace tabrix {

class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile() { discard(); }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Prepares target to be written anew. Fails with the system's text when
  // no temporary file can be made beside it.
  Result create(const std::string& target);
  // Prepares target to be extended in place, keeping its length, its first
  // headBytes bytes and its bytes from keepFrom on for discard(). A missing
  // or empty target is prepared as by create().
  Result extend(const std::string& target, uint64_t headBytes, uint64_t keepFrom);

  const std::string& target() const { return target_; }
  // The path to open for writing: the temporary file, or the target itself.
  const std::string& writePath() const { return writePath_; }

  // Makes what was written the target. Fails with the reason when the
  // rename failed; the temporary file is then removed.
  Result commit();
  // Removes the temporary file, or puts back an extended target's old length
  // and bytes. Safe to call more than once.
  void discard();

 private:
  enum class State { Idle, Temporary, Extended, Direct };
  State state_ = State::Idle;
  std::string target_;
  std::string renameTarget_;  // the target with a symbolic link resolved
  std::string writePath_;
  uint64_t oldSize_ = 0;
  uint64_t tailFrom_ = 0;
  std::vector<char> head_;
  std::vector<char> tail_;
};

// The files of one job, committed together at its end; whatever is not
// committed is discarded when the set goes. A target that is one of the
// protected files (the run's sources and their memo files), or that this job
// already writes, is refused before anything is made.
class StagedFiles {
 public:
  explicit StagedFiles(const std::vector<std::string>& protectedPaths = {});

  // As StagedFile::create and extend; writePath receives the path to open.
  Result create(const std::string& target, std::string& writePath);
  Result extend(const std::string& target, uint64_t headBytes, uint64_t keepFrom, std::string& writePath);
  // Whether this job may write target; a refusal names it.
  Result allows(const std::string& target) const;
  // Commits every file in the order staged; stops at the first failure,
  // discarding the rest.
  Result commit();
  void discard();

 private:
  using FileId = std::pair<uint64_t, uint64_t>;  // device and inode: one file under any name
  void keep(std::unique_ptr<StagedFile> file, std::string& writePath);
  void forget();

  std::set<FileId> protected_;
  std::set<FileId> stagedIds_;         // targets that existed when staged
  std::set<std::string> stagedPaths_;  // every target staged, as named
  std::vector<std::unique_ptr<StagedFile>> files_;
};

}  // namespace tabrix
