#pragma once
// What the wizard's pages share during one run: the settings they fill, the
// choices of the first page and the tables it opened.
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "ui/run_wizard.h"

namespace tabrix {

struct WizardState {
  explicit WizardState(WizardContext& c) : context(c), options(c.options), shell(c.shell) {}

  WizardContext& context;
  ConversionOptions& options;
  ShellSettings& shell;

  bool folderMode = false;  // a source folder was chosen; stays on for the run
  int chosenFormat = 0;     // 1-16 once chosen by the save dialog or "Export to"; 0: from the name at Next
  AcceptedPair accepted;    // set when the first page is passed
  std::unique_ptr<DbfTable> table;  // single-file mode: the table page 1 opened
  std::vector<std::string> tables;  // folder mode: every table below the source folder
  bool columnsChosen = false;       // the Fields dialog left some field out; cleared with the table
  std::string program;              // the executable the composed command line names
};

// How the options ask for a table to be read.
TableOpenOptions tableOpenOptions(const ConversionOptions& options);

}  // namespace tabrix
