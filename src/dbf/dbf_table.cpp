#include "dbf/dbf_table.h"

#include <algorithm>
#include <cstring>

#include "dbf/field_kinds.h"
#include "platform/file.h"

namespace tabrix {

namespace {

// Records per read: enough for the walk to cost one system call per chunk.
constexpr size_t kChunkBytes = 256 * 1024;

std::string nameOf(const uint8_t* bytes, size_t width) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(bytes, 0, width));
  return std::string(reinterpret_cast<const char*>(bytes), end ? static_cast<size_t>(end - bytes) : width);
}

std::string hexByte(uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

// A name of at least one character, zero-padded, and a type the reader knows:
// record bytes rarely look like that, so it tells descriptors from records.
bool looksLikeDescriptor(const uint8_t* d) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(d, 0, 11));
  if (end == d || !end) return false;
  for (const uint8_t* p = end; p < d + 11; ++p)
    if (*p != 0) return false;
  return isKnownTypeLetter(static_cast<char>(d[11])) || isNullFlagsName(reinterpret_cast<const char*>(d));
}

}  // namespace

Result DbfTable::open(const std::string& path, const TableOpenOptions& options) {
  close();
  auto file = std::make_unique<File>();
  // Read access only: a source table is never written.
  if (Result opened = file->open(path, FileMode::ReadOnly); !opened) return opened;
  hasModificationTime_ = file->modificationTime(modificationTime_);
  path_ = path;
  if (Result loaded = load(std::move(file), options); !loaded) return loaded;
  // A missing memo file leaves the MemoFile without a file; it names the path
  // the file was looked for at.
  if (looksForMemoFile()) memo_ = MemoFile::openFor(path, header_.version());
  return {};
}

Result DbfTable::openFrom(std::unique_ptr<ByteStore> data, std::unique_ptr<ByteStore> memo,
                          const TableOpenOptions& options) {
  close();
  if (Result loaded = load(std::move(data), options); !loaded) return loaded;
  if (memo && looksForMemoFile())
    memo_ = std::make_unique<MemoFile>(std::move(memo), header_.version(), MemoAccess::Read);
  return {};
}

// Some Visual FoxPro writers leave the memo flag clear on tables with memo
// fields; their memo file is looked for all the same.
bool DbfTable::looksForMemoFile() const {
  return hasMemoFile(header_.version(), header_.tableFlags()) || (hasMemoFields_ && isVisualFoxPro(header_.version()));
}

Result DbfTable::load(std::unique_ptr<ByteStore> data, const TableOpenOptions& options) {
  data_ = std::move(data);
  fileSize_ = data_->size();

  if (data_->readAt(0, header_.bytes.data(), kHeaderSize) != kHeaderSize) {
    close();
    return Result::failure("the file is too short for a DBF header (" + std::to_string(fileSize_) + " bytes)");
  }
  if (Result read = tabrix::isLevel7(header_.version()) ? readLevel7Descriptors() : readDescriptors(); !read) {
    // dBase II keeps a layout of its own that no reader here knows.
    const bool dBase2 = header_.version() == 0x02;
    close();
    if (dBase2) return Result::failure(read.reason() + " (version 0x02: a dBase II table, which is not supported)");
    return read;
  }

  // The 0x03 repair: a dBase III table with memo fields is of version 0x83.
  // It is made in memory only; the file stays as it is.
  if (header_.version() == 0x03 && hasMemoFields_) header_.bytes[0] = 0x83;
  if (Result laidOut = layOutFields(); !laidOut) {
    close();
    return laidOut;
  }

  const uint64_t headerLength = header_.headerLength();
  const uint64_t wholeRecords = fileSize_ <= headerLength ? 0 : (fileSize_ - headerLength) / recordLength_;
  recordCount_ = wholeRecords;
  if (wholeRecords > header_.recordCount()) {
    // The header count is raised to what the file holds, unless the bytes past
    // the counted records are the end mark (padded to a record by some writers).
    uint8_t flag = 0;
    data_->readAt(headerLength + uint64_t{header_.recordCount()} * recordLength_, &flag, 1);
    if (flag == kEndOfFile) recordCount_ = header_.recordCount();
  }

  const TextPageDecision text = decideTextPages(header_.codePageMark(), tabrix::isLevel7(header_.version()), options);
  textPages_ = text.pages;
  sourceIsOem_ = text.oemText;
  textPagesNamed_ = text.named;

  // Small tables get a buffer of their own size, not a whole chunk.
  const size_t perChunk = static_cast<size_t>(
      std::max<uint64_t>(1, std::min<uint64_t>(kChunkBytes / recordLength_, recordCount_)));
  chunk_.resize(perChunk * recordLength_ + kRecordSlack);
  return {};
}

