#pragma once
// What the three option pages share: the progress bar of a conversion
// started from them and the box that opens the result when it is done.
#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QWizardPage>

#include "ui/wizard_state.h"

namespace tabrix {

class OptionPage : public QWizardPage {
  Q_OBJECT
 public:
  OptionPage(WizardState& state, QWidget* parent = nullptr);

  QProgressBar* progressBar() const { return progress_; }
  QCheckBox* viewAfter() const { return viewAfter_; }
  QPushButton* commandLineButton() const { return commandLine_; }

 protected:
  WizardState& state_;

 private:
  QProgressBar* progress_;
  QCheckBox* viewAfter_;
  QPushButton* commandLine_;
};

// A button whose dialog this version does not have yet: shown, disabled, with a tooltip saying so.
QPushButton* unavailableButton(const QString& text, QWidget* parent);

}  // namespace tabrix
