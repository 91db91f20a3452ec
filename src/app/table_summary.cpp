#include "app/table_summary.h"

#include <fmt/format.h>

#include <langinfo.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "dbf/field_types.h"
#include "platform/code_pages.h"
#include "platform/locale_info.h"

namespace tabrix {

int printTableSummary(const std::string& path, int maxRecords, std::FILE* out, std::FILE* err) {
  DbfTable table;
  std::string error;
  if (!table.open(path, TableOpenOptions{}, error)) {
    fmt::print(err, "{}:{}\n", path, error);
    return 1;
  }
  fmt::print(out, "Table: {}\nVersion: 0x{:02X}  Records: {}  Header length: {}  Record length: {}\n", path,
             table.version(), table.recordCount(), table.headerLength(), table.recordLength());
  if (table.isShort())
    fmt::print(err, "{}: the header counts {} records, the file holds {}\n", path, table.headerRecordCount(),
               table.recordCount());
  if (MemoFile* memo = table.memo())
    fmt::print(out, "Memo file: {} (block size {})\n", memo->isOpen() ? memo->path() : "(none)", memo->blockSize());
  fmt::print(out, "\n{:<32} {:<4} {:<14} {:>6} {:>4}\n", "Field", "Type", "Name", "Length", "Dec");
  size_t capacity = 0;
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    fmt::print(out, "{:<32} {:<4} {:<14} {:>6} {:>4}\n", f.name, f.type, typeNameOf(f.type), f.length, f.decimals);
    capacity = std::max(capacity, decodedTextCapacity(f));
  }
  DecodeOptions options;
  options.dateFormat = {'2', '-'};
  std::vector<char> text(capacity);
  // Table text is in the ANSI code page; a UTF-8 terminal gets it converted.
  std::unique_ptr<Utf8Converter> utf8;
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
    utf8 = std::make_unique<Utf8Converter>(environmentCodePages().ansi);
  std::string converted;
  fmt::print(out, "\n");
  for (int n = 0; n < maxRecords; ++n) {
    const uint8_t* record = table.readNextRecord();
    if (!record) break;
    fmt::print(out, "{}{}", record[0] == '*' ? '*' : ' ', n + 1);
    for (int i = 0; i < table.fieldCount(); ++i) {
      if (table.excludedFields[static_cast<size_t>(i)]) continue;
      const size_t len = decodeFieldText(table, i, record, options, text.data());
      std::string_view value(text.data(), len);
      if (table.field(i).type == 'M' && table.memo()) {
        const MemoRef ref = memoBlockOf(table, i, record);
        value = table.memo()->readMemo(ref.block, ref.length);
      }
      while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
      if (value.size() > 40) value = value.substr(0, 40);
      std::string shown(value);
      if (utf8) {
        converted.resize(Utf8Converter::capacityFor(shown.size()));
        converted.resize(utf8->convert(shown.data(), shown.size(), converted.data()));
        shown = converted;
      }
      std::replace_if(shown.begin(), shown.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
      fmt::print(out, " | {}", shown);
    }
    fmt::print(out, "\n");
  }
  return 0;
}

}  // namespace tabrix
