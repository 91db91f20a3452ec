// Writes the seed inputs of the DBF table fuzzer into a folder: one small valid
// table per dialect with its memo file, and damaged variants of them. The bytes
// are laid out here by hand, independently of the reader, and packed with the
// frame of fuzz_frame.h.
//
//   dbf_table_fuzz_make_seeds tests/fuzz/seeds
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string le16(uint32_t v) { return {char(v), char(v >> 8)}; }
std::string le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string le64(uint64_t v) { return le32(static_cast<uint32_t>(v)) + le32(static_cast<uint32_t>(v >> 32)); }
std::string doubleLe(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return le64(bits);
}
std::string reversed(std::string s) { return {s.rbegin(), s.rend()}; }

void put(Bytes& out, size_t at, const std::string& bytes) {
  if (out.size() < at + bytes.size()) out.resize(at + bytes.size());
  std::memcpy(out.data() + at, bytes.data(), bytes.size());
}

struct SeedField {
  std::string name;
  char type;
  uint16_t length;
  uint8_t decimals = 0;
  uint8_t flags = 0;  // Visual FoxPro field flags
};

// A table in the layout its version byte selects: 48-byte descriptors after the
// level 7 extension, or 32-byte ones (Visual FoxPro adds the backlink area).
class SeedTable {
 public:
  explicit SeedTable(uint8_t version, uint8_t tableFlags = 0) : version_(version), flags_(tableFlags) {}
  SeedTable& field(SeedField f) {
    fields_.push_back(std::move(f));
    return *this;
  }
  // Raw field values, padded with blanks to their field's length.
  SeedTable& record(const std::vector<std::string>& values, bool deleted = false) {
    std::string r(1, deleted ? '*' : ' ');
    for (size_t i = 0; i < fields_.size(); ++i) {
      std::string v = i < values.size() ? values[i] : std::string();
      v.resize(fields_[i].length, ' ');
      r += v;
    }
    records_.push_back(r);
    return *this;
  }

  Bytes bytes() const {
    const bool level7 = (version_ & 0x07) == 4;
    const bool visualFoxPro = version_ >= 0x30 && version_ <= 0x32;
    uint32_t recordLength = 1;
    for (const SeedField& f : fields_) recordLength += f.length;
    const size_t headerLength = level7 ? 32 + 36 + 48 * fields_.size() + 1
                                       : 32 + 32 * fields_.size() + 1 + (visualFoxPro ? 263 : 0);
    Bytes out(headerLength, 0);
    out[0] = version_;
    out[1] = 124;  // 2024-05-17
    out[2] = 5;
    out[3] = 17;
    put(out, 4, le32(static_cast<uint32_t>(records_.size())));
    put(out, 8, le16(static_cast<uint32_t>(headerLength)));
    put(out, 10, le16(recordLength));
    out[28] = flags_;
    out[29] = visualFoxPro ? 0x03 : 0x00;
    size_t at = 32;
    if (level7) {
      put(out, at, "DBWINUS0");
      at += 36;
    }
    uint32_t offset = 1;
    for (const SeedField& f : fields_) {
      if (level7) {
        put(out, at, f.name);
        out[at + 32] = static_cast<uint8_t>(f.type);
        out[at + 33] = static_cast<uint8_t>(f.length);
        out[at + 34] = f.decimals;
        at += 48;
      } else {
        put(out, at, f.name.substr(0, 10));
        out[at + 11] = static_cast<uint8_t>(f.type);
        if (visualFoxPro) put(out, at + 12, le32(offset));
        // Character fields keep their high length byte in the decimals byte.
        put(out, at + 16, f.type == 'C' ? le16(f.length) : std::string{char(f.length), char(f.decimals)});
        out[at + 18] = f.flags;
        at += 32;
      }
      offset += f.length;
    }
    out[at] = 0x0D;
    for (const std::string& r : records_) out.insert(out.end(), r.begin(), r.end());
    out.push_back(0x1A);
    return out;
  }

 private:
  uint8_t version_;
  uint8_t flags_;
  std::vector<SeedField> fields_;
  std::vector<std::string> records_;
};

enum class MemoKind { DBase3, DBase4, FoxPro, Smt };

