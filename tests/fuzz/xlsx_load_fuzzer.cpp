// Fuzz target of loading an existing XLSX workbook: the input is written to a
// file and loaded. A refused input leaves an empty book with a reason; a
// loaded one gets a sheet added and is saved, and what is saved loads again
// with that sheet more.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xl/book.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix::xl;
  static const Scratch scratch;
  const std::string input = scratch.folder + "/input.xlsx", saved = scratch.folder + "/saved.xlsx";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  require(file != nullptr, "the input can be written");
  require(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0, "the input is written");

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
