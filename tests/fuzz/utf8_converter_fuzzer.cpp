// Fuzz target of the conversion of double-byte text to UTF-8: random bytes, as
// whole values and cut at every length (a field may end inside a character),
// in each double-byte page. The output must be UTF-8 and fit the room the
// converter asks for.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/code_pages.h"
#include "util/utf8.h"

namespace {

constexpr size_t kMaxInput = 512;

void require(bool holds, const char* property, int codePage) {
  if (holds) return;
  std::fprintf(stderr, "utf8_converter_fuzzer: property failed in code page %d: %s\n", codePage, property);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix;
  if (size > kMaxInput) size = kMaxInput;
  const auto* text = reinterpret_cast<const char*>(data);
  for (const int codePage : {932, 936, 949, 950}) {
    Utf8Converter converter(codePage);
    // A guard byte past the room the converter asked for catches overruns.
    std::vector<char> out(Utf8Converter::capacityFor(size) + 1);
    for (size_t len = 0; len <= size; ++len) {
      out[Utf8Converter::capacityFor(len)] = '\x5A';
      const size_t written = converter.convert(text, len, out.data());
      require(written <= Utf8Converter::capacityFor(len), "the output fits its room", codePage);
      require(out[Utf8Converter::capacityFor(len)] == '\x5A', "nothing is written past the room", codePage);
      require(isValidUtf8(std::string_view(out.data(), written)), "the output is valid UTF-8", codePage);
    }
  }
  return 0;
}
