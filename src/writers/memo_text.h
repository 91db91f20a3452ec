#pragma once
// The memo text of a field as every text output shows it.
#include <cstdint>
#include <string>

#include "dbf/dbf_table.h"
#include "platform/code_pages.h"

namespace tabrix {

// Reads the memo of field i of record into text (ANSI: an OEM table's memo is
// translated). Text is empty when the field points at no memo; a memo that
// cannot be read whole gives the part there is and counts as lost in the
// table (readFieldMemo). Reuses text's storage.
void readMemoText(DbfTable& table, int i, const uint8_t* record, const CodePageTables& codePages,
                  std::string& text);

}  // namespace tabrix
