#include "cli/command_words.h"

#include "cli/switch_words.h"

namespace tabrix {

namespace {

// Whether the text before a word's second '/' is a switch: one that carries
// a value ("/LOG:/var/log/x", "/TITLE=a/b", "/SEP/"), or a switch written
// whole ("/tm" but not "/tmp").
bool switchBeforeSlash(std::string_view head) {
  for (const KnownSwitch& s : knownSwitches()) {
    if (beginsWith(head, s.text, s.letterCase) && (s.value != SwitchValue::None || head.size() == s.text.size()))
      return true;
  }
  return false;
}

}  // namespace

bool isSwitchWord(const std::string& word, FolderExists folderExists) {
  if (word.empty() || word[0] != '/') return false;
  const size_t last = word.rfind('/');
  if (last > 0 && folderExists(word.substr(0, last))) return false;
  const size_t second = word.find('/', 1);
  return second == std::string::npos || switchBeforeSlash(std::string_view(word).substr(0, second));
}

CommandWords splitCommandWords(const std::vector<std::string>& words, FolderExists folderExists) {
  CommandWords split;
  size_t used = 0;
  if (!words.empty() && beginsWith(words[0], "/LIST:", Case::Ignore)) {
    split.sources.push_back(words[0]);
    split.switchWords.push_back(words[0]);
    used = 1;
    if (words.size() > 1 && !isSwitchWord(words[1], folderExists)) split.output = words[used++];
  } else {
    while (used < words.size() && !isSwitchWord(words[used], folderExists)) ++used;
    if (used >= 2) {
      split.sources.assign(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(used - 1));
      split.output = words[used - 1];
    } else if (used == 1) {
      split.sources.push_back(words[0]);
    }
  }
  split.switchWords.insert(split.switchWords.end(), words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
  return split;
}

bool findClash(const std::vector<SourceFiles>& sources, const std::vector<std::string>& written, SameFile same,
               PathClash& clash) {
  for (const std::string& path : written)
    for (const SourceFiles& source : sources)
      for (const std::string& file : source.files)
        if (same(path, file)) {
          clash = {path, source.source, file};
          return true;
        }
  return false;
}

}  // namespace tabrix
