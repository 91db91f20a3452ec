#pragma once
// Zip archives over libzip, as XLSX packages use them: members read whole
// with a size limit, and a new archive made of byte strings, streamed files
// and members copied unchanged from another archive. Failures carry
// libzip's text.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "util/result.h"

struct zip;

namespace tabrix::xl {

class ZipReader {
 public:
  ZipReader() = default;
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  Result open(const std::string& path);
  void close();
  bool isOpen() const { return archive_ != nullptr; }

  uint64_t count() const;
  // The member's name as stored.
  std::string name(uint64_t index) const;
  // The index of the member named name, compared without regard to case as
  // package part names are; false when there is none.
  bool find(const std::string& name, uint64_t& index) const;
  // The member's bytes; fails for a damaged member or one over maxBytes.
  Result read(uint64_t index, size_t maxBytes, std::string& out) const;

 private:
  friend class ZipWriter;
  struct zip* archive_ = nullptr;
};

class ZipWriter {
 public:
  ZipWriter() = default;
  ~ZipWriter();  // an archive not closed is discarded
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Starts a new archive to be written at path by close().
  Result create(const std::string& path);
  // The added bytes, strings and files are read at close(), so they must
  // live until then.
  Result addBytes(const std::string& name, std::string_view bytes);
  // A member made of head, the first bodySize bytes of body, and tail.
  Result addPieces(const std::string& name, std::string_view head, std::FILE* body, uint64_t bodySize,
                   std::string_view tail);
  // The member of from copied as it is stored.
  Result copy(const ZipReader& from, uint64_t index);
  Result close();

  // Deflate level of the members written: fast, as sheets are large and the
  // gain of higher levels small.
  static constexpr int kLevel = 1;

 private:
  Result failure(const std::string& what) const;
  Result compressed(int64_t index, const std::string& name);

  struct zip* archive_ = nullptr;
  std::string path_;
};

}  // namespace tabrix::xl
