#include "xl/compound_file.h"

#include <algorithm>
#include <cstring>

#include "platform/output_file.h"
#include "xl/biff_records.h"

namespace tabrix::xl::cfb {

namespace {

using biff::get16;
using biff::get32;

constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint64_t kMiniCutoff = 4096;
constexpr uint32_t kMiniSize = 64;
constexpr uint32_t kSectorSize = 512;  // of the documents written here
constexpr uint32_t kHeaderDifat = 109;
constexpr uint64_t kWholeChain = ~uint64_t{0};  // a chain read to its end, size unknown

uint64_t ceilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// The whole file's sectors, read through the FAT with every sector used once.
class SectorReader {
 public:
  SectorReader(ByteStore& file, uint32_t shift) : file_(file), size_(uint32_t{1} << shift) {
    const uint64_t fileSize = file.size();
    count_ = fileSize > size_ ? static_cast<uint32_t>(std::min<uint64_t>(ceilDiv(fileSize - size_, size_), kDifatSector))
                              : 0;
    used_.assign(count_, 0);
  }
  uint32_t sectorSize() const { return size_; }
  uint32_t count() const { return count_; }

  // Reads sector s (zeros past the end of a short last sector).
  bool read(uint32_t s, uint8_t* out) {
    if (s >= count_) return false;
    std::memset(out, 0, size_);
    file_.readAt((uint64_t{s} + 1) * size_, out, size_);
    return true;
  }
  // Claims sector s for one use; false when out of range or already used.
  Result claim(uint32_t s, const char* what) {
    if (s >= count_) return Result::failure(std::string("a sector number of the ") + what + " is out of range");
    if (used_[s]) return Result::failure(std::string("a sector chain of the ") + what + " loops or is shared");
    used_[s] = 1;
    return {};
  }
  // The sectors of the chain from start, each claimed.
  Result chain(const std::vector<uint32_t>& fat, uint32_t start, const char* what, std::vector<uint32_t>& out) {
    out.clear();
    for (uint32_t s = start; s != kEndOfChain;) {
      if (Result r = claim(s, what); !r) return r;
      out.push_back(s);
      if (s >= fat.size()) return Result::failure(std::string("a sector of the ") + what + " has no allocation entry");
      s = fat[s];
    }
    return {};
  }
  Result readChain(const std::vector<uint32_t>& fat, uint32_t start, uint64_t size, const char* what,
                   std::vector<uint8_t>& out) {
    std::vector<uint32_t> sectors;
    if (Result r = chain(fat, start, what, sectors); !r) return r;
    if (size != kWholeChain && uint64_t{sectors.size()} * size_ < size) return Result::failure(std::string("the ") + what + " is longer than its sectors");
    out.resize(sectors.size() * size_);
    for (size_t i = 0; i < sectors.size(); ++i) read(sectors[i], out.data() + i * size_);
    if (size != kWholeChain) out.resize(size);
    return {};
  }

