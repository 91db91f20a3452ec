#include "ui/source_page.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>

#include "cli/batch.h"
#include "convert/output_formats.h"
#include "ui/wizard.h"
#include "util/ascii.h"

namespace tabrix {

int formatFromOutputName(const std::string& name) {
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  if (dot == std::string::npos || dot + 1 == name.size() || (slash != std::string::npos && dot < slash)) return 0;
  std::string_view ext = std::string_view(name).substr(dot);
  // The web's usual spelling of the HTML extension, as on the command line.
  if (equalsIgnoringCase(ext, ".html")) ext = ".htm";
  for (const OutputFormatRow& row : outputFormats())
    if (equalsIgnoringCase(ext, row.extension)) return static_cast<int>(row.format);
  return 0;
}

SourcePage::SourcePage(WizardState& state, Wizard& wizard)
    : state_(state),
      wizard_(wizard),
      sourceLabel_(new QLabel(tr("&Source file"), this)),
      source_(new QComboBox(this)),
      outputLabel_(new QLabel(tr("&Output file"), this)),
      output_(new QComboBox(this)),
      outputFolderButton_(new QPushButton(tr("Select folder..."), this)),
      exportToLabel_(new QLabel(tr("Export to"), this)),
      exportTo_(new QComboBox(this)),
      clearHistory_(new QPushButton(tr("Clear history"), this)),
      keepDate_(new QCheckBox(tr("Keep date"), this)) {
  setTitle(tr("Welcome to Tabrix"));
  setSubTitle(tr("Choose a dBase table, or a folder of tables, and the file to write."));
  for (QComboBox* box : {source_, output_}) {
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(40);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }
  sourceLabel_->setBuddy(source_);
  outputLabel_->setBuddy(output_);
  auto* browseSourceButton = new QPushButton(tr("Browse..."), this);
  auto* sourceFolderButton = new QPushButton(tr("Select folder..."), this);
  sourceFolderButton->setToolTip(tr("Select source folder for batch conversion"));
  auto* browseOutputButton = new QPushButton(tr("Browse..."), this);
  outputFolderButton_->setToolTip(tr("Select output folder for batch conversion"));
  for (const OutputFormatRow& row : outputFormats()) exportTo_->addItem(QString::fromUtf8(row.displayName));
  exportToLabel_->setBuddy(exportTo_);
  for (QWidget* w : {static_cast<QWidget*>(outputFolderButton_), static_cast<QWidget*>(exportToLabel_),
                     static_cast<QWidget*>(exportTo_)})
    w->hide();

  auto* grid = new QGridLayout(this);
  grid->addWidget(sourceLabel_, 0, 0, 1, 3);
  grid->addWidget(source_, 1, 0);
  grid->addWidget(browseSourceButton, 1, 1);
  grid->addWidget(sourceFolderButton, 1, 2);
  grid->addWidget(outputLabel_, 2, 0, 1, 3);
  grid->addWidget(output_, 3, 0);
  grid->addWidget(browseOutputButton, 3, 1);
  grid->addWidget(outputFolderButton_, 3, 2);
  auto* exportRow = new QHBoxLayout;
  exportRow->addWidget(exportToLabel_);
  exportRow->addWidget(exportTo_, 1);
  grid->addLayout(exportRow, 4, 0);
  grid->addWidget(keepDate_, 5, 0);
  grid->addWidget(clearHistory_, 5, 1, 1, 2);
  grid->setRowStretch(6, 1);
  grid->setColumnStretch(0, 1);

  connect(browseSourceButton, &QPushButton::clicked, this, &SourcePage::browseSource);
  connect(browseOutputButton, &QPushButton::clicked, this, &SourcePage::browseOutput);
  connect(sourceFolderButton, &QPushButton::clicked, this, &SourcePage::browseSourceFolder);
  connect(outputFolderButton_, &QPushButton::clicked, this, &SourcePage::browseOutputFolder);
  connect(clearHistory_, &QPushButton::clicked, this, &SourcePage::clearHistory);
  // A history source comes with the output it was converted to.
  connect(source_, &QComboBox::activated, this, [this](int index) {
    if (index < output_->count()) output_->setCurrentIndex(index);
  });
}

void SourcePage::initializePage() {
  state_.chosenFormat = 0;
  source_->clear();
  output_->clear();
  for (const HistoryPair& pair : state_.context.history.pairs()) {
    source_->addItem(QString::fromStdString(pair.source));
    output_->addItem(QString::fromStdString(pair.output));
  }
  source_->setEditText(QString::fromStdString(state_.shell.lastSource));
  output_->setEditText(QString::fromStdString(state_.shell.lastOutput));
  keepDate_->setChecked(state_.options.keepFileDate);
  clearHistory_->setVisible(!state_.context.history.empty());
}

void SourcePage::chooseSourceFile(const QString& path) {
  source_->setEditText(path);
  state_.shell.sourceFolder = QFileInfo(path).absolutePath().toStdString();
}

void SourcePage::chooseOutputFile(const QString& path, int format) {
  const OutputFormatRow& row = outputFormatRow(static_cast<OutputFormat>(format));
  QString name = path;
  // The type chosen in the dialog wins over what was typed: its extension is added when missing.
  if (!name.contains(QString::fromUtf8(row.extension))) name += QString::fromUtf8(row.extension);
  state_.chosenFormat = format;
  state_.shell.lastExportType = static_cast<int16_t>(format);
  state_.shell.outputFolder = QFileInfo(name).absolutePath().toStdString();
  output_->setEditText(name);
  // In folder mode one picked file receives every table, in the type it was picked as.
  if (state_.folderMode) {
    state_.options.appendToOutput = true;
    exportTo_->setCurrentIndex(format - 1);
  }
}

void SourcePage::enterFolderMode(const QString& folder) {
  state_.shell.sourceFolder = folder.toStdString();
  state_.shell.outputFolder = folder.toStdString();
  source_->setEditText(folder);
  output_->setEditText(folder);
  exportTo_->setCurrentIndex(0);
  for (QWidget* w : {static_cast<QWidget*>(outputFolderButton_), static_cast<QWidget*>(exportToLabel_),
                     static_cast<QWidget*>(exportTo_)})
    w->show();
  sourceLabel_->setText(tr("Source folder"));
  outputLabel_->setText(tr("Output folder"));
  state_.folderMode = true;
  state_.options.batchMode = true;
}

void SourcePage::chooseOutputFolder(const QString& folder) {
  state_.shell.outputFolder = folder.toStdString();
  output_->setEditText(folder);
}

void SourcePage::clearHistory() {
  if (!wizard_.askYesNo(tr("Would you like to clear history list?"))) return;
  source_->clear();
  output_->clear();
  tabrix::clearHistory(state_.context.values, state_.context.history);
  state_.shell.sourceFolder.clear();
  state_.shell.outputFolder.clear();
  state_.shell.lastSource.clear();
  state_.shell.lastOutput.clear();
  clearHistory_->hide();
}

void SourcePage::browseSource() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Source file"), QString::fromStdString(state_.shell.sourceFolder),
                                                    tr("DBF files (*.dbf *.DBF)"));
  if (!path.isEmpty()) chooseSourceFile(path);
}