// A memo file with a 512-byte header; add() returns the first block of a memo.
class SeedMemo {
 public:
  SeedMemo(MemoKind kind, uint32_t blockSize) : kind_(kind), blockSize_(blockSize), bytes_(512, 0) {
    if (kind_ == MemoKind::DBase3) bytes_[16] = 3;
    if (kind_ == MemoKind::DBase4) put(bytes_, 20, le16(blockSize_));
    if (kind_ == MemoKind::FoxPro) put(bytes_, 6, std::string{char(blockSize_ >> 8), char(blockSize_)});
    if (kind_ == MemoKind::Smt) put(bytes_, 4, le32(blockSize_));
    writeNextFree();
  }

  uint32_t add(const std::string& text) {
    const uint32_t block = static_cast<uint32_t>(bytes_.size() / blockSize_);
    std::string stored;
    switch (kind_) {
      case MemoKind::DBase3: stored = text + "\x1A\x1A"; break;
      case MemoKind::DBase4: stored = std::string("\xFF\xFF\x08\x00", 4) + le32(static_cast<uint32_t>(text.size() + 8)) + text; break;
      case MemoKind::FoxPro: stored = be32(1) + be32(static_cast<uint32_t>(text.size())) + text; break;
      case MemoKind::Smt: stored = text; break;
    }
    stored.resize((stored.size() + blockSize_ - 1) / blockSize_ * blockSize_, '\0');
    bytes_.insert(bytes_.end(), stored.begin(), stored.end());
    writeNextFree();
    return block;
  }
  Bytes& bytes() { return bytes_; }

 private:
  void writeNextFree() {
    const uint32_t next = static_cast<uint32_t>(bytes_.size() / blockSize_);
    put(bytes_, 0, kind_ == MemoKind::FoxPro ? be32(next) : le32(next));
  }

  MemoKind kind_;
  uint32_t blockSize_;
  Bytes bytes_;
};

// A memo reference of a 10-character field: the block number in decimal.
std::string decimalBlock(uint32_t block) {
  std::string digits = std::to_string(block);
  return std::string(10 - digits.size(), ' ') + digits;
}

// dBase level 7 numbers: big-endian with the sign bit inverted.
std::string level7Integer(int32_t v) { return be32(static_cast<uint32_t>(v) ^ 0x80000000u); }
std::string level7Double(double d) {
  std::string b = reversed(doubleLe(d));
  if (d >= 0) b[0] = static_cast<char>(b[0] | 0x80);
  else for (char& c : b) c = static_cast<char>(~c);
  return b;
}
// Milliseconds from 1 January of year 1 less one day, as a big-endian double.
std::string level7Timestamp(int64_t daysSince1970, int64_t millisOfDay) {
  const double millis = double(daysSince1970 + 719162 + 1) * 86400000.0 + double(millisOfDay);
  return reversed(doubleLe(millis));
}
// Visual FoxPro date-time: Julian day number, then milliseconds of the day.
std::string foxProDateTime(uint32_t julianDay, uint32_t millis) { return le32(julianDay) + le32(millis); }

struct Seed {
  std::string name;
  Bytes table;
  Bytes memo;
  bool hasMemo = true;
};

Seed dBase3(uint8_t version = 0x83) {
  SeedMemo memo(MemoKind::DBase3, 512);
  const uint32_t first = memo.add("Ann's memo: two lines\r\nof text");
  SeedTable table(version);
  table.field({"NAME", 'C', 10}).field({"AMOUNT", 'N', 8, 2}).field({"BORN", 'D', 8}).field({"ACTIVE", 'L', 1})
      .field({"NOTES", 'M', 10})
      .record({"Ann", "   12.50", "20000229", "T", decimalBlock(first)})
      .record({"Bob", "  -30.00", "        ", "?", ""})
      .record({"Cy", "     .25", "19991231", "F", ""}, true);
  return {"", table.bytes(), memo.bytes()};
}

Seed dBase4() {
  SeedMemo memo(MemoKind::DBase4, 64);
  const uint32_t text = memo.add("dBase IV memo that spans more than one block of sixty-four bytes, so the reader must follow it.");
  const uint32_t binary = memo.add(std::string("\x01\x02\x00\x1A\xFF", 5));
  SeedTable table(0x8B);
  table.field({"TITLE", 'C', 12}).field({"RATIO", 'F', 10, 4}).field({"WHEN", 'D', 8}).field({"OK", 'L', 1})
      .field({"NOTES", 'M', 10}).field({"BLOB", 'B', 10})
      .record({"first", "    3.1416", "20240517", "Y", decimalBlock(text), decimalBlock(binary)})
      .record({"second", "   -0.0001", "18991231", "N", "", ""});
  return {"", table.bytes(), memo.bytes()};
}

