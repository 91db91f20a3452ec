#pragma once
// The desktop wizard that opens when tabrix starts without a command line.
// This header stays free of Qt so the start-up can call it in any build.
#include <string>

#include "convert/conversion_options.h"
#include "settings/history.h"
#include "settings/registry_file.h"
#include "settings/settings.h"

namespace tabrix {

// The run's loaded settings; the wizard reads and changes them in place, and
// the caller saves them after it closes.
struct WizardContext {
  ConversionOptions& options;
  ShellSettings& shell;
  History& history;
  RegistryValues& values;
  std::string helpPath;  // the page the Help button opens
};

// The source and output accepted on the first page; an empty source when the
// page was never passed.
struct AcceptedPair {
  std::string source;
  std::string output;
};

// Whether the environment names a display (X11, Wayland) or a Qt platform.
bool displayAvailable();

// Shows the wizard until Finish or Cancel.
AcceptedPair runWizard(int& argc, char** argv, WizardContext& context);

}  // namespace tabrix
