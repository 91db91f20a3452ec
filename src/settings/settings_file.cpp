#include "settings/settings_file.h"

#include <cstdlib>
#include <filesystem>

#include "platform/file.h"
#include "platform/whole_file.h"

namespace tabrix {

std::string settingsFilePath(const char* tabrixSettings, const char* xdgConfigHome, const char* home) {
  if (tabrixSettings && *tabrixSettings) return tabrixSettings;
  if (xdgConfigHome && *xdgConfigHome == '/') return std::string(xdgConfigHome) + "/tabrix/settings.reg";
  if (home && *home) return std::string(home) + "/.config/tabrix/settings.reg";
  return {};
}

std::string settingsFilePath() {
  return settingsFilePath(std::getenv("TABRIX_SETTINGS"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

Result readSettingsFile(const std::string& path, RegistryValues& values) {
  if (pathKind(path) == PathKind::Missing) return {};
  std::string text;
  if (Result read = readWholeFile(path, text); !read) return read;
  values = RegistryValues::parse(text);
  return {};
}

Result writeSettingsFile(const std::string& path, const RegistryValues& values) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a folder that cannot be made fails the write below, with its reason
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  return replaceWholeFile(path, values.serialise());
}

}  // namespace tabrix
