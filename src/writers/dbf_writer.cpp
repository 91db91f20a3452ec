// DBF tables at four levels. Every exported column gets its output type,
// length and conversion once, before the first record; the walk then fills one
// reused record buffer per record. A value is copied as stored only where the
// output level reads those bytes the same way; otherwise it is re-encoded, or
// moved to a type the level has, so that no reader of the output sees a value
// other than the source's (docs/dbf-output.md lists every mapping).
#include "writers/dbf_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>

#include "dbf/date_time.h"
#include "dbf/dbf_format.h"
#include "dbf/field_decoder.h"
#include "dbf/field_kinds.h"
#include "dbf/text_pages.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "platform/path_lookup.h"
#include "util/ascii.h"

namespace tabrix {

namespace {

enum class Level { DBase3, DBase, VisualFoxPro, Level7 };

uint8_t familyBit(Level level) {
  switch (level) {
    case Level::DBase3: return kDBase3Family;
    case Level::DBase: return kDBaseFamily;
    case Level::VisualFoxPro: return kVisualFoxProFamily;
    case Level::Level7: return kLevel7Family;
  }
  return 0;
}

Level levelOf(uint8_t version) {
  if (isLevel7(version)) return Level::Level7;
  if (isVisualFoxPro(version)) return Level::VisualFoxPro;
  if (version == 0x03 || version == 0x83) return Level::DBase3;
  return Level::DBase;
}

enum class Conversion : uint8_t {
  Copy,            // the stored bytes
  IntegerText,     // 32-bit integer as right-aligned digits
  CurrencyText,    // 64-bit currency with its four decimals
  DoubleText,      // double as the shortest text that reads back the same
  DateOfDateTime,  // YYYYMMDD of a date-time
  IntegerLe,       // level 7 integer to little-endian
  DoubleLe,        // level 7 double to little-endian
  DoubleLevel7,    // little-endian double to level 7
  DateTimeFoxPro,  // level 7 timestamp to day number and milliseconds
  DateTimeLevel7,  // day number and milliseconds to level 7 timestamp
  DecodedText,     // the value's text, left-aligned (varchar, varbinary)
  Memo,            // the memo rewritten, its block number in the output's form
  MemoKept,        // the stored block number (the memo file is copied whole)
  NullFlags,       // the output's own null flags, set column by column
};

constexpr uint8_t kFlagSystem = 0x01;           // Visual FoxPro: a field no user sees
constexpr uint8_t kFlagNullable = 0x02;         // Visual FoxPro: the field may hold NULL
constexpr uint8_t kFlagBinary = 0x04;           // Visual FoxPro: no code-page translation
constexpr int64_t kJulianDayOfYear1 = 1721426;  // 1 January of year 1
constexpr int64_t kLastJulianDay = 5373484;     // 31 December 9999
constexpr double kMillisPerDay = 86400000.0;
constexpr uint64_t kMemoHeaderBytes = 512;  // every memo format's header lies in its first 512 bytes

struct Column {
  int field = 0;
  std::string name;
  char type = 'C';
  uint16_t length = 0;
  uint8_t decimals = 0;
  uint8_t flags = 0;
  uint32_t offset = 0;  // in the output record
  Conversion conversion = Conversion::Copy;
  NullBit sourceNull;     // where the source says the value is NULL
  uint16_t nullFlag = 0;  // the value's bit in the output's null flags
};

template <size_t N>
std::array<uint8_t, N> firstBytes(const uint8_t* bytes, size_t len) {
  std::array<uint8_t, N> b{};
  std::memcpy(b.data(), bytes, std::min(N, len));
  return b;
}

void writeBigEndianDouble(uint8_t* out, double value) {
  uint8_t le[8];
  std::memcpy(le, &value, sizeof le);
  for (int i = 0; i < 8; ++i) out[i] = le[7 - i];
}

// Level 7 doubles sort as bytes: positives carry the sign bit set, negatives
// have every bit inverted.
void writeLevel7Double(uint8_t* out, double value) {
  writeBigEndianDouble(out, value);
  if (out[0] & 0x80) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(~out[i]);
  } else {
    out[0] |= 0x80;
  }
}

// text right-aligned in a field of width bytes, blanks on the left.
void putRightAligned(const char* text, size_t n, uint8_t* out, size_t width) {
  n = std::min(n, width);
  std::memset(out, ' ', width - n);
  std::memcpy(out + width - n, text, n);
}

void putLeftAligned(const char* text, size_t n, uint8_t* out, size_t width) {
  n = std::min(n, width);
  std::memcpy(out, text, n);
  std::memset(out + n, ' ', width - n);
}

uint8_t chooseVersion(const ConversionOptions& o, const DbfTable& table, bool memo) {
  uint8_t version = o.keepSourceDbfVersion ? table.version() : o.dbfVersion;
  if (!o.commandLineMode) {
    if (o.outputFormat == OutputFormat::DBase4) version = 0x43;
    else if (o.outputFormat == OutputFormat::VisualFoxPro) version = 0x30;
    else if (o.outputFormat == OutputFormat::DBase7) version = 0x04;
  }
  if (memo) {
    if (version == 0x03) version = 0x83;
    else if (version == 0x43) version = 0x8B;
    else if (version == 0x04) version = 0x8C;
  }
  return version;
}

// The output type of a field that keeps its value in the memo file: its own
// where the level has that memo type, else the level's memo type.
char memoTypeAt(Level level, const Field& f, uint8_t& flags) {
  if (f.kind.ownMemoIn & familyBit(level)) return f.type;
  switch (level) {
    case Level::DBase3: return 'M';
    case Level::VisualFoxPro:
      flags = kFlagBinary;  // binary memos of dBase and FoxPro pictures: Memo (binary)
      return 'M';
    case Level::DBase:
    case Level::Level7: return 'B';
  }
  return 'M';
}

// Type, length, decimals and conversion of one exported field at the level.
Column columnFor(const DbfTable& table, int i, Level level, bool copyMemos) {
  const Field& f = table.field(i);
  Column c;
  c.field = i;
  c.type = f.type;
  c.length = f.length;
  c.decimals = f.decimals;
  auto set = [&c](char type, uint16_t length, uint8_t decimals, Conversion conversion) {
    c.type = type;
    c.length = length;
    c.decimals = decimals;
    c.conversion = conversion;
  };
  const Storage storage = f.kind.storage;
  if (f.kind.inMemoFile) {
    if (!copyMemos) set(memoTypeAt(level, f, c.flags), level == Level::VisualFoxPro ? 4 : 10, 0, Conversion::Memo);
    else c.conversion = Conversion::MemoKept;
  } else {
    switch (f.kind.valueClass) {
      case ValueClass::Integer:
        // A level 7 integer reads -2147483648 as 0, so other levels' integers enter level 7 as text.
        if (level == Level::DBase3 || (level == Level::Level7 && storage != Storage::Level7Integer))
          set('N', 11, 0, Conversion::IntegerText);
        else if (level != Level::Level7)
          set('I', 4, 0, storage == Storage::Level7Integer ? Conversion::IntegerLe : Conversion::Copy);
        break;
      case ValueClass::Currency:
        if (level == Level::DBase3 || level == Level::Level7) set('N', 21, 4, Conversion::CurrencyText);
        break;
      case ValueClass::Double: {
        const bool level7Double = storage == Storage::Level7Double;
        // Readers take a numeric field without decimals for an integer field.
        if (level == Level::DBase3 || level == Level::DBase)
          set('N', 24, !level7Double && f.decimals ? f.decimals : 4, Conversion::DoubleText);
        else if (level == Level::Level7 && !level7Double) set('O', 8, 0, Conversion::DoubleLevel7);
        else if (level == Level::VisualFoxPro && level7Double) set('B', 8, f.decimals, Conversion::DoubleLe);
        break;
      }
      case ValueClass::DateTime: {
        if (f.length != 8) {
          // Not the 8 binary bytes: the 14-character text form, whose date leads; text elsewhere.
          if (level == Level::DBase3) set('D', 8, 0, Conversion::Copy);
          else set('C', f.length, 0, Conversion::Copy);
          break;
        }
        const bool level7Stamp = storage == Storage::Level7Stamp;
        if (level == Level::DBase3) set('D', 8, 0, Conversion::DateOfDateTime);
        else if (level == Level::Level7) set('@', 8, 0, level7Stamp ? Conversion::Copy : Conversion::DateTimeLevel7);
        else set('T', 8, 0, level7Stamp ? Conversion::DateTimeFoxPro : Conversion::Copy);
        break;
      }
      default:
        // Varchar and varbinary values become their text.
        if (storage == Storage::Varchar) set('C', f.length, 0, Conversion::DecodedText);
        else if (storage == Storage::Varbinary)
          set('C', static_cast<uint16_t>(std::min<size_t>(2 * size_t{f.length}, UINT16_MAX)), 0,
              Conversion::DecodedText);
        break;
    }
  }
  // A Visual FoxPro field that keeps its type keeps its binary flag (no code-page translation).
  if (isVisualFoxPro(table.version()) && c.type == f.type)
    c.flags |= table.descriptors()[static_cast<size_t>(i)].bytes[18] & kFlagBinary;
  return c;
}

// Names cut to what the level's descriptor holds stay distinct: a clash gets
// a number at its end.
void assignNames(const DbfTable& table, std::vector<Column>& columns, size_t maxLength) {
  for (size_t k = 0; k < columns.size(); ++k) {
    const std::string& source = table.field(columns[k].field).name;
    std::string name = source.substr(0, maxLength);
    auto taken = [&] {
      for (size_t j = 0; j < k; ++j)
        if (equalsIgnoringCase(columns[j].name, name)) return true;
      return false;
    };
    for (int n = 1; taken(); ++n) {
      const std::string suffix = fmt::format("_{}", n);
      name = source.substr(0, maxLength - suffix.size()) + suffix;
    }
    columns[k].name = std::move(name);
  }
}

class DbfWriter final : public RecordWriter {
 public:
  explicit DbfWriter(JobContext& job) : job_(job), table_(job.table) {}

