#pragma once
// The memo file of a table: dBase III and dBase IV / level 7 ("dbt"), FoxPro
// ("fpt") and SMT ("smt") block formats, read by block number and appended to.
// Block numbers and lengths from the file are checked against its size: a memo
// never reads past the end of the file nor allocates more than the file holds.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_store.h"
#include "util/result.h"

namespace tabrix {

enum class MemoFormat { DBase3, DBase4, FoxPro, Smt };

MemoFormat memoFormatOf(uint8_t version);

// The extension of a table's memo file: "fpt", "smt" or "dbt"; but FoxPro
// database containers, forms, reports and class libraries keep theirs in
// files of their own extensions (.dbc .dct, .scx .sct, .vcx .vct ...).
std::string memoExtensionFor(const std::string& tablePath, uint8_t version);

// Read: a table's memo file, never written. Write: a memo file a writer fills;
// an empty store gets a fresh header.
enum class MemoAccess { Read, Write };

// A memo as read: its text (valid until the next read) and whether the memo
// the block number points at was there whole. A block outside the file, a
// block without its mark, a length or text running past the end of the file,
// an unusable header or no file at all make it incomplete; the text then
// holds what the file has, if anything.
struct MemoRead {
  std::string_view text;
  bool whole = false;
};

class MemoFile {
 public:
  // A memo file over a store (null: no file, every memo reads empty).
  MemoFile(std::unique_ptr<ByteStore> store, uint8_t version, MemoAccess access);

  // The memo file of the table at tablePath, found without regard to case and
  // opened to read only; without a store when it is missing or unreadable.
  static std::unique_ptr<MemoFile> openFor(const std::string& tablePath, uint8_t version);
  // The memo file a writer fills, at exactly memoPath: opened to read and
  // write, created when missing (an empty file gets a fresh header). On
  // failure memo is null and the result holds the system's reason.
  static Result openForWriting(const std::string& memoPath, uint8_t version, std::unique_ptr<MemoFile>& memo);

  bool isOpen() const { return store_ != nullptr; }
  // False when the file is shorter than its 512-byte header or the header
  // gives no block size: no memo of it can be read.
  bool headerIsSound() const { return headerSound_; }
  const std::string& path() const { return path_; }
  MemoFormat format() const { return format_; }
  uint32_t blockSize() const { return blockSize_; }
  uint32_t nextFreeBlock() const { return nextFreeBlock_; }
  uint64_t blockCount() const;

  // Length in bytes of the memo at block, 0 when the block lies outside the file.
  uint64_t memoLength(uint32_t block);
  // The memo at block in the object's buffer, valid until the next read.
  // smtLength is the length an SMT table stores in its memo field.
  MemoRead read(uint32_t block, uint32_t smtLength = 0);
  std::string_view readMemo(uint32_t block, uint32_t smtLength = 0) { return read(block, smtLength).text; }
  // The memo cut to capacity bytes (a zero byte follows when room remains).
  size_t readMemo(uint32_t block, uint32_t smtLength, char* buffer, size_t capacity);

  // Appends text as a new memo and returns its first block; 0 when the format
  // cannot be written or the write failed (writeFailed() then tells).
  uint32_t writeMemo(std::string_view text);
  bool writeFailed() const { return writeFailed_; }

 private:
  void readHeader();
  void writeFreshHeader();
  bool writeNextFreeBlock();
  bool blockInFile(uint32_t block) const;
  size_t readInto(uint32_t block, uint32_t smtLength, std::vector<char>& out, size_t limit, bool& whole);
  size_t scanToEndMark(uint64_t start, uint64_t available, std::vector<char>& out, size_t limit, bool& found);

  std::unique_ptr<ByteStore> store_;
  std::string path_;
  uint8_t version_ = 0;
  MemoFormat format_ = MemoFormat::DBase3;
  uint32_t blockSize_ = 512;
  uint32_t nextFreeBlock_ = 0;
  bool headerSound_ = false;
  bool writeFailed_ = false;
  std::vector<char> buffer_;
};

}  // namespace tabrix
