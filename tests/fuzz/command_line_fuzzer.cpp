// Fuzz target of the command line's word rules: one input is the words of a
// command line, one a line. Besides "no crash" it checks what the rules
// promise: every word is a source, the output or a switch word, in order; no
// switch word is taken for an argument; and the output is never a source:
// either no written file is one of the sources' files, or the clash is found.
// Files are compared as on a file system that ignores case, with "./" dropped.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_words.h"
#include "cli/switch_words.h"
#include "platform/path_lookup.h"

namespace tabrix::fuzz {
namespace {

constexpr size_t kMaxWords = 64;

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "command_line_fuzzer: property failed: %s\n", property);
  std::abort();
}

bool dataFolders(const std::string& folder) { return folder == "/data" || folder == "/data/in"; }

std::string normalised(const std::string& path) {
  std::string p = path;
  while (p.size() > 2 && p.compare(0, 2, "./") == 0) p.erase(0, 2);
  return p;
}

bool sameName(const std::string& a, const std::string& b) {
  const std::string x = normalised(a), y = normalised(b);
  return x.size() == y.size() && ::strncasecmp(x.data(), y.data(), x.size()) == 0;
}

// A source's files as the run protects them, by name alone.
SourceFiles filesOf(const std::string& source) {
  SourceFiles files{source, {source}};
  for (const char* ext : {"dbt", "fpt", "smt"}) files.files.push_back(replaceExtension(source, ext));
  return files;
}

void checkSplit(const std::vector<std::string>& words) {
  const CommandWords split = splitCommandWords(words, dataFolders);
  const bool listForm = !words.empty() && ::strncasecmp(words[0].c_str(), "/LIST:", 6) == 0;

  // Every word lands in one place, in order (the list word is also a switch word).
  std::vector<std::string> joined = split.sources;
  if (!split.output.empty()) joined.push_back(split.output);
  joined.insert(joined.end(), split.switchWords.begin() + (listForm ? 1 : 0), split.switchWords.end());
  require(joined == words, "every word is a source, the output or a switch word, in order");

  for (size_t i = listForm ? 1 : 0; i < split.sources.size(); ++i)
    require(!isSwitchWord(split.sources[i], dataFolders), "no switch word is a source");
  require(split.output.empty() || !isSwitchWord(split.output, dataFolders), "no switch word is the output");
  // The list form takes at most one output after the list word.
  const size_t firstSwitch = listForm ? 1 : 0;
  require(split.switchWords.size() <= firstSwitch || (listForm && !split.output.empty()) ||
              isSwitchWord(split.switchWords[firstSwitch], dataFolders),
          "the arguments end at the first switch word");
  require(split.output.empty() || split.sources.size() >= 1, "an output comes after a source");

  std::vector<SourceFiles> sources;
  for (const std::string& source : split.sources) sources.push_back(filesOf(source));
  std::vector<std::string> written;
  if (!split.output.empty()) {
    written.push_back(split.output);
    for (const char* ext : {"dbt", "fpt"}) written.push_back(replaceExtension(split.output, ext));
  }
  PathClash clash;
  if (findClash(sources, written, sameName, clash)) {
    bool named = false;
    for (const SourceFiles& s : sources)
      for (const std::string& f : s.files) named = named || (s.source == clash.source && f == clash.sourceFile);
    require(named && sameName(clash.written, clash.sourceFile), "a clash names a written file and a source file");
  } else {
    for (const std::string& w : written)
      for (const SourceFiles& s : sources)
        for (const std::string& f : s.files) require(!sameName(w, f), "the output is never a source or its memo");
  }

  for (const std::string& word : split.switchWords) {
    const std::string_view nearest = nearestSwitch(word);
    bool known = nearest.empty();
    for (const KnownSwitch& s : knownSwitches()) known = known || s.text == nearest;
    require(known, "the nearest switch is a known one");
    require(!isKnownSwitch(word) || isSwitchWord(word, dataFolders) || word.find('/', 1) != std::string::npos,
            "a known switch without a second '/' is a switch word");
    const size_t mark = word.find_first_of(":=");
    if (mark != std::string::npos) {
      const auto n = parseCount(std::string_view(word).substr(mark + 1));
      require(!n || *n >= 0, "counts are never negative");
    }
  }
}

}  // namespace
}  // namespace tabrix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words;
  std::string word;
  for (size_t i = 0; i <= size && words.size() < tabrix::fuzz::kMaxWords; ++i) {
    if (i == size || data[i] == '\n') {
      // The shell's empty words would make "no output" and an empty output alike.
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  tabrix::fuzz::checkSplit(words);
  return 0;
}