  bool opensOutput() const override { return true; }

  // The job refuses an output that is this table or its memo file when the
  // output is staged, before anything is written.
  Result open() override {
    const ConversionOptions& o = job_.options;
    bool sourceHasMemo = false;
    bool memoExported = false;
    for (int i = 0; i < table_.fieldCount(); ++i) sourceHasMemo = sourceHasMemo || table_.field(i).kind.inMemoFile;
    for (const PlannedColumn& column : job_.plan.columns) memoExported = memoExported || column.kind().inMemoFile;
    version_ = chooseVersion(o, table_, sourceHasMemo);
    level_ = levelOf(version_);

    uint64_t existingCount = 0;
    if (o.appendToOutput) readExistingTable(existingCount);
    appending_ = existingBytes_ > 0;
    // Only a memo file that is there with a sound header is copied whole;
    // otherwise the memos that can be read are written one by one.
    const MemoFile* sourceMemo = table_.memo();
    copyMemos_ = memoExported && version_ == table_.version() && sourceMemo && sourceMemo->isOpen() &&
                 sourceMemo->headerIsSound() && !appending_;

    buildColumns();
    if (Result built = buildHeader(); !built) return built;
    if (appending_) {
      if (Result matches = matchesExisting(existingCount); !matches) return matches;
      written_ = existingCount;
    }

    // An appended table keeps its header to be put back if the job fails.
    const bool opened = appending_ ? job_.out.openAt(job_.outputPath, existingEnd_, header_.size())
                                   : job_.out.open(job_.outputPath, false);
    if (!opened) return Result::failure(job_.out.errorText());
    return sourceHasMemo ? openMemo() : Result();
  }

