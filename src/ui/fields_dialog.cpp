#include "ui/fields_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "util/ascii.h"

namespace tabrix {
namespace {

bool named(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return equalsIgnoringCase(n, name); });
}

bool keeps(const ColumnChoice& choice, const std::string& name) {
  if (choice.names.empty()) return true;
  return named(choice.names, name) != choice.exclude;
}

}  // namespace

FieldsDialog::FieldsDialog(const DbfTable& table, const ColumnChoice& current, QWidget* parent)
    : QDialog(parent), list_(new QTreeWidget(this)), status_(new QStatusBar(this)), fieldCount_(table.fieldCount()) {
  setWindowTitle(tr("Fields Info"));
  list_->setHeaderLabels({tr("Name"), tr("Type"), tr("Size"), tr("Dec")});
  list_->setRootIsDecorated(false);
  list_->setSortingEnabled(false);
  list_->setAlternatingRowColors(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  const int widths[] = {120, 120, 60, 60};
  for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    if (f.kind.valueClass == ValueClass::NullFlags) continue;
    auto* item = new QTreeWidgetItem(list_, {QString::fromStdString(f.name), QString::fromUtf8(f.kind.typeName),
                                             QString::number(f.length), QString::number(f.decimals)});
    names_.push_back(f.name);
    item->setCheckState(0, keeps(current, f.name) ? Qt::Checked : Qt::Unchecked);
  }
  status_->showMessage(tr("Fields %1").arg(fieldCount_));
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) status_->showMessage(tr("Field %1/%2").arg(list_->indexOfTopLevelItem(item) + 1).arg(fieldCount_));
  });

  auto* selectAll = new QPushButton(tr("Select All"), this);
  auto* unselectAll = new QPushButton(tr("&Unselect All"), this);
  connect(selectAll, &QPushButton::clicked, this, [this] { setAllTicked(true); });
  connect(unselectAll, &QPushButton::clicked, this, [this] { setAllTicked(false); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->addButton(selectAll, QDialogButtonBox::ActionRole);
  buttons->addButton(unselectAll, QDialogButtonBox::ActionRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  layout->addWidget(status_);
  resize(420, 360);
}

void FieldsDialog::setAllTicked(bool ticked) {
  for (int r = 0; r < list_->topLevelItemCount(); ++r)
    list_->topLevelItem(r)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

bool FieldsDialog::anyExcluded() const {
  for (int r = 0; r < list_->topLevelItemCount(); ++r)
    if (list_->topLevelItem(r)->checkState(0) != Qt::Checked) return true;
  return false;
}

ColumnChoice FieldsDialog::choice() const {
  ColumnChoice kept, all;
  all.exclude = true;
  for (int r = 0; r < list_->topLevelItemCount(); ++r) {
    const QTreeWidgetItem* item = list_->topLevelItem(r);
    const std::string& name = names_[static_cast<size_t>(r)];
    all.names.push_back(name);
    all.titles.push_back(name);
    if (item->checkState(0) != Qt::Checked) continue;
    kept.names.push_back(name);
    kept.titles.push_back(name);
  }
  // An empty list means every column, so no column at all is every field excluded.
  return kept.names.empty() && !all.names.empty() ? all : kept;
}

}  // namespace tabrix
