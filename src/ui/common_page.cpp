#include "ui/common_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/fields_dialog.h"
#include "ui/filter_dialog.h"
#include "ui/wizard.h"

namespace tabrix {
namespace {

bool isSpreadsheet(OutputFormat f) { return f == OutputFormat::Xls || f == OutputFormat::Xlsx; }

}  // namespace

CommonPage::CommonPage(WizardState& state, QWidget* parent)
    : OptionPage(state, parent),
      preview_(new QTableView(this)),
      model_(new RecordModel(this)),
      skipDeleted_(new QRadioButton(tr("Skip deleted records"), this)),
      onlyDeleted_(new QRadioButton(tr("Only deleted records"), this)),
      exportAll_(new QRadioButton(tr("Export All"), this)),
      onlyStructure_(new QCheckBox(tr("Only file structure"), this)),
      reverse_(new QCheckBox(tr("Reverse order"), this)),
      source_(new QLabel(this)),
      oem_(new QCheckBox(tr("OEM charset"), this)),
      sort_(new QCheckBox(tr("Sort by"), this)),
      sortField_(new QComboBox(this)),
      skipEmpty_(new QCheckBox(tr("Skip empty records"), this)),
      excelXml_(new QCheckBox(tr("XML-based (Excel 2003)"), this)),
      addSheet_(new QCheckBox(tr("Add sheet to existing file"), this)),
      columns_(new QPushButton(tr("&Columns..."), this)),
      filter_(new QPushButton(tr("&Filter..."), this)) {
  setTitle(tr("Tabrix"));
  setSubTitle(tr("Common options"));
  preview_->setModel(model_);
  preview_->setSelectionBehavior(QAbstractItemView::SelectRows);
  preview_->setSelectionMode(QAbstractItemView::SingleSelection);
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  preview_->verticalHeader()->setDefaultSectionSize(preview_->fontMetrics().height() + 6);
  // Fixed row heights and no resizing to contents: the view then asks only for the rows it shows.
  preview_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  preview_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* deletedGroup = new QButtonGroup(this);
  for (QRadioButton* b : {skipDeleted_, onlyDeleted_, exportAll_}) deletedGroup->addButton(b);

  auto* left = new QVBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{skipDeleted_, onlyDeleted_, exportAll_, onlyStructure_, reverse_,
                                                    skipEmpty_, oem_})
    left->addWidget(w);
  auto* sortRow = new QHBoxLayout;
  sortRow->addWidget(sort_);
  sortRow->addWidget(sortField_, 1);
  left->addLayout(sortRow);
  auto* right = new QVBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{columns_, filter_, excelXml_, addSheet_, viewAfter(), commandLineButton()})
    right->addWidget(w);
  right->addStretch(1);
  auto* options = new QHBoxLayout;
  options->addLayout(left, 1);
  options->addLayout(right);
  auto* page = new QVBoxLayout(this);
  page->addWidget(source_);
  page->addWidget(preview_, 1);
  page->addWidget(progressBar());
  page->addLayout(options);

  connect(oem_, &QCheckBox::toggled, this, &CommonPage::flipOem);
  connect(columns_, &QPushButton::clicked, this, &CommonPage::chooseColumns);
  connect(filter_, &QPushButton::clicked, this, &CommonPage::chooseConditions);
}

bool CommonPage::leadsToMorePages() const { return nextId() != -1; }

int CommonPage::nextId() const {
  switch (state_.options.outputFormat) {
    case OutputFormat::Text:
    case OutputFormat::Csv:
    case OutputFormat::Sql:
    case OutputFormat::Tsv: return Wizard::TextPageId;
    case OutputFormat::Html: return Wizard::HtmlPageId;
    default: return -1;
  }
}

const DbfTable* CommonPage::dialogTable(DbfTable& scratch) const {
  if (state_.table) return state_.table.get();
  if (!state_.tables.empty() && scratch.open(state_.tables.front(), tableOpenOptions(state_.options))) return &scratch;
  return nullptr;
}

