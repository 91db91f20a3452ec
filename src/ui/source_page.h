#pragma once
// The first page: the source (one table, or a folder for a batch), the output
// (a file, or a folder and a format), the history of pairs, Keep date, and
// the checks at Next.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWizardPage>

#include "ui/wizard_state.h"

namespace tabrix {

class Wizard;

class SourcePage : public QWizardPage {
  Q_OBJECT
 public:
  SourcePage(WizardState& state, Wizard& wizard);

  void initializePage() override;
  bool validatePage() override;

  // What the buttons do once their dialog returned a choice.
  void chooseSourceFile(const QString& path);
  void chooseOutputFile(const QString& path, int format);  // format 1-16: the dialog's file type
  void enterFolderMode(const QString& folder);
  void chooseOutputFolder(const QString& folder);
  void clearHistory();

  QComboBox* sourceBox() const { return source_; }
  QComboBox* outputBox() const { return output_; }
  QComboBox* exportToBox() const { return exportTo_; }
  QPushButton* clearHistoryButton() const { return clearHistory_; }
  QCheckBox* keepDateBox() const { return keepDate_; }
  QLabel* sourceLabel() const { return sourceLabel_; }
  QLabel* outputLabel() const { return outputLabel_; }

 private:
  void browseSource();
  void browseOutput();
  void browseSourceFolder();
  void browseOutputFolder();
  bool checkFolder();
  bool checkTable();

  WizardState& state_;
  Wizard& wizard_;
  QLabel* sourceLabel_;
  QComboBox* source_;
  QLabel* outputLabel_;
  QComboBox* output_;
  QPushButton* outputFolderButton_;
  QLabel* exportToLabel_;
  QComboBox* exportTo_;
  QPushButton* clearHistory_;
  QCheckBox* keepDate_;
};

// The format whose extension the output name ends in ("result.CSV" gives
// CSV, ".html" HTML), the first in format order, so ".dbf" is dBase III; 0
// when none matches.
int formatFromOutputName(const std::string& name);

}  // namespace tabrix
