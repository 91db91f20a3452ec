#pragma once
// The memo text of a field as every text output shows it.
#include <cstdint>
#include <string>

#include "dbf/dbf_table.h"
#include "platform/code_pages.h"

namespace tabrix {

// Reads the memo of field i of record into text (ANSI: an OEM table's memo is
// translated). Text is empty when the block number is 0, the memo is missing,
// unreadable or empty, or the table has no memo file. Reuses text's storage.
void readMemoText(DbfTable& table, int i, const uint8_t* record, const CodePageTables& codePages,
                  std::string& text);

}  // namespace tabrix
