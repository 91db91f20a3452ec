#include "cli/batch.h"

#include <fmt/printf.h>

#include <algorithm>
#include <filesystem>

#include "platform/file.h"
#include "util/ascii.h"

namespace tabrix {

namespace fs = std::filesystem;

namespace {

// ASCII only: names and placeholders are bytes of any code page, whose upper
// halves must not be folded by the current locale.
bool equalIgnoringCase(char a, char b) { return asciiLower(a) == asciiLower(b); }

size_t findIgnoringCase(std::string_view text, std::string_view search, size_t from = 0) {
  if (from > text.size()) return std::string_view::npos;
  auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), search.begin(), search.end(),
                        equalIgnoringCase);
  return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

struct FolderEntry {
  std::string name;
  bool isFolder;  // a real folder, never a link to one, so link cycles cannot recurse forever
  bool isFile;    // anything but a folder, links followed
};

// The entries of folder sorted by name; an unreadable folder has none.
std::vector<FolderEntry> listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    const fs::file_status own = it->symlink_status(typeError);
    const fs::file_status target = it->status(typeError);
    entries.push_back({it->path().filename().string(), fs::is_directory(own),
                       fs::exists(target) && !fs::is_directory(target)});
  }
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + '/' + name;
}

template <typename Values>
std::string expandPlaceholders(const std::string& path, std::string_view formTag, std::string_view plainTag,
                               const std::string& plainText, const Values& values) {
  std::string result = path;
  const size_t start = findIgnoringCase(result, formTag);
  if (start == std::string::npos) {
    replaceAll(result, plainTag, plainText);
    return result;
  }
  const size_t close = result.find(']', start);
  const std::string placeholder = result.substr(start, close == std::string::npos ? close : close - start + 1);
  const size_t formatStart = placeholder.find(':') + 1;
  std::string format = placeholder.substr(formatStart, placeholder.size() - formatStart -
                                                           (placeholder.back() == ']' ? 1 : 0));
  for (const auto& [letters, value] : values) replaceAll(format, letters, value);
  replaceAll(result, placeholder, format);
  return result;
}

}  // namespace

void replaceAll(std::string& text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return;
  // Scanning on after the replacement (not after the search text's length)
  // neither skips a following copy when the replacement is shorter nor
  // rescans the replacement when it contains the search text.
  for (size_t pos = findIgnoringCase(text, search); pos != std::string::npos;
       pos = findIgnoringCase(text, search, pos + replacement.size()))
    text.replace(pos, search.size(), replacement);
}

std::string expandDatePlaceholders(const std::string& path, const std::tm& now) {
  const int year = now.tm_year + 1900, month = now.tm_mon + 1;
  const std::pair<std::string_view, std::string> values[] = {
      {"yyyy", fmt::sprintf("%d", year)}, {"mm", fmt::sprintf("%02d", month)}, {"dd", fmt::sprintf("%02d", now.tm_mday)}};
  return expandPlaceholders(path, "[date:", "[date]", fmt::sprintf("%d-%02d-%02d", year, month, now.tm_mday), values);
}

std::string expandTimePlaceholders(const std::string& path, const std::tm& now) {
  const std::pair<std::string_view, std::string> values[] = {{"hh", fmt::sprintf("%02d", now.tm_hour)},
                                                             {"mm", fmt::sprintf("%02d", now.tm_min)},
                                                             {"ss", fmt::sprintf("%02d", now.tm_sec)}};
  return expandPlaceholders(path, "[time:", "[time]",
                            fmt::sprintf("%02d%02d%02d", now.tm_hour, now.tm_min, now.tm_sec), values);
}

Result readSourceList(const std::string& listFile, std::vector<std::string>& sources) {
  std::vector<std::string> lines;
  if (Result read = readTextLines(listFile, lines); !read) return read;
  for (std::string& line : lines) {
    line.erase(line.find_last_not_of(' ') + 1);
    if (findIgnoringCase(line, ".dbf") != std::string::npos) sources.push_back(line);
  }
  return {};
}

bool matchesWildcard(std::string_view name, std::string_view pattern) {
  // Greedy match that backs up to the last '*': linear for one star, never
  // exponential for many.
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || equalIgnoringCase(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> listMatches(const std::string& pattern) {
  const size_t slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  const std::string_view namePattern = std::string_view(pattern).substr(folder.size());
  std::vector<std::string> matches;
  for (const FolderEntry& entry : listFolder(folder))
    if (entry.isFile && matchesWildcard(entry.name, namePattern)) matches.push_back(folder + entry.name);
  return matches;
}

std::string patternFolder(const std::string& pattern) {
  // A pattern with only '?' wildcards starts from its own folder.
  const size_t slash = pattern.rfind('/', pattern.find('*'));
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : pattern.substr(0, slash);
}

void collectTablesRecursively(const std::string& folder, std::vector<std::string>& sources) {
  const std::vector<FolderEntry> entries = listFolder(folder);
  for (const FolderEntry& entry : entries)
    if (entry.isFolder) collectTablesRecursively(joinPath(folder, entry.name), sources);
  for (const FolderEntry& entry : entries)
    if (entry.isFile && matchesWildcard(entry.name, "*.dbf")) sources.push_back(joinPath(folder, entry.name));
}

std::string outputNameFor(const std::string& outputFolder, const std::string& source, const std::string& ext,
                          const std::string& searchedFolder) {
  const size_t slash = source.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string outputName = source.substr(nameStart, source.find('.', nameStart) - nameStart) + "." + ext;
  if (searchedFolder.empty()) return joinPath(outputFolder, outputName);

  // The source's subfolders below the searched folder, with their trailing '/'.
  std::string subfolders;
  const bool below = source.compare(0, searchedFolder.size(), searchedFolder) == 0 &&
                     (searchedFolder.back() == '/' || source[searchedFolder.size()] == '/');
  if (below && nameStart > searchedFolder.size()) {
    subfolders = source.substr(searchedFolder.size(), nameStart - searchedFolder.size());
    subfolders.erase(0, subfolders.find_first_not_of('/'));
  }
  return joinPath(outputFolder, subfolders + outputName);
}

void makeFolders(const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::error_code ignored;
    fs::create_directory(path.substr(0, slash + 1), ignored);
  }
}

}  // namespace tabrix
