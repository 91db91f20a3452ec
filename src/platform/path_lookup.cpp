#include "platform/path_lookup.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace tabrix {

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string replaceExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.rfind('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + "." + ext;
  return path.substr(0, dot + 1) + ext;
}

std::string findIgnoringCase(const std::string& path) {
  if (exists(path)) return path;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), ::closedir);
  if (!handle) return {};
  // Several names may differ only in case; take the first by byte order so the
  // choice does not depend on the directory's order.
  std::string best;
  while (dirent* entry = ::readdir(handle.get())) {
    if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    if (best.empty() || std::string(entry->d_name) < best) best = entry->d_name;
  }
  if (best.empty()) return {};
  std::string found = slash == std::string::npos ? best : path.substr(0, slash + 1) + best;
  return exists(found) ? found : std::string();
}

std::string siblingWithExtension(const std::string& path, const std::string& ext) {
  std::string wanted = replaceExtension(path, ext);
  std::string found = findIgnoringCase(wanted);
  return found.empty() ? replaceExtension(path, lowerAscii(ext)) : found;
}

}  // namespace tabrix
