#pragma once
// The compound document container (a small file system of streams and
// storages in one file) that .xls workbooks live in: read whole, every chain
// and entry checked, and written anew with 512-byte sectors.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_store.h"
#include "util/result.h"

namespace tabrix {
class OutputFile;
}

namespace tabrix::xl::cfb {

inline constexpr uint32_t kNoEntry = 0xFFFFFFFF;
enum EntryType : uint8_t { kEmpty = 0, kStorage = 1, kStream = 2, kRoot = 5 };

// One directory entry: its 128 bytes as stored (name, type, tree links, class,
// times; the start sector and size are set anew when written) and, for a
// stream, its bytes.
struct Entry {
  std::array<uint8_t, 128> raw{};
  std::vector<uint8_t> data;

  EntryType type() const { return static_cast<EntryType>(raw[66]); }
  std::u16string name() const;
  uint32_t link(int which) const;  // 0 left, 1 right, 2 child
  void setLink(int which, uint32_t entry);
};

// A new entry of type with name (at most 31 characters), linked to nothing.
Entry makeEntry(std::u16string_view name, EntryType type);

// Reads every entry of the compound document in file, with the bytes of each
// stream. Anything damaged (a sector number out of range, a chain that loops
// or is shared, a stream larger than its chain, a broken directory tree)
// fails with the reason.
Result readCompoundFile(ByteStore& file, std::vector<Entry>& entries);

// The index of the stream named name (without regard to case) right under the
// root, or kNoEntry.
uint32_t findRootStream(const std::vector<Entry>& entries, std::u16string_view name);

// Writes the main stream, then writes its length to size. Its bytes go to out
// in order from the first data sector; writeAt may go back over them.
using StreamWriter = std::function<Result(OutputFile& out, uint64_t start, uint64_t& size)>;

// Writes a compound document to path holding entries (entry 0 is the root);
// the bytes of entry mainIndex come from writeMain, padded to 4096 bytes when
// shorter so that it needs no mini stream. Fails with the system's reason.
Result writeCompoundFile(const std::string& path, std::vector<Entry>& entries, uint32_t mainIndex,
                         const StreamWriter& writeMain);

}  // namespace tabrix::xl::cfb
