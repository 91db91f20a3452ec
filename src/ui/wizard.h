#pragma once
// The wizard window: four pages (source and output, common options, text and
// SQL options, HTML options), Finish running the conversion on a worker
// thread with the progress shown in the page, and the messages of the run.
#include <QString>
#include <QWizard>
#include <functional>

#include "ui/wizard_state.h"

namespace tabrix {

class ConversionWorker;
class OptionPage;

class Wizard : public QWizard {
  Q_OBJECT
 public:
  enum PageId { SourcePageId, CommonPageId, TextPageId, HtmlPageId };

  explicit Wizard(WizardContext& context, QWidget* parent = nullptr);
  ~Wizard() override;

  WizardState& state() { return state_; }

  // The desktop around the wizard; tests replace these to run without a user.
  std::function<void(const QString& text)> showMessage;        // an information box, caption "Tabrix"
  std::function<bool(const QString& question)> askYesNo;       // a question box, caption "Tabrix"
  std::function<void(const QString& path)> openWithDesktop;    // the desktop's default program

  bool converting() const { return worker_ != nullptr; }
  // Cancel during a conversion stops it; otherwise it closes the wizard.
  void reject() override;

 signals:
  void conversionFinished();

 protected:
  void done(int result) override;

 private:
  void startConversion(OptionPage& page);
  void conversionEnded(OptionPage& page);
  void showHelp();

  WizardState state_;
  ConversionWorker* worker_ = nullptr;
  bool finished_ = false;  // the conversion ran; Finish now closes
};

}  // namespace tabrix
