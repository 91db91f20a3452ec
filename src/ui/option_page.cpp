#include "ui/option_page.h"

#include "ui/command_line_dialog.h"

namespace tabrix {

OptionPage::OptionPage(WizardState& state, QWidget* parent)
    : QWizardPage(parent),
      state_(state),
      progress_(new QProgressBar(this)),
      viewAfter_(new QCheckBox(tr("View after process done"), this)),
      commandLine_(new QPushButton(tr("Command Line..."), this)) {
  progress_->setRange(0, 1000);
  progress_->setTextVisible(false);
  progress_->hide();
  connect(commandLine_, &QPushButton::clicked, this, [this] {
    CommandLineDialog dialog(composedCommand(), this);
    dialog.exec();
  });
}

ComposedCommand OptionPage::composedCommand() {
  validatePage();
  CommandChoices choices;
  choices.program = state_.program;
  choices.folderMode = state_.folderMode;
  choices.source = state_.folderMode ? state_.shell.sourceFolder : state_.table->path();
  choices.output = state_.options.outputPath;
  choices.columnsChosen = state_.columnsChosen;
  return composeCommand(choices, state_.options);
}

}  // namespace tabrix
