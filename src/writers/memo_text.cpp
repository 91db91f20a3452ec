#include "writers/memo_text.h"

#include "dbf/field_decoder.h"

namespace tabrix {

void readMemoText(DbfTable& table, int i, const uint8_t* record, const CodePageTables& codePages,
                  std::string& text) {
  text.assign(readFieldMemo(table, i, record).text);
  if (table.sourceIsOem()) translateBytes(codePages.oemToAnsi, text.data(), text.size());
}

}  // namespace tabrix
