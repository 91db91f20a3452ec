#pragma once
// The DBF file layout shared by the reader and the writer: the 32-byte header,
// the descriptor layouts of each dialect, and what the version byte selects.
#include <array>
#include <cstdint>
#include <cstring>

namespace tabrix {

inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t readLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint32_t readBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline void writeLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void writeBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

constexpr size_t kHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr size_t kLevel7DescriptorSize = 48;
constexpr size_t kLevel7ExtensionSize = 36;
constexpr size_t kBacklinkSize = 263;
constexpr uint8_t kDescriptorTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr size_t kMaxFields = 4095;

// Table flags of Visual FoxPro (header byte 28).
constexpr uint8_t kFlagHasMemo = 0x02;
constexpr uint8_t kFlagDatabaseContainer = 0x04;

// The first 32 bytes of every DBF file, kept as read so a writer can copy them.
struct DbfHeader {
  std::array<uint8_t, kHeaderSize> bytes{};

  uint8_t version() const { return bytes[0]; }
  uint32_t recordCount() const { return readLe32(&bytes[4]); }
  uint16_t headerLength() const { return readLe16(&bytes[8]); }
  uint16_t recordLength() const { return readLe16(&bytes[10]); }
  uint8_t tableFlags() const { return bytes[28]; }
  uint8_t codePageMark() const { return bytes[29]; }
};

// A field descriptor in the 32-byte layout; level 7 descriptors are converted
// to it on open so the rest of the system reads one form.
struct FieldDescriptor {
  std::array<uint8_t, kDescriptorSize> bytes{};

  char type() const { return static_cast<char>(bytes[11]); }
  uint8_t decimals() const { return bytes[17]; }
  uint16_t offset() const { return readLe16(&bytes[12]); }
  // Character fields borrow the decimal-count byte as the high length byte.
  uint16_t length() const { return type() == 'C' ? readLe16(&bytes[16]) : bytes[16]; }
};

inline bool isLevel7(uint8_t version) { return (version & 0x07) == 4; }
inline bool isVisualFoxPro(uint8_t version) { return version >= 0x30 && version <= 0x32; }
inline bool isFoxProMemo(uint8_t version) { return isVisualFoxPro(version) || version == 0xF5; }
inline bool isSmt(uint8_t version) { return version == 0xE5; }

// Whether a table of this version and these flags has a memo file.
inline bool hasMemoFile(uint8_t version, uint8_t tableFlags) {
  if (isSmt(version)) return true;
  if (isVisualFoxPro(version)) return (tableFlags & kFlagHasMemo) != 0;
  return version == 0xF5 || version == 0x8B || version == 0x83 || (version & 0x80) || (version & 0x08);
}

// "fpt", "smt" or "dbt".
inline const char* memoExtensionOf(uint8_t version) {
  if (isFoxProMemo(version)) return "fpt";
  if (isSmt(version)) return "smt";
  return "dbt";
}

}  // namespace tabrix
