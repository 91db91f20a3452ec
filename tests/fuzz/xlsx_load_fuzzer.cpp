// Fuzz target of loading an existing XLSX workbook: the input is written to a
// file and loaded. A refused input leaves an empty book with a reason; a
// loaded one gets a sheet added and is saved, and what is saved loads again
// with that sheet more.
// An input that does not begin like a zip archive is a package in text form,
// zipped here first: parts each introduced by a line "@@ NAME". Mutations of
// a zip archive mostly break its checksums; this way they reach the parts.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xl/book.h"
#include "xl/zip_archive.h"

namespace {

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "xlsx_load_fuzzer: property failed: %s\n", property);
  std::abort();
}

// A folder of this process for the input and the saved book, removed at exit.
struct Scratch {
  std::string folder;
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/xlsx-fuzz-XXXXXX";
    require(::mkdtemp(folder.data()) != nullptr, "a scratch folder can be made");
  }
  ~Scratch() { ::rmdir(folder.c_str()); }
};

// Zips the parts of a package in text form into path.
void zipParts(std::string_view text, const std::string& path) {
  constexpr std::string_view kMark = "@@ ";
  std::vector<std::pair<std::string, std::string_view>> parts;
  size_t at = text.substr(0, kMark.size()) == kMark ? 0 : text.find("\n@@ ");
  while (at != std::string_view::npos) {
    const size_t nameStart = at + (text[at] == '\n' ? 1 : 0) + kMark.size();
    const size_t nameEnd = std::min(text.find('\n', nameStart), text.size());
    const size_t next = text.find("\n@@ ", nameEnd);
    const size_t contentStart = std::min(nameEnd + 1, text.size());
    parts.emplace_back(std::string(text.substr(nameStart, nameEnd - nameStart)),
                       text.substr(contentStart, (next == std::string_view::npos ? text.size() : next) - contentStart));
    at = next;
  }
  tabrix::xl::ZipWriter zip;
  require(zip.create(path).ok(), "the package in text form can be started");
  bool added = true;
  for (const auto& [name, content] : parts) added = added && zip.addBytes(name, content).ok();
  // A name twice or an empty name is refused: the input is then an empty file.
  if (!added || !zip.close().ok()) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr && std::fclose(file) == 0, "the input can be written");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix::xl;
  static const Scratch scratch;
  const std::string input = scratch.folder + "/input.xlsx", saved = scratch.folder + "/saved.xlsx";
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.substr(0, 2) == "PK") {
    std::FILE* file = std::fopen(input.c_str(), "wb");
    require(file != nullptr, "the input can be written");
    require(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0, "the input is written");
  } else {
    zipParts(bytes, input);
  }

  auto book = Book::create(BookFormat::Xlsx);
  const tabrix::Result loaded = book->load(input);
  if (!loaded) {
    require(!loaded.reason().empty() && book->errorMessage() == loaded.reason(), "a refusal has a reason");
    require(book->sheetCount() == 0, "a refused book stays empty");
  } else {
    const int sheets = book->sheetCount();
    for (int i = 0; i < sheets; ++i) require(book->sheet(i) != nullptr, "every counted sheet is there");
    Sheet* added = book->addSheet("Fuzz added");
    if (added) {
      const FormatId date = book->addFormat(NumberFormat::Date);
      added->writeString(0, 0, "name");
      added->writeNumber(1, 0, datePack(2020, 1, 2), date);
      if (book->save(saved)) {
        auto again = Book::create(BookFormat::Xlsx);
        require(again->load(saved).ok(), "a saved book loads again");
        require(again->sheetCount() == sheets + 1, "the saved book holds the added sheet");
      }
    }
  }
  ::unlink(input.c_str());
  ::unlink(saved.c_str());
  return 0;
}