void CommonPage::initializePage() {
  const ConversionOptions& o = state_.options;
  sortField_->clear();
  DbfTable first;
  // In folder mode the sort list offers the fields of the first table.
  const DbfTable* table = dialogTable(first);
  if (table)
    for (int i = 0; i < table->fieldCount(); ++i) sortField_->addItem(QString::fromStdString(table->field(i).name));
  const int stored = sortField_->findText(QString::fromStdString(o.sortFieldName), Qt::MatchFixedString);
  sortField_->setCurrentIndex(stored >= 0 ? stored : 0);
  sort_->setChecked(o.sortEnabled && stored >= 0);

  excelXml_->setVisible(isSpreadsheet(o.outputFormat));
  addSheet_->setVisible(isSpreadsheet(o.outputFormat));
  excelXml_->setChecked(o.excelAsXml);
  addSheet_->setChecked(o.addToExisting);
  const bool more = leadsToMorePages();
  const bool dbfOutput = o.outputFormat == OutputFormat::DBase3 || o.outputFormat == OutputFormat::DBase4 ||
                         o.outputFormat == OutputFormat::VisualFoxPro;
  (!more && dbfOutput ? exportAll_ : skipDeleted_)->setChecked(true);
  viewAfter()->setVisible(!more);
  viewAfter()->setChecked(o.openWhenDone);
  commandLineButton()->setVisible(!more);
  // The wizard offers no way back from the text and HTML pages.
  setCommitPage(more);
  onlyStructure_->setChecked(o.onlyStructure);
  reverse_->setChecked(o.reverseOrder);
  skipEmpty_->setChecked(o.skipEmpty);
  {
    const QSignalBlocker quiet(oem_);
    oem_->setChecked(state_.table ? state_.table->sourceIsOem() : o.sourceIsOem);
  }
  source_->setText(QString::fromStdString(state_.folderMode ? state_.shell.sourceFolder : state_.table->path()));
  showPreview();
}

void CommonPage::showPreview() {
  if (state_.folderMode) model_->showFiles(state_.tables);
  else model_->showTable(*state_.table, state_.options);
  const QFontMetrics metrics = preview_->fontMetrics();
  if (state_.folderMode) {
    preview_->setColumnWidth(0, 320);
    return;
  }
  // As wide as the title, or as the field's length in average characters when that is wider.
  const ColumnPlan plan = planColumns(*state_.table, state_.options.columns);
  for (int c = 0; c < model_->columnCount(); ++c) {
    const QString title = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const Field& field = *plan.columns[static_cast<size_t>(c)].source;
    const int characters = (field.type == 'D' || field.type == 'T' || field.type == '@') ? 15 : std::min<int>(field.length, 60);
    const int titleWidth = metrics.horizontalAdvance(title) + (title.size() <= 3 ? 35 : 32);
    preview_->setColumnWidth(c, std::max(titleWidth, characters * metrics.averageCharWidth()));
  }
  if (model_->rowCount() > 0) preview_->selectRow(0);
}

// The table is read again with its text taken as OEM (or not), and the preview follows.
void CommonPage::flipOem(bool on) {
  state_.options.sourceIsOem = on;
  if (state_.folderMode || !state_.table) return;
  auto table = std::make_unique<DbfTable>();
  if (!table->open(state_.table->path(), tableOpenOptions(state_.options))) return;
  model_->showFiles({});
  state_.table = std::move(table);
  showPreview();
}

// The unticked fields leave the conversion and the preview.
void CommonPage::chooseColumns() {
  DbfTable first;
  const DbfTable* table = dialogTable(first);
  if (!table) return;
  FieldsDialog dialog(*table, state_.options.columns, this);
  if (runDialog(dialog) != QDialog::Accepted) return;
  const bool excluded = dialog.anyExcluded();
  state_.columnsChosen = state_.columnsChosen || excluded;
  state_.options.columns = state_.columnsChosen ? dialog.choice() : ColumnChoice{};
  model_->showFiles({});
  showPreview();
}

// The conditions hold for every table of a folder that has fields of those names.
void CommonPage::chooseConditions() {
  DbfTable first;
  const DbfTable* table = dialogTable(first);
  if (!table) return;
  const DateFormat dates{state_.options.dateOrder, state_.options.dateSeparator};
  FilterDialog dialog(*table, state_.options.fieldConditions, dates, this);
  if (runDialog(dialog) == QDialog::Accepted) state_.options.fieldConditions = dialog.conditions();
}

// The columns and conditions belong to the table page 1 opened.
void CommonPage::cleanupPage() {
  state_.options.columns = {};
  state_.options.fieldConditions.clear();
  state_.columnsChosen = false;
  model_->showFiles({});
  state_.table.reset();
  state_.tables.clear();
  state_.chosenFormat = 0;
}

bool CommonPage::validatePage() {
  ConversionOptions& o = state_.options;
  o.onlyStructure = onlyStructure_->isChecked();
  o.reverseOrder = reverse_->isChecked();
  o.skipDeleted = skipDeleted_->isChecked();
  o.onlyDeleted = onlyDeleted_->isChecked();
  o.sortEnabled = sort_->isChecked() && sortField_->count() > 0;
  o.sortFieldName = sortField_->currentText().toStdString();
  o.sortField = sortField_->currentIndex();
  o.skipEmpty = skipEmpty_->isChecked();
  o.sourceIsOem = oem_->isChecked();
  if (!leadsToMorePages()) {
    o.excelAsXml = excelXml_->isChecked();
    o.addToExisting = addSheet_->isChecked();
    o.openWhenDone = viewAfter()->isChecked();
  }
  return true;
}

}  // namespace tabrix
