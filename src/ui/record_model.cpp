#include "ui/record_model.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace tabrix {
namespace {

// A red cross, the mark of a deleted record.
QIcon makeDeletedMark() {
  QPixmap pixmap(15, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 30, 30), 2.5));
  painter.drawLine(3, 4, 12, 13);
  painter.drawLine(12, 4, 3, 13);
  return QIcon(pixmap);
}

bool rightAligned(char type) {
  return std::string_view("NIYBFO+").find(type) != std::string_view::npos;
}

}  // namespace

RecordModel::RecordModel(QObject* parent) : QAbstractTableModel(parent), deletedMark_(makeDeletedMark()) {}

RecordModel::~RecordModel() { closeConverter(); }

void RecordModel::closeConverter() {
  if (toUtf8_ != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf8_);
  toUtf8_ = reinterpret_cast<iconv_t>(-1);
}

void RecordModel::showTable(DbfTable& table, const ConversionOptions& options) {
  beginResetModel();
  files_.clear();
  table_ = &table;
  plan_ = planColumns(table, options.columns);
  // The same pages and value forms a conversion of this table uses.
  const TextPages pages = table.textPagesNamed() ? table.textPages() : TextPages{options.ansiCodePage, options.oemCodePage};
  pages_ = buildCodePageTables(pages.ansi, pages.oem);
  decode_ = DecodeOptions{};
  decode_.dateFormat = {options.dateOrder, options.dateSeparator};
  decode_.skipSeconds = options.skipSeconds;
  decode_.dropDecimals = options.dropDecimals;
  decode_.oemToAnsi = &pages_.oemToAnsi;
  closeConverter();
  toUtf8_ = iconv_open("UTF-8", iconvNameOf(pages.ansi).c_str());
  text_.assign(plan_.textCapacity, '\0');
  endResetModel();
}

void RecordModel::showFiles(std::vector<std::string> files) {
  beginResetModel();
  table_ = nullptr;
  plan_ = {};
  files_ = std::move(files);
  endResetModel();
}

int RecordModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  if (!table_) return static_cast<int>(files_.size());
  return static_cast<int>(std::min<uint64_t>(table_->recordCount(), kMaxRows));
}

int RecordModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return table_ ? static_cast<int>(plan_.columns.size()) : 1;
}

QString RecordModel::toUnicode(const char* text, size_t length) const {
  if (toUtf8_ == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(text, static_cast<qsizetype>(length));
  utf8_.assign(length * 4 + 4, '\0');
  char* in = const_cast<char*>(text);
  char* out = utf8_.data();
  size_t inLeft = length;
  size_t outLeft = utf8_.size();
  iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0 && iconv(toUtf8_, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
    // A byte the page does not define shows as a question mark.
    if (outLeft == 0) break;
    *out++ = '?';
    --outLeft;
    ++in;
    --inLeft;
  }
  return QString::fromUtf8(utf8_.data(), static_cast<qsizetype>(out - utf8_.data()));
}

QVariant RecordModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (!table_) {
    if (role != Qt::DisplayRole) return {};
    return QString::fromStdString(files_[static_cast<size_t>(index.row())]);
  }
  const PlannedColumn& column = plan_.columns[static_cast<size_t>(index.column())];
  const Field& field = table_->field(column.field);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment((rightAligned(field.type) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
  if (role != Qt::DisplayRole && !(role == Qt::DecorationRole && index.column() == 0)) return {};
  const uint8_t* record = table_->readRecordAt(static_cast<uint64_t>(index.row()));
  if (!record) return {};
  if (role == Qt::DecorationRole) return record[0] == '*' ? QVariant(deletedMark_) : QVariant();
  const size_t length = decodeFieldText(*table_, column.field, record, decode_, text_.data());
  return toUnicode(text_.data(), length);
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (!table_) return tr("Source file");
  return QString::fromStdString(plan_.columns[static_cast<size_t>(section)].title);
}

}  // namespace tabrix
