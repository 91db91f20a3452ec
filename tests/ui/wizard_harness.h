#pragma once
// A wizard over settings of its own, with the desktop's message boxes, Yes/No
// questions and viewer replaced by recorders, so tests run it without a user.
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "settings/settings_file.h"
#include "ui/common_page.h"
#include "ui/html_page.h"
#include "ui/source_page.h"
#include "ui/text_page.h"
#include "ui/wizard.h"

namespace tabrix::test {

class WizardHarness {
 public:
  // Loads the settings file at settingsPath (absent: the defaults of a first
  // run). With realMessages the wizard's own message boxes show.
  explicit WizardHarness(const QString& settingsPath = {}, bool realMessages = false) {
    options.delimiter.clear();
    if (!settingsPath.isEmpty() && readSettingsFile(settingsPath.toStdString(), values)) {
      loadSettings(values, options, shell);
      history = loadHistory(values);
    }
    context = std::make_unique<WizardContext>(WizardContext{options, shell, history, values, "help.md"});
    wizard = std::make_unique<Wizard>(*context);
    if (!realMessages) wizard->showMessage = [this](const QString& text) { messages << text; };
    wizard->askYesNo = [this](const QString& question) {
      messages << question;
      return true;
    };
    wizard->openWithDesktop = [this](const QString& path) { opened << path; };
    wizard->show();
    wizard->restart();
  }

  // What the run leaves in the settings file, as tabrix saves it at exit.
  bool save(const QString& settingsPath) {
    updateHistoryAfterWizard(values, history, wizard->state().accepted.source, wizard->state().accepted.output);
    saveSettings(values, options, shell, history);
    return static_cast<bool>(writeSettingsFile(settingsPath.toStdString(), values));
  }

  SourcePage& sourcePage() { return *static_cast<SourcePage*>(wizard->page(Wizard::SourcePageId)); }
  CommonPage& commonPage() { return *static_cast<CommonPage*>(wizard->page(Wizard::CommonPageId)); }
  TextPage& textPage() { return *static_cast<TextPage*>(wizard->page(Wizard::TextPageId)); }
  HtmlPage& htmlPage() { return *static_cast<HtmlPage*>(wizard->page(Wizard::HtmlPageId)); }

  // Types the pair into page 1 and presses Next.
  void enterPair(const QString& source, const QString& output) {
    sourcePage().sourceBox()->setEditText(source);
    sourcePage().outputBox()->setEditText(output);
    wizard->next();
  }

  // Presses Finish and waits for the conversion to end.
  bool finish(int timeoutMs = 60000) {
    QSignalSpy done(wizard.get(), &Wizard::conversionFinished);
    wizard->button(QWizard::FinishButton)->click();
    return done.count() > 0 || done.wait(timeoutMs);
  }

  ConversionOptions options;
  ShellSettings shell;
  History history;
  RegistryValues values;
  std::unique_ptr<WizardContext> context;
  std::unique_ptr<Wizard> wizard;
  QStringList messages;
  QStringList opened;
};

}  // namespace tabrix::test
