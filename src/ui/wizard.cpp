#include "ui/wizard.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QShortcut>
#include <QUrl>

#include "cli/batch.h"
#include "convert/output_formats.h"
#include "ui/common_page.h"
#include "ui/conversion_worker.h"
#include "ui/html_page.h"
#include "ui/source_page.h"
#include "ui/text_page.h"

namespace tabrix {
namespace {

const QString kCaption = QStringLiteral("Tabrix");

// Every table of the folder with its output: one picked file for all, or the
// folder's tree repeated below the output folder.
std::vector<ConversionJob> folderJobs(const WizardState& state) {
  const ConversionOptions& o = state.options;
  std::string ext = outputFormatRow(o.outputFormat).extension;
  ext.erase(0, 1);
  std::vector<ConversionJob> jobs;
  for (const std::string& table : state.tables) {
    if (o.appendToOutput) {
      jobs.push_back({table, o.outputPath});
      continue;
    }
    std::string output = outputNameFor(o.outputPath, table, ext, state.shell.sourceFolder);
    makeFolders(output);
    jobs.push_back({table, std::move(output)});
  }
  return jobs;
}

}  // namespace

Wizard::Wizard(WizardContext& context, QWidget* parent) : QWizard(parent), state_(context) {
  setWindowTitle(kCaption);
  state_.program = QCoreApplication::applicationFilePath().toStdString();
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::HaveHelpButton);
  setOption(QWizard::NoBackButtonOnStartPage);
  setButtonText(QWizard::CommitButton, buttonText(QWizard::NextButton));
  setPage(SourcePageId, new SourcePage(state_, *this));
  setPage(CommonPageId, new CommonPage(state_));
  setPage(TextPageId, new TextPage(state_));
  setPage(HtmlPageId, new HtmlPage(state_));
  setStartId(SourcePageId);
  resize(720, 560);

  showMessage = [this](const QString& text) { QMessageBox::information(this, kCaption, text); };
  askYesNo = [this](const QString& question) {
    return QMessageBox::question(this, kCaption, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
  openWithDesktop = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

  connect(this, &QWizard::helpRequested, this, &Wizard::showHelp);
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, &Wizard::showHelp);
}

Wizard::~Wizard() {
  if (worker_) {
    worker_->requestCancel();
    worker_->wait();
  }
}

void Wizard::showHelp() {
  if (!state_.context.helpPath.empty()) openWithDesktop(QString::fromStdString(state_.context.helpPath));
}

// Finish: the page stores its controls (validatePage), the conversion runs,
// and the wizard closes once it has ended.
void Wizard::done(int result) {
  if (result != QDialog::Accepted || finished_) {
    QWizard::done(result);
    return;
  }
  if (worker_ || !validateCurrentPage()) return;
  if (auto* page = qobject_cast<OptionPage*>(currentPage())) startConversion(*page);
}

void Wizard::reject() {
  if (worker_) {
    worker_->requestCancel();
    return;
  }
  QWizard::reject();
}

void Wizard::startConversion(OptionPage& page) {
  std::vector<ConversionJob> jobs =
      state_.folderMode ? folderJobs(state_) : std::vector<ConversionJob>{{state_.table->path(), state_.options.outputPath}};
  // The preview's table stays open; the worker reads its own copy.
  worker_ = new ConversionWorker(state_.options, std::move(jobs), this);
  page.progressBar()->setValue(0);
  page.progressBar()->show();
  for (WizardButton b : {BackButton, NextButton, CommitButton, FinishButton, HelpButton}) button(b)->setEnabled(false);
  page.setEnabled(false);
  connect(worker_, &ConversionWorker::progressed, page.progressBar(), &QProgressBar::setValue);
  connect(worker_, &QThread::finished, this, [this, &page] { conversionEnded(page); });
  worker_->start();
}

void Wizard::conversionEnded(OptionPage& page) {
  worker_->wait();
  const ConversionOutcome outcome = worker_->outcome();
  worker_->deleteLater();
  worker_ = nullptr;
  page.setEnabled(true);
  finished_ = true;
  if (!outcome.failures.empty()) {
    QString text = tr("The conversion failed:");
    for (const std::string& failure : outcome.failures) text += "\n" + QString::fromStdString(failure);
    showMessage(text);
  } else if (outcome.cancelled) {
    showMessage(tr("Conversion cancelled: %1 records written").arg(outcome.recordsWritten));
  } else {
    page.progressBar()->setValue(1000);
    showMessage(tr("Conversion done"));
    if (state_.options.openWhenDone && !state_.folderMode) openWithDesktop(QString::fromStdString(state_.options.outputPath));
  }
  emit conversionFinished();
  QDialog::done(QDialog::Accepted);
}

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* value = std::getenv(name); value && *value) return true;
  return false;
}

AcceptedPair runWizard(int& argc, char** argv, WizardContext& context) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tabrix"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tabrix/tabrix.svg")));
  Wizard wizard(context);
  wizard.exec();
  return wizard.state().accepted;
}

}  // namespace tabrix
