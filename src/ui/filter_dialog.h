#pragma once
// "Filter": one row per field with an editor suited to its type (text, a
// number and a range end, two dates, a logical value); OK gives the fields'
// conditions in the command line's FIELD:condition form, dates in the
// user's order and separator.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QLineEdit>
#include <vector>

#include "dbf/dbf_table.h"
#include "platform/locale_info.h"
#include "select/field_condition.h"

namespace tabrix {

class FilterDialog : public QDialog {
  Q_OBJECT
 public:
  // Prefilled from current, the conditions a previous OK gave.
  FilterDialog(const DbfTable& table, const std::vector<ConditionPair>& current, DateFormat dates,
               QWidget* parent = nullptr);

  enum class Editor { Text, Number, Date, Logical };
  // One row's editors; the unused ones are null.
  struct Row {
    int field = 0;
    std::string name;
    Editor editor = Editor::Text;
    QLineEdit* text[2] = {nullptr, nullptr};
    QDateTimeEdit* date[2] = {nullptr, nullptr};
    QCheckBox* dateOn[2] = {nullptr, nullptr};  // a picker without its tick holds no date
    QComboBox* logical = nullptr;
  };
  const std::vector<Row>& rows() const { return rows_; }

  // A pair for every row with a condition; a range end follows a ','.
  std::vector<ConditionPair> conditions() const;

 private:
  QWidget* datePicker(Row& row, int which, bool withTime);
  QString dateText(const Row& row, int which) const;

  std::vector<Row> rows_;
  QString dateFormat_;  // the user's order and separator
};

}  // namespace tabrix
