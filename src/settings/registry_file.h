#pragma once
// The values of the settings key as a REGEDIT4 text:
//   "NAME"="text"          a string (stored with its terminating zero)
//   "NAME"=dword:0000000a  four bytes, little-endian
//   "NAME"=hex:03,00       bytes; hex(N): bytes of value type N
// Each value keeps its type and bytes as read, so a value is read by the
// rules of the key it stands in (a size limit, no type check), and values of
// names this program does not know are written back unchanged.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

// The read limit of a path: the longest the platform allows and its
// terminating zero. A longer value is damage and is not read.
constexpr size_t kRegistryPathLimit = 4097;

enum RegistryType : uint32_t { kRegString = 1, kRegBinary = 3, kRegDword = 4 };

struct RegistryValue {
  std::string name;
  uint32_t type = kRegString;
  std::string bytes;
};

class RegistryValues {
 public:
  // Reads what can be read: a line that is no complete value is skipped,
  // and of a name given twice (names compare without regard to case) the
  // last value counts.
  static RegistryValues parse(std::string_view text);
  std::string serialise() const;

  const RegistryValue* find(std::string_view name) const;
  const std::vector<RegistryValue>& values() const { return values_; }

  // The text of a value whose bytes (a string's terminating zero included)
  // fit in limit bytes, up to its first zero byte, whatever its type.
  std::optional<std::string> readText(std::string_view name, size_t limit) const;
  // A value of at most four bytes laid over the low bytes of value
  // (little-endian), whatever its type; false when absent or longer.
  bool readFourBytes(std::string_view name, uint32_t& value) const;

  void writeText(std::string_view name, std::string_view text);
  void writeDword(std::string_view name, uint32_t value);
  void writeBinary(std::string_view name, std::string_view bytes);

 private:
  void put(std::string_view name, uint32_t type, std::string bytes);
  std::vector<RegistryValue> values_;  // in the order first written
};

}  // namespace tabrix
