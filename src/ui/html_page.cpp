#include "ui/html_page.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace tabrix {
namespace {

// The options hold colours as 0x00BBGGRR, red in the low byte.
QColor colourOf(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

// The button shows its colour as a swatch.
void paintSwatch(QPushButton* button, uint32_t rgb) {
  QPixmap swatch(40, 14);
  swatch.fill(colourOf(rgb));
  button->setIcon(QIcon(swatch));
  button->setIconSize(swatch.size());
}

}  // namespace

HtmlPage::HtmlPage(WizardState& state, QWidget* parent)
    : OptionPage(state, parent),
      title_(new QLineEdit(this)),
      table_(new QRadioButton(tr("&Table"), this)),
      form_(new QRadioButton(tr("&Form"), this)),
      recordNumber_(new QCheckBox(tr("&Save record number as first column of the table"), this)),
      paging_(new QCheckBox(tr("&Maximum records on the one page"), this)),
      perPage_(new QSpinBox(this)),
      border_(new QSpinBox(this)),
      textColourButton_(new QPushButton(this)),
      backgroundButton_(new QPushButton(this)) {
  setTitle(tr("Tabrix"));
  setSubTitle(tr("HTML options"));
  title_->setMaxLength(254);
  perPage_->setRange(0, 1'000'000);
  border_->setRange(0, 100);
  auto* group = new QButtonGroup(this);
  group->addButton(table_);
  group->addButton(form_);
  viewAfter()->setText(tr("&View out when export done"));

  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  title_->setMinimumWidth(420);
  form->addRow(tr("&Title"), title_);
  auto* layoutRow = new QHBoxLayout;
  layoutRow->addWidget(table_);
  layoutRow->addWidget(form_);
  layoutRow->addStretch(1);
  form->addRow(layoutRow);
  form->addRow(recordNumber_);
  auto* pagingRow = new QHBoxLayout;
  pagingRow->addWidget(paging_);
  pagingRow->addWidget(perPage_);
  pagingRow->addStretch(1);
  form->addRow(pagingRow);
  form->addRow(tr("&Border"), border_);
  form->addRow(tr("Text color"), textColourButton_);
  form->addRow(tr("Background"), backgroundButton_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(viewAfter());
  buttons->addStretch(1);
  buttons->addWidget(commandLineButton());
  auto* page = new QVBoxLayout(this);
  page->addLayout(form);
  page->addStretch(1);
  page->addLayout(buttons);
  page->addWidget(progressBar());

  connect(textColourButton_, &QPushButton::clicked, this, [this] { pickColour(textRgb_, textColourButton_); });
  connect(backgroundButton_, &QPushButton::clicked, this, [this] { pickColour(backgroundRgb_, backgroundButton_); });
}

void HtmlPage::initializePage() {
  const ConversionOptions& o = state_.options;
  table_->setChecked(true);
  perPage_->setValue(50);
  border_->setValue(1);
  const std::string& source = state_.folderMode ? state_.shell.sourceFolder : state_.table->path();
  title_->setText(QFileInfo(QString::fromStdString(source)).fileName());
  viewAfter()->setChecked(o.openWhenDone);
  setTextColour(o.htmlTextRgb);
  setBackgroundColour(o.htmlBackgroundRgb);
}

void HtmlPage::setTextColour(uint32_t rgb) {
  textRgb_ = rgb;
  paintSwatch(textColourButton_, rgb);
}

void HtmlPage::setBackgroundColour(uint32_t rgb) {
  backgroundRgb_ = rgb;
  paintSwatch(backgroundButton_, rgb);
}

void HtmlPage::pickColour(uint32_t& rgb, QPushButton* button) {
  const QColor chosen = QColorDialog::getColor(colourOf(rgb), this);
  if (!chosen.isValid()) return;
  rgb = (static_cast<uint32_t>(chosen.blue()) << 16) | (static_cast<uint32_t>(chosen.green()) << 8) |
        static_cast<uint32_t>(chosen.red());
  paintSwatch(button, rgb);
}

bool HtmlPage::validatePage() {
  ConversionOptions& o = state_.options;
  o.openWhenDone = viewAfter()->isChecked();
  o.htmlBorder = border_->value();
  o.htmlPaging = paging_->isChecked();
  if (o.htmlPaging) o.htmlMaxPerPage = perPage_->value();
  o.htmlAsForm = form_->isChecked();
  o.htmlRecordNumber = recordNumber_->isChecked();
  o.htmlTitle = title_->text().toStdString();
  o.htmlTextRgb = textRgb_;
  o.htmlBackgroundRgb = backgroundRgb_;
  return true;
}

}  // namespace tabrix
