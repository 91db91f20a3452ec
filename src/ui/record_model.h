#pragma once
// The record preview of the second page: a table model over an open table
// that reads and decodes only the rows the view asks for, so a table of
// millions of records shows at once. In folder mode it lists the tables.
#include <QAbstractTableModel>
#include <QIcon>
#include <iconv.h>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "dbf/field_decoder.h"
#include "platform/code_pages.h"
#include "select/column_plan.h"

namespace tabrix {

class RecordModel : public QAbstractTableModel {
 public:
  // Rows beyond this many are not offered.
  static constexpr uint64_t kMaxRows = 100'000'000;

  explicit RecordModel(QObject* parent = nullptr);
  ~RecordModel() override;

  // The columns the options keep, values as a conversion decodes them.
  // table must outlive the model or the next show call.
  void showTable(DbfTable& table, const ConversionOptions& options);
  void showFiles(std::vector<std::string> files);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QString toUnicode(const char* text, size_t length) const;
  void closeConverter();

  DbfTable* table_ = nullptr;
  ColumnPlan plan_;
  DecodeOptions decode_;
  CodePageTables pages_;
  iconv_t toUtf8_ = reinterpret_cast<iconv_t>(-1);
  std::vector<std::string> files_;
  QIcon deletedMark_;
  mutable std::vector<char> text_;
  mutable std::string utf8_;
};

}  // namespace tabrix