Result DbfTable::addField(const FieldDescriptor& descriptor, const std::string& name) {
  const char type = descriptor.type();
  if (!isKnownTypeLetter(type) && !isNullFlagsName(name.c_str()))
    return Result::failure(
        "field " + std::to_string(fields_.size() + 1) + " (" + name + ") has the unknown type " +
        (type >= 0x21 && type < 0x7F ? "'" + std::string(1, type) + "'" : hexByte(static_cast<uint8_t>(type))));
  if (type == 'M') hasMemoFields_ = true;
  descriptors_.push_back(descriptor);
  Field field;
  field.name = name;
  field.type = type;
  field.length = descriptor.length();
  field.decimals = descriptor.type() == 'C' ? 0 : descriptor.decimals();
  fields_.push_back(std::move(field));
  return {};
}

Result DbfTable::readDescriptors() {
  const uint16_t headerLength = header_.headerLength();
  const uint8_t version = header_.version();
  uint32_t count = static_cast<uint32_t>(headerLength - kHeaderSize) / kDescriptorSize;
  if (isVisualFoxPro(version) && (header_.tableFlags() & kFlagDatabaseContainer))
    count = static_cast<uint32_t>(headerLength - 296u) / kDescriptorSize;
  if (headerLength < kHeaderSize || count > kMaxFields)
    return Result::failure("the header length " + std::to_string(headerLength) + " gives no valid field count");
  std::vector<uint8_t> raw(count * kDescriptorSize);
  const size_t got = data_->readAt(kHeaderSize, raw.data(), raw.size());
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* d = raw.data() + i * kDescriptorSize;
    if (i * kDescriptorSize < got && d[0] == kDescriptorTerminator) return {};
    if ((i + 1) * kDescriptorSize > got) return Result::failure("the field descriptors run past the end of the file");
    FieldDescriptor descriptor;
    std::memcpy(descriptor.bytes.data(), d, kDescriptorSize);
    if (Result added = addField(descriptor, nameOf(d, 11)); !added) return added;
  }
  // Some writers leave out the end mark. But when descriptors go on past the
  // header length up to an end mark, the header length cuts into the list
  // and the records would start inside it.
  uint64_t at = kHeaderSize + uint64_t{count} * kDescriptorSize;
  for (uint32_t n = count; n <= kMaxFields; ++n, at += kDescriptorSize) {
    uint8_t d[kDescriptorSize];
    const size_t read = data_->readAt(at, d, sizeof d);
    if (read >= 1 && d[0] == kDescriptorTerminator) return checkDescriptorEnd(at + 1);
    if (read < sizeof d || !looksLikeDescriptor(d)) return {};
  }
  return {};
}

// The header length is where the records start: it must not fall inside the
// field descriptors, which end at byte end.
Result DbfTable::checkDescriptorEnd(uint64_t end) const {
  if (header_.headerLength() >= end) return {};
  return Result::failure("the header length " + std::to_string(header_.headerLength()) +
                         " ends inside the field descriptors, which end at byte " + std::to_string(end));
}

Result DbfTable::readLevel7Descriptors() {
  uint64_t at = kHeaderSize + kLevel7ExtensionSize;
  for (;;) {
    uint8_t d[kLevel7DescriptorSize];
    const size_t got = data_->readAt(at, d, sizeof d);
    if (got >= 1 && d[0] == kDescriptorTerminator) return checkDescriptorEnd(at + 1);
    if (got < sizeof d) return Result::failure("the field descriptors end without their terminator");
    at += sizeof d;
    if (d[33] == 0) continue;  // fields of length 0 are dropped
    if (fields_.size() >= kMaxFields)
      return Result::failure("the table has more than " + std::to_string(kMaxFields) + " fields");
    std::string name = nameOf(d, 32);
    FieldDescriptor descriptor;
    std::memcpy(descriptor.bytes.data(), d, std::min<size_t>(name.size(), 10));
    descriptor.bytes[11] = d[32];
    descriptor.bytes[16] = d[33];
    descriptor.bytes[17] = d[34];
    if (Result added = addField(descriptor, name); !added) return added;
  }
}