Seed foxPro2() {
  SeedMemo memo(MemoKind::FoxPro, 64);
  const uint32_t text = memo.add("FoxPro 2 memo");
  const uint32_t object = memo.add(std::string("OLE\0object", 10));
  SeedTable table(0xF5);
  table.field({"CODE", 'C', 6}).field({"QTY", 'N', 5}).field({"DUE", 'D', 8}).field({"PAID", 'L', 1})
      .field({"REMARK", 'M', 10}).field({"PICTURE", 'G', 10}).field({"WEIGHT", 'F', 8, 3})
      .record({"A-1", "   42", "20230101", "T", decimalBlock(text), decimalBlock(object), "   1.500"})
      .record({"B-2", "     ", "        ", " ", "", "", ""});
  return {"", table.bytes(), memo.bytes()};
}

Seed visualFoxPro() {
  SeedMemo memo(MemoKind::FoxPro, 64);
  const uint32_t text = memo.add("Visual FoxPro memo with a \x1A inside, which FoxPro memos may hold");
  SeedTable table(0x30, 0x02);
  // Field flags: 0x02 nullable, 0x04 binary, 0x05 the system field.
  table.field({"NAME", 'C', 10}).field({"NICK", 'V', 10, 0, 0x02}).field({"RAW", 'Q', 6, 0, 0x04})
      .field({"STAMP", 'T', 8}).field({"PRICE", 'Y', 8, 4}).field({"RATE", 'B', 8, 2}).field({"COUNT", 'I', 4})
      .field({"NOTES", 'M', 4}).field({"_NullFlags", '0', 1, 0, 0x05})
      .record({"Ann", "ABC       " + std::string(), std::string("\xAB\x01\0\0\0\x02", 6),
               foxProDateTime(2451604, 45296000), le64(123456), doubleLe(3.25), le32(static_cast<uint32_t>(-7)),
               le32(text), std::string(1, '\0')})
      .record({"Bob", std::string(10, ' '), std::string(6, '\0'), foxProDateTime(0, 0), le64(static_cast<uint64_t>(-1)),
               doubleLe(-1e300), le32(0x7FFFFFFF), le32(0), std::string(1, '\x01')})
      .record({"Cy", "0123456789", "\xFF\xFF\xFF\xFF\xFF\xFF", foxProDateTime(5373484, 86399999), le64(0),
               doubleLe(0.0), le32(0x80000000u), le32(0), std::string(1, '\0')});
  Seed seed{"", table.bytes(), memo.bytes()};
  // The varchar of the first record holds 3 characters: its last byte says so.
  const size_t nick = 296 + 9 * 32 + 1 + 10;
  seed.table[nick + 9] = 3;
  return seed;
}

Seed level7() {
  SeedMemo memo(MemoKind::DBase4, 512);
  const uint32_t text = memo.add("level 7 memo");
  SeedTable table(0x8C);
  table.field({"CUSTOMER_NAME_LONGER_THAN_TEN", 'C', 12}).field({"ID", 'I', 4}).field({"BALANCE", 'O', 8})
      .field({"UPDATED", '@', 8}).field({"SEQ", '+', 4}).field({"NOTES", 'M', 10}).field({"WHEN", 'T', 8})
      .field({"DROPPED", 'C', 0})
      .record({"Ann", level7Integer(5), level7Double(2.5), level7Timestamp(10957, 43200000), level7Integer(1),
               decimalBlock(text), level7Timestamp(19860, 3599000)})
      .record({"Bob", level7Integer(-5), level7Double(-1234.5), std::string(8, '\0'), level7Integer(2), "",
               std::string(8, '\0')});
  return {"", table.bytes(), memo.bytes()};
}

Seed smt() {
  SeedMemo memo(MemoKind::Smt, 32);
  const std::string text = "SMT memo whose length comes from the table";
  const uint32_t block = memo.add(text);
  SeedTable table(0xE5);
  table.field({"NAME", 'C', 8}).field({"NOTES", 'M', 10}).field({"WHEN", 'D', 8})
      .record({"Ann", std::string(2, '\0') + le32(static_cast<uint32_t>(text.size())) + le32(block), "20240517"})
      .record({"Bob", std::string(10, '\0'), "20240518"});
  return {"", table.bytes(), memo.bytes()};
}

Seed named(std::string name, Seed seed) {
  seed.name = std::move(name);
  return seed;
}

