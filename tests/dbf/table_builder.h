#pragma once
// Builds DBF tables in memory for tests: any version byte, 32- or 48-byte
// descriptors, records given as the raw bytes of each field.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "platform/byte_store.h"
#include "support/temp_folder.h"

namespace tabrix::test {

struct FieldSpec {
  std::string name;
  char type;
  uint16_t length;
  uint8_t decimals = 0;
};

class TableBuilder {
 public:
  explicit TableBuilder(uint8_t version) : version_(version) {}
  TableBuilder& field(const std::string& name, char type, uint16_t length, uint8_t decimals = 0);
  // Field values padded with blanks (or cut) to their lengths.
  TableBuilder& record(const std::vector<std::string>& values, bool deleted = false);
  TableBuilder& tableFlags(uint8_t flags) { flags_ = flags; return *this; }
  TableBuilder& codePageMark(uint8_t mark) { codePage_ = mark; return *this; }
  // Overrides the record count written in the header.
  TableBuilder& headerRecordCount(uint32_t count) { headerCount_ = count; return *this; }
  // Leaves out the end-of-file byte.
  TableBuilder& withoutEndMark() { endMark_ = false; return *this; }

  std::vector<uint8_t> bytes() const;
  // Opens the built table from memory; fails the current test when it does not open.
  std::unique_ptr<DbfTable> open(std::vector<uint8_t> memo = {}, TableOpenOptions options = {}) const;

 private:
  uint8_t version_;
  uint8_t flags_ = 0;
  uint8_t codePage_ = 0;
  int64_t headerCount_ = -1;
  bool endMark_ = true;
  std::vector<FieldSpec> fields_;
  std::vector<std::string> records_;
};

// Little-endian and big-endian byte strings for building binary fields.
std::string le32(uint32_t v);
std::string le64(uint64_t v);
std::string doubleLe(double v);

// A FoxPro memo file of 64-byte blocks holding each memo (at most 56 bytes)
// in its own block from block 8 on, the file ending after the last text.
std::vector<uint8_t> foxProMemoFile(const std::vector<std::string>& memos);

// Writes bytes to a file.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tabrix::test
