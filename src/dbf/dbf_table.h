#pragma once
// One open DBF table of any dialect: header, field list and a record walk that
// reads many records per system call. Every length, offset and count taken from
// the file is checked against its size at open, so the walk can trust them.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_format.h"
#include "dbf/field_kinds.h"
#include "dbf/memo_file.h"
#include "dbf/text_pages.h"
#include "platform/byte_store.h"
#include "util/result.h"

namespace tabrix {

// A field as the rest of the system reads it.
struct Field {
  std::string name;  // level 7: up to 31 characters; otherwise up to 10
  char type = 'C';
  uint16_t offset = 0;  // in the record, the deletion flag at 0
  uint16_t length = 0;  // never reaches past the record
  uint8_t decimals = 0;
  FieldKind kind;  // what the letter means for this field, set once the table is laid out
};

class DbfTable {
 public:
  DbfTable() = default;
  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;

  // Opens the table at path and its memo file; a failure says why.
  Result open(const std::string& path, const TableOpenOptions& options);
  // Opens a table held by a byte store; memo may be null (no memo file).
  Result openFrom(std::unique_ptr<ByteStore> data, std::unique_ptr<ByteStore> memo, const TableOpenOptions& options);
  void close();

  const std::string& path() const { return path_; }
  const DbfHeader& header() const { return header_; }
  uint8_t version() const { return header_.version(); }
  bool isLevel7() const { return tabrix::isLevel7(header_.version()); }
  // The text is stored in textPages().oem and decoding translates it to textPages().ansi.
  bool sourceIsOem() const { return sourceIsOem_; }
  // The code pages of the table's text, decided at open.
  const TextPages& textPages() const { return textPages_; }
  // Whether "/CP:n" or the table's mark named them; otherwise they are the user's pages.
  bool textPagesNamed() const { return textPagesNamed_; }
  uint16_t headerLength() const { return header_.headerLength(); }
  uint32_t recordLength() const { return recordLength_; }

  int fieldCount() const { return static_cast<int>(fields_.size()); }
  const Field& field(int i) const { return fields_[static_cast<size_t>(i)]; }
  const std::vector<FieldDescriptor>& descriptors() const { return descriptors_; }
  bool hasMemoFields() const { return hasMemoFields_; }
  MemoFile* memo() { return memo_.get(); }

  // Records the walk yields: those the file holds in whole.
  uint64_t recordCount() const { return recordCount_; }
  // The count the header states.
  uint32_t headerRecordCount() const { return header_.recordCount(); }
  // True when the header promises more records than the file holds whole.
  bool isShort() const { return recordCount_ < header_.recordCount(); }
  // Memo values found pointing at memos that could not be read whole
  // (readFieldMemo counts them); a job resets the count before its walk.
  uint64_t lostMemos() const { return lostMemos_; }
  void countLostMemo() { ++lostMemos_; }
  void resetLostMemos() { lostMemos_ = 0; }
  // Whether the last-write time is known, and that time.
  bool modificationTime(timespec& out) const;

  // Positions before the first record.
  void rewind() { next_ = 0; }
  // The next record, or null after the last one (or on a read error).
  const uint8_t* readNextRecord();
  // Record n counted from 0, or null when n is past the end.
  const uint8_t* readRecordAt(uint64_t n);
  // The record last read. At least kRecordSlack readable bytes follow every
  // record handed out, so word-wise scans may read past a field's end.
  const uint8_t* record() const { return current_; }
  static constexpr size_t kRecordSlack = 16;

 private:
  Result load(std::unique_ptr<ByteStore> data, const TableOpenOptions& options);
  Result readDescriptors();
  Result readLevel7Descriptors();
  Result addField(const FieldDescriptor& descriptor, const std::string& name);
  bool looksForMemoFile() const;
  Result checkDescriptorEnd(uint64_t end) const;
  Result layOutFields();
  bool loadChunk(uint64_t first);

  std::string path_;
  std::unique_ptr<ByteStore> data_;
  std::unique_ptr<MemoFile> memo_;
  DbfHeader header_;
  std::vector<FieldDescriptor> descriptors_;
  std::vector<Field> fields_;
  bool hasMemoFields_ = false;
  bool sourceIsOem_ = false;
  TextPages textPages_;
  bool textPagesNamed_ = false;
  uint32_t recordLength_ = 0;
  uint64_t recordCount_ = 0;
  uint64_t fileSize_ = 0;
  uint64_t lostMemos_ = 0;
  bool hasModificationTime_ = false;
  timespec modificationTime_{};

  // Records [chunkFirst_, chunkFirst_ + chunkCount_) are in chunk_.
  std::vector<uint8_t> chunk_;
  uint64_t chunkFirst_ = 0;
  uint64_t chunkCount_ = 0;
  uint64_t next_ = 0;
  const uint8_t* current_ = nullptr;
};

}  // namespace tabrix