std::vector<Seed> allSeeds() {
  std::vector<Seed> seeds = {
      named("valid-dbase3-dbt", dBase3()),
      named("valid-dbase3-version03-with-memo", dBase3(0x03)),
      named("valid-dbase4-dbt", dBase4()),
      named("valid-foxpro2-fpt", foxPro2()),
      named("valid-visual-foxpro-fpt", visualFoxPro()),
      named("valid-level7-dbt", level7()),
      named("valid-smt", smt()),
  };
  const size_t vfpFirstRecord = 296 + 9 * 32;
  const size_t dBase3FirstRecord = 32 + 5 * 32 + 1;

  Seed s = named("damaged-huge-header-length", dBase3());
  put(s.table, 8, le16(0xFFFF));
  seeds.push_back(s);

  s = named("damaged-record-length-zero", dBase3());
  put(s.table, 10, le16(0));
  seeds.push_back(s);

  s = named("damaged-header-count-beyond-file", dBase3());
  put(s.table, 4, le32(1000000));
  s.table.pop_back();  // and the last record cut short
  s.table.pop_back();
  seeds.push_back(s);

  s = named("damaged-character-field-longer-than-record", dBase3());
  put(s.table, 32 + 16, le16(0xFFF0));
  seeds.push_back(s);

  s = named("damaged-unknown-type-letter", dBase3());
  s.table[32 + 32 + 11] = 'X';
  seeds.push_back(s);

  s = named("damaged-dbase3-memo-block-beyond-file", dBase3());
  put(s.table, dBase3FirstRecord + 1 + 10 + 8 + 8 + 1, decimalBlock(4000000000u));
  seeds.push_back(s);

  s = named("damaged-dbase3-memo-without-end-mark", dBase3());
  for (uint8_t& b : s.memo)
    if (b == 0x1A) b = 'x';
  seeds.push_back(s);

  s = named("damaged-dbase4-block-huge-length", dBase4());
  put(s.memo, 512 + 4, le32(0xFFFFFFF0u));
  seeds.push_back(s);

  s = named("damaged-dbase4-block-without-mark", dBase4());
  s.memo[512] = 0;
  seeds.push_back(s);

  s = named("damaged-foxpro-block-huge-length", visualFoxPro());
  put(s.memo, 512 + 4, be32(0xFFFFFFFFu));
  seeds.push_back(s);

  s = named("damaged-foxpro-block-size-zero", visualFoxPro());
  put(s.memo, 6, le16(0));
  seeds.push_back(s);

  s = named("damaged-vfp-memo-block-beyond-file", visualFoxPro());
  put(s.table, vfpFirstRecord + 1 + 10 + 10 + 6 + 8 + 8 + 8 + 4, le32(0xFFFFFFF0u));
  seeds.push_back(s);

  s = named("damaged-vfp-varchar-length-beyond-field", visualFoxPro());
  s.table[vfpFirstRecord + 1 + 10 + 9] = 0x20;
  s.table[vfpFirstRecord + 1 + 10 + 8] = ' ';
  seeds.push_back(s);

  s = named("damaged-vfp-container-header-too-short", visualFoxPro());
  s.table[28] = 0x06;
  put(s.table, 8, le16(100));
  seeds.push_back(s);

  s = named("damaged-level7-ends-before-terminator", level7());
  s.table.resize(32 + 36 + 48 + 20);
  s.memo.clear();
  seeds.push_back(s);

  s = named("damaged-smt-memo-length-beyond-file", smt());
  put(s.table, 32 + 3 * 32 + 1 + 1 + 8 + 2, le32(0x7FFFFFFF));
  seeds.push_back(s);

  // No descriptors at all: the descriptor read has nothing to read.
  s = named("damaged-no-fields", {});
  s.table = SeedTable(0x03).record({}).bytes();
  s.hasMemo = false;
  seeds.push_back(s);

  s = named("damaged-memo-file-missing", dBase3());
  s.hasMemo = false;
  seeds.push_back(s);

  s = named("damaged-memo-file-empty", foxPro2());
  s.memo.clear();
  seeds.push_back(s);
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const Seed& seed : allSeeds()) {
    const Bytes bytes = seed.hasMemo ? tabrix::fuzz::packFuzzInput(seed.table, seed.memo) : seed.table;
    std::ofstream out(folder / seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "cannot write %s\n", (folder / seed.name).c_str());
      return 1;
    }
  }
  return 0;
}