  void header() override {
    if (!appending_) job_.out.write(reinterpret_cast<const char*>(header_.data()), header_.size());
  }

  void record(const uint8_t* record, bool) override {
    uint8_t* out = record_.data();
    // Flags other than '*' (zero bytes, damage) mark active records, as every output reads them.
    out[0] = record[0] == '*' ? '*' : ' ';
    if (nullFlagCount_ > 0) std::memset(out + nullFlagsOffset_, 0, (nullFlagCount_ + 7) / 8);
    for (const Column& c : columns_) {
      if (isNull(c.sourceNull, record)) {
        blankValue(c, out + c.offset);
        if (c.flags & kFlagNullable) out[nullFlagsOffset_ + c.nullFlag / 8] |= static_cast<uint8_t>(1u << (c.nullFlag % 8));
      } else {
        writeValue(c, record, out + c.offset);
      }
    }
    job_.out.write(reinterpret_cast<const char*>(out), record_.size());
    ++written_;
  }

  void footer() override {
    job_.out.write("\x1A", 1);
    uint8_t first[kHeaderSize];
    std::memcpy(first, header_.data(), kHeaderSize);
    writeLe32(first + 4, static_cast<uint32_t>(std::min<uint64_t>(written_, UINT32_MAX)));
    job_.out.writeAt(0, first, sizeof first);
  }

