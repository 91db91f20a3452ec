// Fuzz target of loading .xls workbooks: the input is the file. A load either
// fails with a reason, leaving the book empty and usable, or gives sheets; a
// loaded book with a sheet added saves and loads again with that sheet more.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xl/book.h"

namespace {

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "xls_load_fuzzer: property failed: %s\n", property);
  std::abort();
}

// A temporary file made once per run, rewritten for each input.
std::string tempPath(const char* tag) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/xls_load_fuzzer_" + tag + "_XXXXXX";
  const int fd = ::mkstemp(path.data());
  require(fd >= 0, "a temporary file can be made");
  ::close(fd);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix::xl;
  static const std::string input = tempPath("in"), output = tempPath("out");
  FILE* file = std::fopen(input.c_str(), "wb");
  require(file && (size == 0 || std::fwrite(data, 1, size, file) == size) && std::fclose(file) == 0,
          "the input is written");

  auto book = Book::create(BookFormat::Xls);
  if (!book->load(input).ok()) {
    require(!book->errorMessage().empty(), "a failed load gives a reason");
    require(book->sheetCount() == 0, "a failed load leaves the book empty");
    require(book->addSheet("Fresh") != nullptr, "the book stays usable");
    require(book->save(output).ok(), "the emptied book saves");
    return 0;
  }
  const int sheets = book->sheetCount();
  require(sheets > 0, "a loaded book has sheets");
  for (int i = 0; i < sheets; ++i) require(book->sheet(i) != nullptr, "every sheet is there");
  book->clearSheet(sheets - 1);
  book->sheet(sheets - 1)->writeString(0, 0, "refilled");
  Sheet* added = book->addSheet("Fuzz added sheet");
  if (!added) return 0;  // the file has a sheet of that name
  added->writeNumber(0, 0, 1.5, book->addFormat(NumberFormat::Date));
  added->writeString(1, 0, std::string(300, 'x'));
  require(book->save(output).ok(), "a loaded book saves");
  auto again = Book::create(BookFormat::Xls);
  require(again->load(output).ok(), "a saved book loads");
  require(again->sheetCount() == sheets + 1, "the saved book has the added sheet");
  return 0;
}
