#pragma once
// The second page, shown for every format: the record preview, deleted
// records, order, sort, OEM text, and the spreadsheet switches.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTableView>
#include <functional>

#include "ui/option_page.h"
#include "ui/record_model.h"

namespace tabrix {

class CommonPage : public OptionPage {
  Q_OBJECT
 public:
  explicit CommonPage(WizardState& state, QWidget* parent = nullptr);

  void initializePage() override;
  void cleanupPage() override;
  bool validatePage() override;
  int nextId() const override;

  QTableView* preview() const { return preview_; }
  RecordModel* model() const { return model_; }
  QRadioButton* skipDeletedButton() const { return skipDeleted_; }
  QRadioButton* onlyDeletedButton() const { return onlyDeleted_; }
  QRadioButton* exportAllButton() const { return exportAll_; }
  QCheckBox* onlyStructureBox() const { return onlyStructure_; }
  QCheckBox* reverseBox() const { return reverse_; }
  QCheckBox* oemBox() const { return oem_; }
  QCheckBox* sortBox() const { return sort_; }
  QComboBox* sortFieldBox() const { return sortField_; }
  QCheckBox* skipEmptyBox() const { return skipEmpty_; }
  QCheckBox* excelXmlBox() const { return excelXml_; }
  QCheckBox* addSheetBox() const { return addSheet_; }
  QLabel* sourceLabel() const { return source_; }
  QPushButton* columnsButton() const { return columns_; }
  QPushButton* filterButton() const { return filter_; }

  // Runs a dialog the page opens; tests replace it to answer without a user.
  std::function<int(QDialog&)> runDialog = [](QDialog& dialog) { return dialog.exec(); };

 private:
  bool leadsToMorePages() const;
  void showPreview();
  void flipOem(bool on);
  void chooseColumns();
  void chooseConditions();
  // The table the dialogs show: the page's table, or in folder mode the first of the folder.
  const DbfTable* dialogTable(DbfTable& scratch) const;

  QTableView* preview_;
  RecordModel* model_;
  QRadioButton* skipDeleted_;
  QRadioButton* onlyDeleted_;
  QRadioButton* exportAll_;
  QCheckBox* onlyStructure_;
  QCheckBox* reverse_;
  QLabel* source_;
  QCheckBox* oem_;
  QCheckBox* sort_;
  QComboBox* sortField_;
  QCheckBox* skipEmpty_;
  QCheckBox* excelXml_;
  QCheckBox* addSheet_;
  QPushButton* columns_;
  QPushButton* filter_;
};

}  // namespace tabrix
