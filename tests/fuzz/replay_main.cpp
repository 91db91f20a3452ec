// Runs the fuzz target without libFuzzer (any compiler, usually under the
// sanitizers): each named file, or each file under a named folder, is one input.
// With --tables the files are DBF tables instead (.dbf and .dbc under folders),
// each packed with the memo file beside it (empty when there is none), so real
// tables replay through the same checks. A failed property aborts the run.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dbf/dbf_format.h"
#include "fuzz_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool readFile(const fs::path& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool isTablePath(const fs::path& path) {
  const std::string ext = lowercase(path.extension().string());
  return ext == ".dbf" || ext == ".dbc";
}

// The sibling with the table's stem and the memo extension its version selects
// (a database container keeps its memos in ".dct"), found without regard to case.
fs::path memoFileOf(const fs::path& table, uint8_t version) {
  const std::string wanted = lowercase(table.extension().string()) == ".dbc" ? ".dct"
                                                                            : std::string(".") + tabrix::memoExtensionOf(version);
  const std::string stem = lowercase(table.stem().string());
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(table.parent_path(), ec)) {
    const fs::path& p = entry.path();
    if (entry.is_regular_file() && lowercase(p.stem().string()) == stem && lowercase(p.extension().string()) == wanted)
      return p;
  }
  return {};
}

bool replay(const fs::path& path, bool asTable) {
  std::vector<uint8_t> bytes;
  if (!readFile(path, bytes)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  if (asTable) {
    std::vector<uint8_t> memo;
    const fs::path memoPath = bytes.empty() ? fs::path() : memoFileOf(path, bytes[0]);
    if (!memoPath.empty() && !readFile(memoPath, memo)) {
      std::fprintf(stderr, "cannot read %s\n", memoPath.c_str());
      return false;
    }
    // Always framed, as a bare table could pass for a frame. A missing memo file
    // goes as an empty one, which is what opening such a table creates.
    bytes = tabrix::fuzz::packFuzzInput(bytes, memo);
  }
  std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool asTables = false;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--tables") asTables = true;
    else inputs.emplace_back(arg);
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s [--tables] FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }

  std::vector<fs::path> files;
  for (const fs::path& input : inputs) {
    std::error_code ec;
    if (!fs::is_directory(input, ec)) {
      files.push_back(input);
      continue;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(input, ec))
      if (entry.is_regular_file() && (!asTables || isTablePath(entry.path()))) found.push_back(entry.path());
    if (ec) {
      std::fprintf(stderr, "cannot list %s: %s\n", input.c_str(), ec.message().c_str());
      return 1;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }

  size_t replayed = 0;
  for (const fs::path& file : files) replayed += replay(file, asTables) ? 1 : 0;
  std::fprintf(stderr, "replayed %zu of %zu inputs\n", replayed, files.size());
  return replayed == files.size() && replayed > 0 ? 0 : 1;
}
