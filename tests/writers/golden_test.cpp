// Golden cases for the delimited and fixed-width outputs. Each folder below
// tests/data/golden holds an input table (table.dbf and its memo file), the
// command-line words one per line (args; args2 for a second run into the same
// output) and the exact bytes the output must hold (expected). In the words,
// {in} is the input table and the first plain file name is the output, both
// in a temporary folder. The date order and separator are fixed so that the
// expectations do not depend on the machine's locale.
#include <gtest/gtest.h>

#include "support/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "convert/conversion_options.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = TABRIX_GOLDEN_DIR;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(kGoldenDir, error))
    if (entry.is_directory() && fs::exists(entry.path() / "args")) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> readWords(const fs::path& path) {
  std::vector<std::string> words;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) words.push_back(line);
  return words;
}

// Bytes as text a reader can compare: control bytes, backslashes and bytes
// above 0x7E escaped, one line of text per line of the bytes.
std::vector<std::string> visibleLines(const std::string& bytes) {
  std::vector<std::string> lines(1);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    std::string& line = lines.back();
    if (c == '\r') line += "\\r";
    else if (c == '\n') line += "\\n";
    else if (c == '\t') line += "\\t";
    else if (c == '\\') line += "\\\\";
    else if (b < 0x20 || b >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      line += hex;
    } else {
      line += c;
    }
    if (c == '\n') lines.emplace_back();
  }
  return lines;
}

std::string describeDifference(const std::string& expected, const std::string& actual) {
  size_t first = 0;
  while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) ++first;
  std::ostringstream out;
  out << "output differs from expected at byte " << first << " (expected " << expected.size() << " bytes, got "
      << actual.size() << ")\n";
  const std::vector<std::string> want = visibleLines(expected);
  const std::vector<std::string> got = visibleLines(actual);
  for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    const std::string* w = i < want.size() ? &want[i] : nullptr;
    const std::string* g = i < got.size() ? &got[i] : nullptr;
    if (w && g && *w == *g) {
      out << "  " << *w << "\n";
      continue;
    }
    if (w) out << "- " << *w << "\n";
    if (g) out << "+ " << *g << "\n";
  }
  return out.str();
}

using test::TempFolder;

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, OutputMatchesExpectedBytes) {
  const fs::path folder = kGoldenDir / GetParam();
  TempFolder temp;
  fs::path table;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name == "args" || name == "args2" || name == "expected") continue;
    fs::copy_file(entry.path(), temp.at(name));
    if (entry.path().extension() == ".dbf") table = temp.at(name);
  }
  ASSERT_FALSE(table.empty()) << "no .dbf in " << folder;

  fs::path output;
  for (const char* argsFile : {"args", "args2"}) {
    if (!fs::exists(folder / argsFile)) continue;
    std::vector<std::string> words = readWords(folder / argsFile);
    bool outputNamed = false;
    for (std::string& word : words) {
      if (word == "{in}") {
        word = table.string();
      } else if (!outputNamed && word[0] != '/') {
        output = temp.at(word);
        word = output.string();
        outputNamed = true;
      }
    }
    // Each run starts from a fresh installation's settings, as a new process would.
    ConversionOptions options;
    options.dateOrder = '1';
    options.dateSeparator = '.';
    options.ansiCodePage = 1252;
    options.oemCodePage = 437;
    EXPECT_EQ(runCommandLine(words, options), kExitConverted) << argsFile;
  }
  ASSERT_FALSE(output.empty()) << "args name no output file";
  ASSERT_TRUE(fs::exists(output)) << output << " was not written";

  const std::string expected = readFile(folder / "expected");
  const std::string actual = readFile(output);
  EXPECT_TRUE(actual == expected) << describeDifference(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenCase, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tabrix