 private:
  ByteStore& file_;
  uint32_t size_;
  uint32_t count_;
  std::vector<uint8_t> used_;
};

Result readFat(SectorReader& sectors, const uint8_t* header, std::vector<uint32_t>& fat) {
  const uint32_t fatCount = get32(header + 44);
  uint32_t difatNext = get32(header + 68);
  const uint32_t perSector = sectors.sectorSize() / 4;
  if (fatCount > sectors.count()) return Result::failure("the allocation table is larger than the file");
  std::vector<uint32_t> fatSectors;
  for (uint32_t i = 0; i < kHeaderDifat && fatSectors.size() < fatCount; ++i) fatSectors.push_back(get32(header + 76 + 4 * i));
  std::vector<uint8_t> buffer(sectors.sectorSize());
  while (fatSectors.size() < fatCount) {
    if (Result r = sectors.claim(difatNext, "allocation table index"); !r) return r;
    sectors.read(difatNext, buffer.data());
    for (uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) fatSectors.push_back(get32(&buffer[4 * i]));
    difatNext = get32(&buffer[4 * (perSector - 1)]);
  }
  fat.clear();
  fat.reserve(size_t{fatCount} * perSector);
  for (const uint32_t s : fatSectors) {
    if (Result r = sectors.claim(s, "allocation table"); !r) return r;
    sectors.read(s, buffer.data());
    for (uint32_t i = 0; i < perSector; ++i) fat.push_back(get32(&buffer[4 * i]));
  }
  return {};
}

// Checks that the entries under entry form a tree: every link in range, no
// entry reached twice.
Result checkTree(const std::vector<Entry>& entries, uint32_t entry, std::vector<uint8_t>& seen, int depth) {
  if (entry == kNoEntry) return {};
  if (entry >= entries.size()) return Result::failure("a directory link is out of range");
  if (depth > 256) return Result::failure("the directory tree is too deep");
  if (seen[entry]) return Result::failure("the directory tree loops");
  seen[entry] = 1;
  const EntryType type = entries[entry].type();
  if (type != kStorage && type != kStream) return Result::failure("the directory tree holds an entry of no known type");
  // Siblings are walked in a loop on the right, so long sibling chains do not deepen the recursion.
  for (uint32_t right = entries[entry].link(1); right != kNoEntry;) {
    if (right >= entries.size()) return Result::failure("a directory link is out of range");
    if (seen[right]) return Result::failure("the directory tree loops");
    seen[right] = 1;
    if (Result r = checkTree(entries, entries[right].link(0), seen, depth + 1); !r) return r;
    if (Result r = checkTree(entries, entries[right].link(2), seen, depth + 1); !r) return r;
    right = entries[right].link(1);
  }
  if (Result r = checkTree(entries, entries[entry].link(0), seen, depth + 1); !r) return r;
  return checkTree(entries, entries[entry].link(2), seen, depth + 1);
}

void putLe32(uint8_t* p, uint32_t v) { biff::set32(p, v); }

}  // namespace

std::u16string Entry::name() const {
  const unsigned bytes = std::min<unsigned>(get16(&raw[64]), 64);
  std::u16string out;
  for (unsigned i = 0; i + 1 < bytes; i += 2) {
    const char16_t c = static_cast<char16_t>(get16(&raw[i]));
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

uint32_t Entry::link(int which) const { return get32(&raw[68 + 4 * which]); }
void Entry::setLink(int which, uint32_t entry) { putLe32(&raw[68 + 4 * which], entry); }

Entry makeEntry(std::u16string_view name, EntryType type) {
  Entry e;
  const size_t n = std::min<size_t>(name.size(), 31);
  for (size_t i = 0; i < n; ++i) {
    e.raw[2 * i] = static_cast<uint8_t>(name[i]);
    e.raw[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
  }
  e.raw[64] = static_cast<uint8_t>(2 * (n + 1));
  e.raw[66] = type;
  e.raw[67] = 1;  // black: a lone node or a root of a tree of siblings
  for (int i = 0; i < 3; ++i) e.setLink(i, kNoEntry);
  return e;
}

Result readCompoundFile(ByteStore& file, std::vector<Entry>& entries) {
  entries.clear();
  uint8_t header[512] = {};
  if (file.size() < sizeof header || file.readAt(0, header, sizeof header) != sizeof header ||
      std::memcmp(header, kSignature, sizeof kSignature) != 0)
    return Result::failure("it is not a compound document (no .xls workbook)");
  const uint16_t major = get16(header + 26);
  const uint16_t shift = get16(header + 30);
  if (get16(header + 28) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)) ||
      get16(header + 32) != 6)
    return Result::failure("its compound document header is damaged");
  SectorReader sectors(file, shift);
  std::vector<uint32_t> fat;
  if (Result r = readFat(sectors, header, fat); !r) return r;

  std::vector<uint8_t> directory;
  if (Result r = sectors.readChain(fat, get32(header + 48), kWholeChain, "directory", directory); !r) return r;
  const size_t count = directory.size() / 128;
  if (count == 0) return Result::failure("its compound document has no directory");
  entries.resize(count);
  for (size_t i = 0; i < count; ++i) std::memcpy(entries[i].raw.data(), &directory[i * 128], 128);
  if (entries[0].type() != kRoot) {
    entries.clear();
    return Result::failure("its compound document has no root entry");
  }
  std::vector<uint8_t> seen(count, 0);
  seen[0] = 1;
  if (Result r = checkTree(entries, entries[0].link(2), seen, 0); !r) {
    entries.clear();
    return r;
  }

  const auto streamSize = [&](const Entry& e) {
    const uint64_t low = get32(&e.raw[120]);
    return major == 3 ? low : low | uint64_t{get32(&e.raw[124])} << 32;
  };
  // The mini stream (held by the root) and its allocation table.
  std::vector<uint8_t> miniStream;
  std::vector<uint32_t> miniFat;
  const auto fail = [&](Result r) {
    entries.clear();
    return r;
  };
  const uint64_t rootSize = streamSize(entries[0]);
  if (rootSize > file.size()) return fail(Result::failure("the mini stream is larger than the file"));
  if (rootSize > 0) {
    if (Result r = sectors.readChain(fat, get32(&entries[0].raw[116]), rootSize, "mini stream", miniStream); !r)
      return fail(r);
    std::vector<uint8_t> miniFatBytes;
    const uint64_t miniFatSize = uint64_t{get32(header + 64)} * sectors.sectorSize();
    if (miniFatSize > file.size()) return fail(Result::failure("the mini allocation table is larger than the file"));
    if (miniFatSize > 0) {
      if (Result r = sectors.readChain(fat, get32(header + 60), miniFatSize, "mini allocation table", miniFatBytes); !r)
        return fail(r);
    }
    for (size_t i = 0; i + 4 <= miniFatBytes.size(); i += 4) miniFat.push_back(get32(&miniFatBytes[i]));
  }
  std::vector<uint8_t> miniUsed(miniStream.size() / kMiniSize, 0);

  for (size_t i = 1; i < count; ++i) {
    Entry& e = entries[i];
    if (!seen[i] || e.type() != kStream) continue;
    const uint64_t size = streamSize(e);
    if (size > file.size()) return fail(Result::failure("a stream is larger than the file"));
    const uint32_t start = get32(&e.raw[116]);
    if (size >= kMiniCutoff) {
      if (Result r = sectors.readChain(fat, start, size, "stream", e.data); !r) return fail(r);
      continue;
    }
    e.data.resize(size);
    uint64_t done = 0;
    for (uint32_t m = start; done < size; m = miniFat[m]) {
      if (m >= miniUsed.size() || m >= miniFat.size())
        return fail(Result::failure("a mini sector number is out of range"));
      if (miniUsed[m]) return fail(Result::failure("a mini sector chain loops or is shared"));
      miniUsed[m] = 1;
      const uint64_t n = std::min<uint64_t>(kMiniSize, size - done);
      std::memcpy(e.data.data() + done, &miniStream[size_t{m} * kMiniSize], n);
      done += n;
    }
  }
  return {};
}

uint32_t findRootStream(const std::vector<Entry>& entries, std::u16string_view name) {
  const auto upper = [](std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
  };
  const std::u16string wanted = upper(name);
  // The tree was checked when read, so this walk ends; the step limit guards use on unchecked entries.
  std::vector<uint32_t> pending{entries.empty() ? kNoEntry : entries[0].link(2)};
  for (size_t steps = 0; !pending.empty() && steps <= entries.size(); ++steps) {
    const uint32_t e = pending.back();
    pending.pop_back();
    if (e >= entries.size()) continue;
    if (entries[e].type() == kStream && upper(entries[e].name()) == wanted) return e;
    pending.push_back(entries[e].link(0));
    pending.push_back(entries[e].link(1));
  }
  return kNoEntry;
}

Result writeCompoundFile(const std::string& path, std::vector<Entry>& entries, uint32_t mainIndex,
                         const StreamWriter& writeMain) {
  OutputFile out;
  const auto put = [&out](const void* bytes, uint64_t len) {
    if (len) out.write(static_cast<const char*>(bytes), len);
  };
  const auto failed = [&]() { return Result::failure("cannot write " + path + ": " + out.errorText()); };
  if (!out.open(path, false)) return failed();
  const std::vector<uint8_t> zeros(kMiniCutoff, 0);
  put(zeros.data(), kSectorSize);  // header, written last

  std::vector<uint32_t> fat;
  const auto addChain = [&](uint64_t bytes) {
    const uint32_t first = static_cast<uint32_t>(fat.size());
    const uint64_t n = ceilDiv(bytes, kSectorSize);
    for (uint64_t i = 1; i <= n; ++i) fat.push_back(i == n ? kEndOfChain : static_cast<uint32_t>(first + i));
    return n ? first : kEndOfChain;
  };
  const auto setStart = [](Entry& e, uint32_t start, uint64_t size) {
    putLe32(&e.raw[116], start);
    putLe32(&e.raw[120], static_cast<uint32_t>(size));
    putLe32(&e.raw[124], 0);
  };
  const auto pad = [&](uint64_t bytes) {
    const uint64_t rest = bytes % kSectorSize;
    if (rest) put(zeros.data(), kSectorSize - rest);
  };

  uint64_t mainSize = 0;
  if (Result r = writeMain(out, kSectorSize, mainSize); !r) return r;
  if (mainSize < kMiniCutoff) {
    put(zeros.data(), kMiniCutoff - mainSize);
    mainSize = kMiniCutoff;
  }
  pad(mainSize);
  setStart(entries[mainIndex], addChain(mainSize), mainSize);

  // Other streams: large ones in sectors of their own, small ones in the mini stream.
  std::vector<uint8_t> miniStream;
  std::vector<uint32_t> miniFat;
  for (size_t i = 1; i < entries.size(); ++i) {
    Entry& e = entries[i];
    if (i == mainIndex) continue;
    if (e.type() != kStream) {
      if (e.type() == kStorage) setStart(e, 0, 0);
      continue;
    }
    const uint64_t size = e.data.size();
    if (size >= kMiniCutoff) {
      put(e.data.data(), size);
      pad(size);
      setStart(e, addChain(size), size);
    } else if (size == 0) {
      setStart(e, kEndOfChain, 0);
    } else {
      const uint32_t first = static_cast<uint32_t>(miniFat.size());
      const uint32_t n = static_cast<uint32_t>(ceilDiv(size, kMiniSize));
      for (uint32_t k = 1; k <= n; ++k) miniFat.push_back(k == n ? kEndOfChain : first + k);
      miniStream.insert(miniStream.end(), e.data.begin(), e.data.end());
      miniStream.resize(size_t{first + n} * kMiniSize, 0);
      setStart(e, first, size);
    }
  }
  put(miniStream.data(), miniStream.size());
  pad(miniStream.size());
  setStart(entries[0], addChain(miniStream.size()), miniStream.size());

  std::vector<uint8_t> table;
  const auto putTable = [&](const std::vector<uint32_t>& values, size_t sectorsFor) {
    table.assign(sectorsFor * kSectorSize, 0xFF);
    for (size_t i = 0; i < values.size(); ++i) putLe32(&table[4 * i], values[i]);
    put(table.data(), table.size());
  };
  const uint64_t miniFatSectors = ceilDiv(miniFat.size() * 4, kSectorSize);
  const uint32_t miniFatStart = miniFat.empty() ? kEndOfChain : addChain(miniFatSectors * kSectorSize);
  putTable(miniFat, miniFatSectors);

  const uint64_t dirSectors = ceilDiv(entries.size() * 128, kSectorSize);
  const uint32_t dirStart = addChain(dirSectors * kSectorSize);
  std::vector<uint8_t> directory(dirSectors * kSectorSize, 0);
  for (size_t i = 0; i < entries.size(); ++i) std::memcpy(&directory[i * 128], entries[i].raw.data(), 128);
  // Unused slots of the last sector are empty entries linked to nothing.
  for (size_t i = entries.size(); i < dirSectors * 4; ++i) std::memset(&directory[i * 128 + 68], 0xFF, 12);
  put(directory.data(), directory.size());

  // The allocation table covers every sector, its own and its index's included.
  const uint64_t dataSectors = fat.size();
  uint64_t fatSectors = 0, difatSectors = 0;
  for (;;) {
    const uint64_t needFat = ceilDiv(dataSectors + fatSectors + difatSectors, kSectorSize / 4);
    const uint64_t needDifat = needFat > kHeaderDifat ? ceilDiv(needFat - kHeaderDifat, kSectorSize / 4 - 1) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const uint32_t fatStart = static_cast<uint32_t>(dataSectors);
  for (uint64_t i = 0; i < fatSectors; ++i) fat.push_back(kFatSector);
  const uint32_t difatStart = static_cast<uint32_t>(fat.size());
  for (uint64_t i = 0; i < difatSectors; ++i) fat.push_back(kDifatSector);
  putTable(fat, fatSectors);

  std::vector<uint32_t> difat;
  for (uint64_t i = kHeaderDifat; i < fatSectors; ++i) {
    if (difat.size() % 128 == 127) difat.push_back(difatStart + static_cast<uint32_t>(difat.size() / 128 + 1));
    difat.push_back(fatStart + static_cast<uint32_t>(i));
  }
  if (difatSectors) {
    difat.resize(difatSectors * 128, kFreeSector);
    difat.back() = kEndOfChain;
  }
  putTable(difat, difatSectors);

  uint8_t header[kSectorSize];
  std::memset(header, 0, sizeof header);
  std::memcpy(header, kSignature, sizeof kSignature);
  header[24] = 0x3E;  // minor version
  header[26] = 3;     // major version: 512-byte sectors
  header[28] = 0xFE;
  header[29] = 0xFF;
  header[30] = 9;
  header[32] = 6;
  putLe32(header + 44, static_cast<uint32_t>(fatSectors));
  putLe32(header + 48, dirStart);
  putLe32(header + 56, static_cast<uint32_t>(kMiniCutoff));
  putLe32(header + 60, miniFatStart);
  putLe32(header + 64, static_cast<uint32_t>(miniFatSectors));
  putLe32(header + 68, difatSectors ? difatStart : kEndOfChain);
  putLe32(header + 72, static_cast<uint32_t>(difatSectors));
  for (uint32_t i = 0; i < kHeaderDifat; ++i)
    putLe32(header + 76 + 4 * i, i < fatSectors ? fatStart + i : kFreeSector);
  out.writeAt(0, header, sizeof header);
  if (!out.close()) return failed();
  return {};
}

}  // namespace tabrix::xl::cfb
