#pragma once
// Where the settings are kept, and reading and saving them as a whole.
#include <string>

#include "settings/registry_file.h"
#include "util/result.h"

namespace tabrix {

// TABRIX_SETTINGS when set, else $XDG_CONFIG_HOME/tabrix/settings.reg (an
// absolute XDG_CONFIG_HOME only), else $HOME/.config/tabrix/settings.reg;
// empty when none of them is set. Arguments are the variables' values or null.
std::string settingsFilePath(const char* tabrixSettings, const char* xdgConfigHome, const char* home);
// The same from the environment.
std::string settingsFilePath();

// The stored values; a missing file holds none. A failure carries the
// system's text when the file exists but cannot be read.
Result readSettingsFile(const std::string& path, RegistryValues& values);

// Replaces the file at once (see replaceWholeFile), creating its folder.
Result writeSettingsFile(const std::string& path, const RegistryValues& values);

}  // namespace tabrix
