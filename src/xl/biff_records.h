#pragma once
// BIFF8 records: building them into byte buffers, walking them in a stream,
// and the Unicode strings they carry.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {
class OutputFile;
}

namespace tabrix::xl::biff {

using Bytes = std::vector<uint8_t>;

// Record types used here.
enum RecordType : uint16_t {
  kEof = 0x000A, kCodePage = 0x0042, kWindow1 = 0x003D, kDateMode = 0x0022, kFont = 0x0031,
  kXf = 0x00E0, kStyle = 0x0293, kBoundSheet = 0x0085, kSst = 0x00FC, kExtSst = 0x00FF,
  kContinue = 0x003C, kBof = 0x0809, kDimensions = 0x0200, kWindow2 = 0x023E, kPane = 0x0041,
  kSelection = 0x001D, kColInfo = 0x007D, kRow = 0x0208, kNumber = 0x0203, kBoolErr = 0x0205,
  kLabel = 0x0204, kLabelSst = 0x00FD, kRk = 0x027E, kIndex = 0x020B, kFilePass = 0x002F,
  kTabId = 0x013D, kSupBook = 0x01AE, kDefColWidth = 0x0055, kDefaultRowHeight = 0x0225,
};

// The most data bytes one record carries; longer data goes on in CONTINUE records.
inline constexpr size_t kMaxRecordData = 8224;

inline void put8(Bytes& out, unsigned v) { out.push_back(static_cast<uint8_t>(v)); }
inline void put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void putDouble(Bytes& out, double v);
inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t get32(const uint8_t* p) { return get16(p) | uint32_t{get16(p + 2)} << 16; }
inline void set32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
double getDouble(const uint8_t* p);

// Starts a record of type in out; endRecord fills in its length once the data is there.
size_t beginRecord(Bytes& out, uint16_t type);
void endRecord(Bytes& out, size_t start);
// A record whose data is given whole (at most kMaxRecordData bytes).
void putRecord(Bytes& out, uint16_t type, std::span<const uint8_t> data = {});

// A BOF record opening a substream of kind (0x0005 globals, 0x0010 worksheet).
void putBof(Bytes& out, uint16_t kind);

// UTF-8 into UTF-16 code units, at most maxUnits of them (a surrogate pair is
// never cut); bytes that are no UTF-8 become U+FFFD.
void utf8ToUtf16(std::string_view text, size_t maxUnits, std::u16string& out);
std::string utf16ToUtf8(std::u16string_view text);
// Whether every unit fits the 8-bit form of a BIFF string.
bool fitsCompressed(std::u16string_view text);
// The characters of text in the form the flag byte chooses (8-bit when all fit).
void putChars(Bytes& out, std::u16string_view text, bool compressed);
// A string with its length in lengthBytes (1 or 2), its flag byte and its characters.
void putString(Bytes& out, std::u16string_view text, int lengthBytes);

// The bytes of a stream going to a file, counted.
struct StreamOut {
  OutputFile& file;
  uint64_t written = 0;
  void write(std::span<const uint8_t> bytes);
};

// One record of a stream: its type, its data and where it starts.
struct Record {
  uint16_t type = 0;
  std::span<const uint8_t> data;
  size_t offset = 0;
};

// Walks the records of a stream from a position; stops (with a reason) at a
// record whose header or data runs past the end.
class RecordReader {
 public:
  explicit RecordReader(std::span<const uint8_t> stream, size_t position = 0) : stream_(stream), pos_(position) {}
  // The next record; false at the end of the stream or at a damaged record.
  bool next(Record& record);
  bool damaged() const { return damaged_; }
  size_t position() const { return pos_; }

 private:
  std::span<const uint8_t> stream_;
  size_t pos_;
  bool damaged_ = false;
};

}  // namespace tabrix::xl::biff
