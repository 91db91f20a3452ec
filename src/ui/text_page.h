#pragma once
// The third page, for text, CSV, TSV and SQL outputs: delimiters, quotes,
// field names, UTF-8, and the SQL dialect and batches.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/option_page.h"

namespace tabrix {

class TextPage : public OptionPage {
  Q_OBJECT
 public:
  explicit TextPage(WizardState& state, QWidget* parent = nullptr);

  void initializePage() override;
  bool validatePage() override;
  int nextId() const override { return -1; }  // a last page

  QCheckBox* quoteAllBox() const { return quoteAll_; }
  QRadioButton* singleQuoteButton() const { return single_; }
  QRadioButton* doubleQuoteButton() const { return double_; }
  QComboBox* delimiterBox() const { return delimiter_; }
  QCheckBox* fieldNamesBox() const { return fieldNames_; }
  QComboBox* rowDelimiterBox() const { return rowDelimiter_; }
  QCheckBox* utf8Box() const { return utf8_; }
  QComboBox* dialectBox() const { return dialect_; }
  QCheckBox* goBox() const { return go_; }
  QLineEdit* goEveryEdit() const { return goEvery_; }
  QCheckBox* fullInsertBox() const { return fullInsert_; }

 private:
  bool sql() const { return state_.options.outputFormat == OutputFormat::Sql; }

  QCheckBox* quoteAll_;
  QRadioButton* single_;
  QRadioButton* double_;
  QComboBox* delimiter_;
  QCheckBox* fieldNames_;
  QComboBox* rowDelimiter_;
  QCheckBox* utf8_;
  QLabel* dialectLabel_;
  QComboBox* dialect_;
  QCheckBox* go_;
  QLineEdit* goEvery_;
  QCheckBox* fullInsert_;
};

// A number typed into the wizard: unsigned decimal digits; anything else reads as 0.
int numberOf(const QString& text);

}  // namespace tabrix
