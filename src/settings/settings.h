#pragma once
// The preferences kept between runs: a few conversion options and the
// shell's folders and last choices, read from and written to the values of
// the settings key.
#include <cstdint>
#include <string>

#include "convert/conversion_options.h"
#include "settings/history.h"
#include "settings/registry_file.h"

namespace tabrix {

struct ShellSettings {
  std::string sourceFolder;  // last folder a source was picked in
  std::string outputFolder;  // last folder an output was picked in
  std::string lastSource;    // the pair accepted on the wizard's first page
  std::string lastOutput;
  int16_t lastExportType = 0;  // the output type last chosen in the save dialog (1-16); 0: none
};

// Reads every stored value into options and shell. A value that is absent,
// too long for its setting or out of range leaves the setting as it was.
void loadSettings(const RegistryValues& values, ConversionOptions& options, ShellSettings& shell);

// Writes the settings and the history's pair count.
void saveSettings(RegistryValues& values, const ConversionOptions& options, const ShellSettings& shell,
                  const History& history);

}  // namespace tabrix
