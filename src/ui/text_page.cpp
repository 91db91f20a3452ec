#include "ui/text_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QVBoxLayout>

namespace tabrix {

int numberOf(const QString& text) {
  bool ok = false;
  const uint value = text.trimmed().toUInt(&ok, 10);
  return ok && value <= static_cast<uint>(std::numeric_limits<int>::max()) ? static_cast<int>(value) : 0;
}

TextPage::TextPage(WizardState& state, QWidget* parent)
    : OptionPage(state, parent),
      quoteAll_(new QCheckBox(tr("All fields in quotes"), this)),
      single_(new QRadioButton(tr("Single"), this)),
      double_(new QRadioButton(tr("Double"), this)),
      delimiter_(new QComboBox(this)),
      fieldNames_(new QCheckBox(tr("Export field names"), this)),
      rowDelimiter_(new QComboBox(this)),
      utf8_(new QCheckBox(tr("UTF-8"), this)),
      dialectLabel_(new QLabel(tr("SQL Syntax"), this)),
      dialect_(new QComboBox(this)),
      go_(new QCheckBox(tr("Add 'Go' per "), this)),
      goEvery_(new QLineEdit(QStringLiteral("100"), this)),
      fullInsert_(new QCheckBox(tr("Full INSERT Statement"), this)) {
  setTitle(tr("Tabrix"));
  setSubTitle(tr("Options"));
  delimiter_->setEditable(true);
  delimiter_->lineEdit()->setMaxLength(5);
  delimiter_->addItems({",", ";", ":", "|", "tab", "space"});
  rowDelimiter_->addItems({"CRLF", "LF"});
  dialect_->addItems({"Ansi", "Oracle", "MySQL", "MS SQL", "PostgreSQL"});
  goEvery_->setValidator(new QIntValidator(0, 1'000'000'000, goEvery_));
  auto* quoteGroup = new QButtonGroup(this);
  quoteGroup->addButton(single_);
  quoteGroup->addButton(double_);
  auto* quotes = new QGroupBox(tr("Quotes"), this);
  auto* quoteRow = new QHBoxLayout(quotes);
  quoteRow->addWidget(single_);
  quoteRow->addWidget(double_);
  auto* delimiterLabel = new QLabel(tr("Fields delimiter"), this);
  delimiterLabel->setBuddy(delimiter_);
  auto* rowLabel = new QLabel(tr("Row delimiter"), this);
  rowLabel->setBuddy(rowDelimiter_);
  dialectLabel_->setBuddy(dialect_);

  auto* grid = new QGridLayout;
  grid->addWidget(delimiterLabel, 0, 0);
  grid->addWidget(delimiter_, 0, 1);
  grid->addWidget(rowLabel, 1, 0);
  grid->addWidget(rowDelimiter_, 1, 1);
  grid->addWidget(quoteAll_, 2, 0, 1, 2);
  grid->addWidget(quotes, 3, 0, 1, 2);
  grid->addWidget(fieldNames_, 4, 0, 1, 2);
  grid->addWidget(utf8_, 5, 0, 1, 2);
  grid->addWidget(dialectLabel_, 0, 2);
  grid->addWidget(dialect_, 0, 3);
  grid->addWidget(go_, 1, 2);
  grid->addWidget(goEvery_, 1, 3);
  grid->addWidget(fullInsert_, 2, 2, 1, 2);
  grid->setColumnStretch(4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(viewAfter());
  buttons->addStretch(1);
  buttons->addWidget(commandLineButton());
  auto* page = new QVBoxLayout(this);
  page->addLayout(grid);
  page->addStretch(1);
  page->addLayout(buttons);
  page->addWidget(progressBar());

  // Quoting every field needs a quote that can hold any text; SQL keeps its own.
  connect(quoteAll_, &QCheckBox::toggled, this, [this](bool on) {
    if (on && !sql()) double_->setChecked(true);
  });
}

void TextPage::initializePage() {
  const ConversionOptions& o = state_.options;
  rowDelimiter_->setCurrentIndex(o.rowDelimiter == "\n" ? 1 : 0);
  for (QWidget* w : std::initializer_list<QWidget*>{go_, goEvery_, fullInsert_, dialect_, dialectLabel_}) w->setVisible(sql());
  delimiter_->setEnabled(!sql());
  fieldNames_->setText(sql() ? tr("CREATE TABLE") : tr("Export field names"));
  dialect_->setCurrentIndex(static_cast<int>(o.sqlDialect));
  fullInsert_->setChecked(sql() && o.insertWithColumnNames);
  go_->setChecked(o.sqlAddGo);
  goEvery_->setText(QString::number(o.sqlGoEvery));
  fieldNames_->setChecked(o.exportFieldNames);
  viewAfter()->setChecked(o.openWhenDone);
  {
    const QSignalBlocker quiet(quoteAll_);
    quoteAll_->setChecked(o.quoteAllFields);
  }
  // SQL literals are quoted with apostrophes.
  if (sql() || o.quoteChar == '\'') single_->setChecked(true);
  else if (o.quoteChar == '"') double_->setChecked(true);
  utf8_->setChecked(o.utf8);
  const std::string& d = o.delimiter;
  if (!d.empty() && d[0] != ' ' && d[0] != '\t') delimiter_->setEditText(QString::fromStdString(d));
  else delimiter_->setCurrentIndex(delimiter_->findText(d == "\t" ? "tab" : d == " " ? "space" : ","));
  if (o.outputFormat == OutputFormat::Tsv) delimiter_->setCurrentIndex(delimiter_->findText("tab"));
}

bool TextPage::validatePage() {
  ConversionOptions& o = state_.options;
  o.quoteAllFields = quoteAll_->isChecked();
  o.openWhenDone = viewAfter()->isChecked();
  o.quoteChar = single_->isChecked() ? '\'' : double_->isChecked() ? '"' : '\0';
  o.rowDelimiter = rowDelimiter_->currentIndex() == 1 ? "\n" : "\r\n";
  o.delimiter = delimiter_->currentText().left(5).toStdString();
  o.sqlAddGo = go_->isChecked();
  if (o.sqlAddGo) o.sqlGoEvery = numberOf(goEvery_->text());
  o.exportFieldNames = fieldNames_->isChecked();
  o.utf8 = utf8_->isChecked();
  o.insertWithColumnNames = fullInsert_->isChecked();
  if (sql()) o.sqlDialect = static_cast<SqlDialect>(dialect_->currentIndex());
  return true;
}

}  // namespace tabrix