// Gives each field its offset and settles the record length. A record length
// shorter than the fields is refused: walked with it, records would overlap and
// a table would yield many times its rows of shifted bytes.
Result DbfTable::layOutFields() {
  uint32_t sum = 1, sumLowBytes = 1;
  for (const Field& f : fields_) sum += f.length;
  for (const FieldDescriptor& d : descriptors_) sumLowBytes += d.bytes[16];
  recordLength_ = header_.recordLength();
  // Some writers (Excel among them) put a decimal count on character fields;
  // read as a high length byte it breaks a layout that adds up without it.
  const bool lowBytesOnly = recordLength_ != 0 && sum != recordLength_ && sumLowBytes == recordLength_;
  const uint32_t declared = lowBytesOnly ? sumLowBytes : sum;
  if (recordLength_ == 0) {
    // A record length of 0 is repaired from the fields, when they fit a record.
    if (declared > UINT16_MAX)
      return Result::failure("the record length is 0 and the fields declare " + std::to_string(declared) +
                             " bytes, more than the 65535 of a record");
    recordLength_ = declared;
  } else if (recordLength_ < declared) {
    return Result::failure("the record length " + std::to_string(recordLength_) + " is smaller than the " +
                           std::to_string(declared) + " bytes its fields declare");
  }
  uint32_t offset = 1;
  for (size_t i = 0; i < fields_.size(); ++i) {
    Field& f = fields_[i];
    FieldDescriptor& d = descriptors_[i];
    if (lowBytesOnly) f.length = d.bytes[16];
    f.kind = fieldKindOf(f.type, f.length, isLevel7());
    writeLe16(&d.bytes[12], offset);
    f.offset = static_cast<uint16_t>(offset);
    offset += f.length;
  }
  return {};
}

bool DbfTable::loadChunk(uint64_t first) {
  const uint64_t perChunk = (chunk_.size() - kRecordSlack) / recordLength_;
  const uint64_t count = std::min<uint64_t>(perChunk, recordCount_ - first);
  const uint64_t bytes = count * recordLength_;
  const uint64_t offset = header_.headerLength() + first * recordLength_;
  if (data_->readAt(offset, chunk_.data(), static_cast<size_t>(bytes)) != bytes) {
    chunkCount_ = 0;
    return false;
  }
  chunkFirst_ = first;
  chunkCount_ = count;
  return true;
}

const uint8_t* DbfTable::readRecordAt(uint64_t n) {
  if (!data_ || n >= recordCount_ || recordLength_ == 0) return current_ = nullptr;
  if (n < chunkFirst_ || n >= chunkFirst_ + chunkCount_) {
    // Walking backwards, load the chunk that ends at n.
    const uint64_t perChunk = (chunk_.size() - kRecordSlack) / recordLength_;
    const bool backwards = chunkCount_ != 0 && n + 1 == chunkFirst_;
    const uint64_t first = backwards && n + 1 >= perChunk ? n + 1 - perChunk : backwards ? 0 : n;
    if (!loadChunk(first)) return current_ = nullptr;
  }
  next_ = n + 1;
  return current_ = chunk_.data() + (n - chunkFirst_) * recordLength_;
}

const uint8_t* DbfTable::readNextRecord() { return readRecordAt(next_); }

bool DbfTable::modificationTime(timespec& out) const {
  if (hasModificationTime_) out = modificationTime_;
  return hasModificationTime_;
}

void DbfTable::close() {
  data_.reset();
  memo_.reset();
  path_.clear();
  header_ = DbfHeader{};
  descriptors_.clear();
  fields_.clear();
  hasMemoFields_ = false;
  sourceIsOem_ = false;
  textPages_ = TextPages{};
  textPagesNamed_ = false;
  recordLength_ = 0;
  recordCount_ = 0;
  fileSize_ = 0;
  lostMemos_ = 0;
  hasModificationTime_ = false;
  chunk_.clear();
  chunkFirst_ = chunkCount_ = next_ = 0;
  current_ = nullptr;
}

}  // namespace tabrix