void SourcePage::browseOutput() {
  QStringList filters;
  for (const OutputFormatRow& row : outputFormats()) filters << QString::fromUtf8(row.filterText);
  QFileDialog dialog(this, tr("Output file"), QString::fromStdString(state_.shell.outputFolder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  if (state_.shell.lastExportType >= 1 && state_.shell.lastExportType <= filters.size())
    dialog.selectNameFilter(filters[state_.shell.lastExportType - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  chooseOutputFile(dialog.selectedFiles().first(), static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1);
}

void SourcePage::browseSourceFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Choose a folder"), QString::fromStdString(state_.shell.sourceFolder));
  if (!folder.isEmpty()) enterFolderMode(folder);
}

void SourcePage::browseOutputFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Choose a folder"), QString::fromStdString(state_.shell.outputFolder));
  if (!folder.isEmpty()) chooseOutputFolder(folder);
}

bool SourcePage::validatePage() {
  state_.options.keepFileDate = keepDate_->isChecked();
  return state_.folderMode ? checkFolder() : checkTable();
}

bool SourcePage::checkFolder() {
  state_.chosenFormat = exportTo_->currentIndex() + 1;
  state_.options.outputFormat = static_cast<OutputFormat>(state_.chosenFormat);
  const std::string output = output_->currentText().toStdString();
  state_.options.outputPath = output;
  state_.accepted = {source_->currentText().toStdString(), output};
  if (output.empty()) {
    wizard_.showMessage(tr("Please select the output folder"));
    return false;
  }
  state_.tables.clear();
  collectTablesRecursively(state_.shell.sourceFolder, state_.tables);
  if (state_.tables.empty()) {
    wizard_.showMessage(tr("%1: not found dbf files ").arg(QString::fromStdString(state_.shell.sourceFolder)));
    return false;
  }
  return true;
}

bool SourcePage::checkTable() {
  const std::string source = source_->currentText().toStdString();
  if (source.empty()) {
    wizard_.showMessage(tr("Please select the dbf file"));
    return false;
  }
  auto table = std::make_unique<DbfTable>();
  if (const Result opened = table->open(source, tableOpenOptions(state_.options)); !opened) {
    wizard_.showMessage(tr("Not valid DBF file !") + "\n\n" + QString::fromStdString(opened.reason()));
    return false;
  }
  state_.table = std::move(table);
  const std::string output = output_->currentText().toStdString();
  state_.accepted = {source, output};
  state_.options.outputPath = output;
  if (state_.chosenFormat == 0) state_.chosenFormat = formatFromOutputName(output);
  if (output.empty() || state_.chosenFormat == 0) {
    wizard_.showMessage(tr("Please, select the output file"));
    return false;
  }
  // Reading a table and writing it at once would destroy it.
  if (QFileInfo(QString::fromStdString(output)).canonicalFilePath() == QFileInfo(QString::fromStdString(source)).canonicalFilePath()) {
    wizard_.showMessage(tr("The output file is the source table itself: please choose another output file"));
    return false;
  }
  state_.options.outputFormat = static_cast<OutputFormat>(state_.chosenFormat);
  state_.shell.lastOutput = output;
  state_.shell.lastSource = source;
  return true;
}

}  // namespace tabrix
