#pragma once
// "Fields Info": the table's fields with type, size and decimals, each with a
// check box; the unticked ones are left out of the conversion.
#include <QDialog>
#include <QStatusBar>
#include <QTreeWidget>

#include "dbf/dbf_table.h"
#include "select/column_plan.h"

namespace tabrix {

class FieldsDialog : public QDialog {
  Q_OBJECT
 public:
  // Ticks every field the current choice keeps.
  FieldsDialog(const DbfTable& table, const ColumnChoice& current, QWidget* parent = nullptr);

  QTreeWidget* list() const { return list_; }
  QStatusBar* statusBar() const { return status_; }
  void setAllTicked(bool ticked);
  bool anyExcluded() const;
  // The ticked fields by name in table order; with none ticked, every field excluded.
  ColumnChoice choice() const;

 private:
  QTreeWidget* list_;
  QStatusBar* status_;
  int fieldCount_;
  std::vector<std::string> names_;  // one per row, as the table spells it
};

}  // namespace tabrix