  Result close() override {
    std::string reason;
    if (const Result copied = copyMemos_ ? copyFileBytes(table_.memo()->path(), memoWritePath_) : Result(); !copied)
      reason = fmt::format("cannot copy the memo file to {}: {}", memoPath_, copied.reason());
    if (outputMemo_) {
      if (outputMemo_->writeFailed()) reason = fmt::format("cannot write the memo file {}", memoPath_);
      outputMemo_.reset();
    }
    if (cutMemos_ > 0)
      job_.warning = fmt::format("{} memos hold the byte 0x1A, where a dBase III memo ends; they are cut there", cutMemos_);
    return reason.empty() ? Result() : Result::failure(reason);
  }

 private:
  // The output's memo file, staged with the table: a new table gets a new
  // memo file, or a copy of the source's; an appended one adds to its own,
  // whose header is kept to be put back if the job fails.
  Result openMemo() {
    std::string reason;
    memoPath_ = siblingWithExtension(job_.outputPath, memoExtensionFor(job_.outputPath, version_));
    const Result staged = appending_ ? job_.files.extend(memoPath_, kMemoHeaderBytes, UINT64_MAX, memoWritePath_)
                                     : job_.files.create(memoPath_, memoWritePath_);
    if (!staged) reason = staged.reason();
    if (staged && !copyMemos_)
      if (const Result opened = MemoFile::openForWriting(memoWritePath_, version_, outputMemo_); !opened)
        reason = opened.reason();
    if (reason.empty()) return {};
    return Result::failure(fmt::format("cannot create the memo file {}: {}", memoPath_, reason));
  }

  void buildColumns() {
    uint32_t offset = 1;
    for (const PlannedColumn& column : job_.plan.columns) {
      const int field = column.field;
      // The null flags of Visual FoxPro describe the source's layout, not ours.
      if (isNullFlagsName(table_.field(field).name.c_str())) continue;
      // A field of no bytes holds no value; level 7 readers drop its descriptor.
      if (level_ == Level::Level7 && table_.field(field).length == 0) continue;
      Column c = columnFor(table_, field, level_, copyMemos_);
      c.offset = offset;
      offset += c.length;
      if (c.conversion == Conversion::DecodedText)
        scratch_.resize(std::max(scratch_.size(), decodedTextCapacity(table_.field(field))));
      c.sourceNull = column.nullBit;
      // Only Visual FoxPro tables hold NULL; other levels get a blank value.
      if (level_ == Level::VisualFoxPro && c.sourceNull.mask != 0) {
        c.flags |= kFlagNullable;
        c.nullFlag = nullFlagCount_++;
      }
      columns_.push_back(std::move(c));
    }
    assignNames(table_, columns_, level_ == Level::Level7 ? 31 : 10);
    if (nullFlagCount_ > 0) addNullFlagsColumn(offset);
    record_.assign(offset, ' ');
  }

