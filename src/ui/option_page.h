#pragma once
// What the three option pages share: the progress bar of a conversion
// started from them, the box that opens the result when it is done, and the
// Command Line button.
#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QWizardPage>

#include "ui/command_text.h"
#include "ui/wizard_state.h"

namespace tabrix {

class OptionPage : public QWizardPage {
  Q_OBJECT
 public:
  OptionPage(WizardState& state, QWidget* parent = nullptr);

  QProgressBar* progressBar() const { return progress_; }
  QCheckBox* viewAfter() const { return viewAfter_; }
  QPushButton* commandLineButton() const { return commandLine_; }

  // Stores the page's controls into the options and composes the command
  // line that converts as Finish would.
  ComposedCommand composedCommand();

 protected:
  WizardState& state_;

 private:
  QProgressBar* progress_;
  QCheckBox* viewAfter_;
  QPushButton* commandLine_;
};

}  // namespace tabrix
