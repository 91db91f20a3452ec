#pragma once
// Which columns an output shows, under which titles, and what each holds:
// made once per table and job, then read by the writers, the record tests
// and the sort. The table itself stays as the file has it.
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "util/result.h"

namespace tabrix {

// The user's choice of columns: all of them, only the named ones, or all but
// the named ones. Names match field names without regard to case.
struct ColumnChoice {
  std::vector<std::string> names;
  std::vector<std::string> titles;  // one per name: the title a kept column takes
  bool exclude = false;
  // Field indexes in the order to write them (the wizard's arrangement); empty: table order.
  std::vector<int> order;
};

struct PlannedColumn {
  int field = 0;  // index in the table
  const Field* source = nullptr;
  std::string title;
  ValueClass valueClass = ValueClass::Text;
  uint16_t width = 0;  // the field's length in the record
  uint8_t decimals = 0;
  FieldTextDecoder decode = nullptr;  // decodeFieldText for this field, chosen once
  NullBit nullBit;                    // the value is NULL when isNull(nullBit, record)

  const FieldKind& kind() const { return source->kind; }
};

struct ColumnPlan {
  std::vector<PlannedColumn> columns;  // in the order they are written
  // Bytes a buffer must hold to decode any planned column.
  size_t textCapacity = 64;

  bool empty() const { return columns.empty(); }
};

// The columns of table the choice keeps, in the chosen order; the null flags field never shows.
ColumnPlan planColumns(const DbfTable& table, const ColumnChoice& choice);

// "/COLUMNS:" items: NAME or NAME:TITLE separated by ','; trailing blanks removed.
void parseColumnItems(std::string_view items, std::vector<std::string>& names, std::vector<std::string>& titles);
// A file of column names, one per line.
Result readColumnsList(const std::string& path, std::vector<std::string>& names, std::vector<std::string>& titles);

}  // namespace tabrix
