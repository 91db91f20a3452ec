#include "ui/filter_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "util/ascii.h"

namespace tabrix {
namespace {

QString userDateFormat(DateFormat dates) {
  const QString s = QString(QChar::fromLatin1(dates.separator));
  // A letter would read as a format letter; quoted it stays text.
  const QString sep = s.front().isLetter() ? "'" + s + "'" : s;
  if (dates.order == '0') return "MM" + sep + "dd" + sep + "yyyy";
  if (dates.order == '2') return "yyyy" + sep + "MM" + sep + "dd";
  return "dd" + sep + "MM" + sep + "yyyy";
}

FilterDialog::Editor editorFor(const Field& f) {
  switch (f.kind.valueClass) {
    case ValueClass::Number:
    case ValueClass::Integer:
    case ValueClass::Double: return FilterDialog::Editor::Number;
    case ValueClass::Date:
    case ValueClass::DateTime: return FilterDialog::Editor::Date;
    case ValueClass::Logical: return FilterDialog::Editor::Logical;
    default: return FilterDialog::Editor::Text;
  }
}

// The longest condition a row takes: the field's length, at least 19 characters.
int conditionLength(const Field& f) { return std::max<int>(f.length, 19); }

}  // namespace

FilterDialog::FilterDialog(const DbfTable& table, const std::vector<ConditionPair>& current, DateFormat dates,
                           QWidget* parent)
    : QDialog(parent), dateFormat_(userDateFormat(dates)) {
  setWindowTitle(tr("Filter"));
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
  auto* rowsWidget = new QWidget;
  auto* grid = new QGridLayout(rowsWidget);
  grid->setColumnStretch(3, 1);
  const int charWidth = fontMetrics().averageCharWidth();
  QWidget* firstFilled = nullptr;
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    if (f.kind.valueClass == ValueClass::NullFlags) continue;
    Row row;
    row.field = i;
    row.name = f.name;
    row.editor = editorFor(f);
    const auto pair = std::find_if(current.begin(), current.end(),
                                   [&](const ConditionPair& p) { return equalsIgnoringCase(p.field, f.name); });
    QString first = pair == current.end() ? QString() : QString::fromStdString(pair->condition);
    QString second;
    // Only rows with a range end split at the ','; a text row keeps its whole condition.
    if ((row.editor == Editor::Number || row.editor == Editor::Date) && first.contains(',')) {
      second = first.section(',', 1);
      first = first.section(',', 0, 0);
    }
    const int r = static_cast<int>(rows_.size());
    auto* label = new QLabel(QString::fromStdString(f.name), rowsWidget);
    grid->addWidget(label, r, 0);
    QWidget* focus = nullptr;
    switch (row.editor) {
      case Editor::Date: {
        const bool withTime = f.kind.valueClass == ValueClass::DateTime || f.length == 14;
        for (int k = 0; k < 2; ++k) {
          grid->addWidget(datePicker(row, k, withTime), r, 1 + k);
          const QDate date = QDate::fromString(k == 0 ? first : second, dateFormat_);
          row.dateOn[k]->setChecked(date.isValid());
          if (date.isValid()) row.date[k]->setDate(date);
        }
        focus = row.dateOn[0];
        break;
      }
      case Editor::Logical:
        row.logical = new QComboBox(rowsWidget);
        row.logical->setEditable(true);
        row.logical->addItems({"", "T", "F"});
        row.logical->setEditText(first);
        grid->addWidget(row.logical, r, 1);
        focus = row.logical;
        break;
      case Editor::Number:
      case Editor::Text: {
        const int editors = row.editor == Editor::Number ? 2 : 1;
        for (int k = 0; k < editors; ++k) {
          row.text[k] = new QLineEdit(k == 0 ? first : second, rowsWidget);
          row.text[k]->setMaxLength(conditionLength(f));
          row.text[k]->setFixedWidth(row.editor == Editor::Number ? 80 : std::min(200, charWidth * (f.length + 3)));
          grid->addWidget(row.text[k], r, 1 + k);
        }
        focus = row.text[0];
        break;
      }
    }
    label->setBuddy(focus);
    if (!firstFilled && !first.isEmpty()) {
      firstFilled = focus;
      if (row.text[0]) row.text[0]->selectAll();
    }
    rows_.push_back(row);
  }
  grid->setRowStretch(static_cast<int>(rows_.size()), 1);

  auto* scroll = new QScrollArea(this);
  scroll->setWidget(rowsWidget);
  scroll->setWidgetResizable(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(scroll, 1);
  layout->addWidget(buttons);
  if (firstFilled) firstFilled->setFocus();
  else if (!rows_.empty()) grid->itemAtPosition(0, 1)->widget()->setFocus();
  resize(620, std::min(520, 90 + 30 * static_cast<int>(rows_.size())));
}

// A tick for "a date" and the picker beside it.
QWidget* FilterDialog::datePicker(Row& row, int which, bool withTime) {
  auto* box = new QWidget;
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  row.dateOn[which] = new QCheckBox(box);
  row.date[which] = new QDateTimeEdit(QDateTime::currentDateTime(), box);
  row.date[which]->setDisplayFormat(withTime ? dateFormat_ + " HH:mm:ss" : dateFormat_);
  row.date[which]->setCalendarPopup(true);
  row.date[which]->setEnabled(false);
  connect(row.dateOn[which], &QCheckBox::toggled, row.date[which], &QWidget::setEnabled);
  layout->addWidget(row.dateOn[which]);
  layout->addWidget(row.date[which]);
  layout->addStretch(1);
  return box;
}

QString FilterDialog::dateText(const Row& row, int which) const {
  // The time of day never takes part in a date condition.
  return row.dateOn[which]->isChecked() ? row.date[which]->date().toString(dateFormat_) : QString();
}

std::vector<ConditionPair> FilterDialog::conditions() const {
  std::vector<ConditionPair> pairs;
  for (const Row& row : rows_) {
    QString first, second;
    switch (row.editor) {
      case Editor::Date:
        first = dateText(row, 0);
        second = dateText(row, 1);
        break;
      case Editor::Logical: first = row.logical->currentText(); break;
      case Editor::Number:
        first = row.text[0]->text().trimmed();
        second = row.text[1]->text().trimmed();
        break;
      case Editor::Text: first = row.text[0]->text(); break;
    }
    // A range end alone is no condition.
    if (first.isEmpty()) continue;
    if (!second.isEmpty()) first += "," + second;
    pairs.push_back({row.name, first.toStdString()});
  }
  return pairs;
}

}  // namespace tabrix