  // The output's null flags follow its fields: one bit per nullable column in
  // column order (the output has no varchar, so no length bits). They are
  // made anew because the output's columns need not be the source's.
  void addNullFlagsColumn(uint32_t& offset) {
    Column c;
    for (int i = 0; i < table_.fieldCount(); ++i)
      if (table_.field(i).kind.valueClass == ValueClass::NullFlags) c.field = i;
    c.name = "_NullFlags";
    c.type = '0';
    c.length = static_cast<uint16_t>((nullFlagCount_ + 7) / 8);
    c.flags = kFlagSystem | kFlagBinary;
    c.offset = offset;
    c.conversion = Conversion::NullFlags;
    offset += c.length;
    nullFlagsOffset_ = c.offset;
    columns_.push_back(std::move(c));
  }

  // A NULL in a level without NULL, and the value under a set null flag:
  // blank text, or zero bytes where the field is binary.
  static void blankValue(const Column& c, uint8_t* out) {
    const bool text = std::strchr("CNFDL", c.type) != nullptr || (c.length == 10 && std::strchr("MGB", c.type));
    std::memset(out, text ? ' ' : 0, c.length);
  }

  Result buildHeader() {
    const size_t n = columns_.size();
    size_t length = level_ == Level::Level7 ? 48 * n + 69 : level_ == Level::VisualFoxPro ? 32 * n + 296 : 32 * n + 33;
    if (length > UINT16_MAX || record_.size() > UINT16_MAX)
      return Result::failure(
          fmt::format("{} fields of {} bytes in all do not fit in one table of this level", n, record_.size()));
    header_.assign(length, 0);
    uint8_t* h = header_.data();
    const std::tm local = localTimeNow();
    h[0] = version_;
    h[1] = static_cast<uint8_t>(local.tm_year);
    h[2] = static_cast<uint8_t>(local.tm_mon + 1);
    h[3] = static_cast<uint8_t>(local.tm_mday);
    writeLe16(h + 8, static_cast<uint32_t>(length));
    writeLe16(h + 10, static_cast<uint32_t>(record_.size()));
    // The text is copied as stored, so its code page travels with it: the
    // source's mark, unless the user named another page for the source ("/CP:n").
    h[29] = table_.header().codePageMark();
    const int stored = table_.sourceIsOem() ? table_.textPages().oem : table_.textPages().ansi;
    if (table_.textPagesNamed() && codePageOfMark(h[29]) != stored)
      if (const uint8_t mark = markOfCodePage(stored)) h[29] = mark;
    bool memoColumn = false;
    for (const Column& c : columns_) memoColumn = memoColumn || table_.field(c.field).kind.inMemoFile;
    if (level_ == Level::VisualFoxPro) {
      h[28] = memoColumn ? kFlagHasMemo : 0;
      if (h[29] == 0) h[29] = 0x03;
    }
    uint8_t* d = h + kHeaderSize;
    if (level_ == Level::Level7) {
      std::memcpy(d, "DBWINUS0", 8);
      d += kLevel7ExtensionSize;
    }
    for (const Column& c : columns_) {
      const bool level7 = level_ == Level::Level7;
      std::memcpy(d, c.name.data(), c.name.size());
      uint8_t* typeAt = d + (level7 ? 32 : 11);
      typeAt[0] = static_cast<uint8_t>(c.type);
      uint8_t* lengthAt = d + (level7 ? 33 : 16);
      // Character fields above 255 bytes (the only ones) keep the high length
      // byte in the decimals byte; their decimals are 0.
      lengthAt[0] = static_cast<uint8_t>(c.length);
      lengthAt[1] = c.length > UINT8_MAX ? static_cast<uint8_t>(c.length >> 8) : c.decimals;
      if (level_ == Level::VisualFoxPro) {
        writeLe32(d + 12, c.offset);
        d[18] = c.flags;
      }
      d += level7 ? kLevel7DescriptorSize : kDescriptorSize;
    }
    *d = kDescriptorTerminator;
    return {};
  }

