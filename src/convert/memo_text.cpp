#include "convert/memo_text.h"

#include "dbf/field_decoder.h"

namespace tabrix {

void readMemoText(DbfTable& table, int i, const uint8_t* record, const CodePageTables& codePages,
                  std::string& text) {
  text.clear();
  const MemoRef ref = memoBlockOf(table, i, record);
  MemoFile* memo = table.memo();
  if (!memo || ref.block == 0) return;
  // An SMT table stores the length beside the block number; the others keep it in the memo file.
  if (isSmt(table.version()) ? ref.length == 0 : memo->memoLength(ref.block) == 0) return;
  text.assign(memo->readMemo(ref.block, ref.length));
  if (table.sourceIsOem()) translateBytes(codePages.oemToAnsi, text.data(), text.size());
}

}  // namespace tabrix
