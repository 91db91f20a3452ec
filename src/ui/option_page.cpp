#include "ui/option_page.h"

namespace tabrix {

OptionPage::OptionPage(WizardState& state, QWidget* parent)
    : QWizardPage(parent),
      state_(state),
      progress_(new QProgressBar(this)),
      viewAfter_(new QCheckBox(tr("View after process done"), this)),
      commandLine_(unavailableButton(tr("Command Line..."), this)) {
  progress_->setRange(0, 1000);
  progress_->setTextVisible(false);
  progress_->hide();
}

QPushButton* unavailableButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setEnabled(false);
  button->setToolTip(QObject::tr("Not available in this version"));
  return button;
}

}  // namespace tabrix