  // With appending on, an existing non-empty output must be a table this job
  // can extend; its size and header are read here, its layout compared once
  // ours is known.
  void readExistingTable(uint64_t& count) {
    File file;
    if (!file.open(job_.outputPath, FileMode::ReadOnly) || file.size() == 0) return;
    existingBytes_ = file.size();
    existing_.resize(static_cast<size_t>(std::min<uint64_t>(existingBytes_, UINT16_MAX)));
    existing_.resize(file.readAt(0, existing_.data(), existing_.size()));
    count = existing_.size() >= kHeaderSize ? readLe32(existing_.data() + 4) : 0;
    file.readAt(existingBytes_ - 1, &existingLastByte_, 1);
  }

  Result matchesExisting(uint64_t count) {
    const size_t length = header_.size();
    const bool sameLayout = existing_.size() >= length && existing_[0] == header_[0] &&
                            std::memcmp(existing_.data() + 8, header_.data() + 8, length - 8) == 0;
    if (!sameLayout)
      return Result::failure("the existing table has other fields or another level; nothing was appended");
    existingEnd_ = length + count * record_.size();
    const bool wholeRecords =
        existingBytes_ == existingEnd_ || (existingBytes_ == existingEnd_ + 1 && existingLastByte_ == kEndOfFile);
    if (!wholeRecords)
      return Result::failure(
          fmt::format("the existing table's size does not match its {} records; nothing was appended", count));
    return {};
  }

  void writeValue(const Column& c, const uint8_t* record, uint8_t* out) {
    const Field& f = table_.field(c.field);
    const uint8_t* in = record + f.offset;
    char text[40];
    switch (c.conversion) {
      case Conversion::Copy: {
        const size_t n = std::min<size_t>(f.length, c.length);
        std::memcpy(out, in, n);
        std::memset(out + n, ' ', c.length - n);
        break;
      }
      case Conversion::IntegerText: {
        const int32_t v = integerValue(f, record);
        putRightAligned(text, static_cast<size_t>(fmt::format_to(text, "{}", v) - text), out, c.length);
        break;
      }
      case Conversion::CurrencyText:
        putRightAligned(text, formatCurrency(currencyAmount(f, record), 4, text), out, c.length);
        break;
      case Conversion::DoubleText: {
        const double v = doubleValue(f, record);
        // Not a number and the infinities have no text in a numeric field: blank.
        const size_t n = std::isfinite(v) ? static_cast<size_t>(fmt::format_to(text, "{}", v) - text) : 0;
        putRightAligned(text, n, out, c.length);
        break;
      }
      case Conversion::DateOfDateTime: {
        const auto parts = decodeDateTime(table_, c.field, record);
        if (parts)
          fmt::format_to(reinterpret_cast<char*>(out), "{:04}{:02}{:02}", parts->year, parts->month, parts->day);
        else std::memset(out, ' ', 8);
        break;
      }
      case Conversion::IntegerLe: writeLe32(out, static_cast<uint32_t>(integerValue(f, record))); break;
      case Conversion::DoubleLe: {
        const double v = doubleValue(f, record);
        std::memcpy(out, &v, 8);
        break;
      }
      case Conversion::DoubleLevel7: writeLevel7Double(out, doubleValue(f, record)); break;
      case Conversion::DateTimeFoxPro: writeFoxProDateTime(firstBytes<8>(in, f.length).data(), out); break;
      case Conversion::DateTimeLevel7: writeLevel7Timestamp(firstBytes<8>(in, f.length).data(), out); break;
      case Conversion::DecodedText: {
        const size_t n = decodeFieldText(table_, c.field, record, job_.decode, scratch_.data());
        putLeftAligned(scratch_.data(), n, out, c.length);
        break;
      }
      case Conversion::Memo: writeMemoReference(c, writeMemo(c.field, record), out); break;
      case Conversion::NullFlags: break;  // set in record()
      case Conversion::MemoKept:
        // A block number the copied file does not hold would point nowhere: blank instead.
        if (readFieldMemo(table_, c.field, record).whole) std::memcpy(out, in, c.length);
        else blankSourceMemoReference(c, out);
        break;
    }
  }

  // Day number and milliseconds of the instant a level 7 timestamp holds.
  static void writeFoxProDateTime(const uint8_t* stamp, uint8_t* out) {
    std::memset(out, 0, 8);
    if (readLe32(stamp) == 0) return;
    uint8_t le[8];
    for (int i = 0; i < 8; ++i) le[i] = stamp[7 - i];
    double millis;
    std::memcpy(&millis, le, sizeof millis);
    if (!(millis >= 0 && millis < 4e17)) return;
    int64_t days = static_cast<int64_t>(std::floor(millis / kMillisPerDay));
    int64_t ms = std::llround(millis - static_cast<double>(days) * kMillisPerDay);
    if (ms >= 86400000) {
      ++days;
      ms -= 86400000;
    }
    // The timestamp counts from the day before 1 January of year 1.
    const int64_t julian = days - 1 + kJulianDayOfYear1;
    if (julian < kJulianDayOfYear1 || julian > kLastJulianDay) return;
    writeLe32(out, static_cast<uint32_t>(julian));
    writeLe32(out + 4, static_cast<uint32_t>(ms));
  }

  static void writeLevel7Timestamp(const uint8_t* foxpro, uint8_t* out) {
    std::memset(out, 0, 8);
    const int64_t julian = readLe32(foxpro);
    const uint32_t ms = readLe32(foxpro + 4);
    if (julian < kJulianDayOfYear1 || julian > kLastJulianDay || ms >= 86400000) return;
    writeBigEndianDouble(out, static_cast<double>(julian - kJulianDayOfYear1 + 1) * kMillisPerDay + ms);
  }

  // Copies the field's memo into the output memo file; its block, or 0. Of a
  // memo the source holds only in part, that part is written.
  uint32_t writeMemo(int field, const uint8_t* record) {
    const std::string_view text = readFieldMemo(table_, field, record).text;
    if (text.empty()) return 0;
    if (outputMemo_->format() == MemoFormat::DBase3 && text.find('\x1A') != std::string_view::npos) ++cutMemos_;
    return outputMemo_->writeMemo(text);
  }

  // No memo in the source's form of reference: zero bytes in a binary one
  // (Visual FoxPro, SMT), blanks in a decimal one.
  void blankSourceMemoReference(const Column& c, uint8_t* out) const {
    std::memset(out, c.length == 4 || isSmt(table_.version()) ? 0 : ' ', c.length);
  }

  static void writeMemoReference(const Column& c, uint32_t block, uint8_t* out) {
    if (c.length == 4) {
      writeLe32(out, block);
    } else if (block == 0) {
      std::memset(out, ' ', c.length);
    } else {
      char text[16];
      putRightAligned(text, static_cast<size_t>(fmt::format_to(text, "{}", block) - text), out, c.length);
    }
  }

  JobContext& job_;
  DbfTable& table_;
  uint16_t nullFlagCount_ = 0;
  uint32_t nullFlagsOffset_ = 0;
  uint8_t version_ = 0x03;
  Level level_ = Level::DBase3;
  std::vector<Column> columns_;
  std::vector<uint8_t> header_;
  std::vector<uint8_t> record_;
  std::vector<char> scratch_;
  std::unique_ptr<MemoFile> outputMemo_;
  std::string memoPath_;       // the output's memo file
  std::string memoWritePath_;  // where it is written until the job commits
  bool copyMemos_ = false;
  bool appending_ = false;
  uint64_t existingBytes_ = 0;
  uint64_t existingEnd_ = 0;
  std::vector<uint8_t> existing_;
  uint8_t existingLastByte_ = 0;
  uint64_t written_ = 0;
  uint64_t cutMemos_ = 0;
};

}  // namespace

std::unique_ptr<RecordWriter> makeDbfWriter(JobContext& job) { return std::make_unique<DbfWriter>(job); }

}  // namespace tabrix
