// table_dump: opens one DBF table with the reader and prints what it sees as
// one JSON document on stdout, for check_corpus.py to compare with independent
// readers.
//
//   table_dump [--max N] TABLE
//
// On failure: {"ok":false,"error":"..."} (exit status 0: a refused table is an
// answer, not a crash). On success: version, header and walkable record
// counts, the memo file opened, the field list and up to N records (all by
// default), each with its deletion flag byte, the text of every field and the
// memo of every memo field.
//
// Text is byte-transparent: every byte of a field value, memo or name becomes
// the code point of the same number (latin-1), escaped for JSON where needed,
// so the checker recovers the exact bytes with str.encode("latin-1").
// Dates come out as YYYY-MM-DD (date order year-month-day, separator '-').
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"

namespace {

using tabrix::DbfTable;

// Appends bytes as a JSON string, one code point per byte.
void appendJsonString(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == '"') out += "\\\"";
    else if (b == '\\') out += "\\\\";
    else if (b < 0x20 || b >= 0x7F) fmt::format_to(std::back_inserter(out), "\\u{:04x}", b);
    else out += ch;
  }
  out += '"';
}

// Fields whose value lives in the memo file: M and G, and B when it is not the
// 8-byte double of Visual FoxPro but a dBase block number.
bool isMemoField(const tabrix::Field& f) { return f.type == 'M' || f.type == 'G' || (f.type == 'B' && f.length != 8); }

void appendFields(std::string& out, const DbfTable& table) {
  out += "\"fields\":[";
  for (int i = 0; i < table.fieldCount(); ++i) {
    const tabrix::Field& f = table.field(i);
    if (i) out += ',';
    out += "{\"name\":";
    appendJsonString(out, f.name);
    out += ",\"type\":";
    appendJsonString(out, std::string_view(&f.type, 1));
    fmt::format_to(std::back_inserter(out), ",\"length\":{},\"decimals\":{},\"offset\":{},\"excluded\":{}}}",
                   f.length, f.decimals, f.offset, f.kind.valueClass == tabrix::ValueClass::NullFlags ? "true" : "false");
  }
  out += ']';
}

void appendRecord(std::string& out, DbfTable& table, const uint8_t* record) {
  tabrix::DecodeOptions options;
  options.dateFormat.order = '2';
  options.dateFormat.separator = '-';
  std::vector<char> text;
  fmt::format_to(std::back_inserter(out), "{{\"flag\":\"{:02X}\",\"values\":[", record[0]);
  for (int i = 0; i < table.fieldCount(); ++i) {
    text.resize(tabrix::decodedTextCapacity(table.field(i)));
    const size_t n = tabrix::decodeFieldText(table, i, record, options, text.data());
    if (i) out += ',';
    appendJsonString(out, std::string_view(text.data(), n));
  }
  // Memo fields: block number and the memo as read (null without a memo file).
  out += "],\"memos\":{";
  bool first = true;
  for (int i = 0; i < table.fieldCount(); ++i) {
    if (!isMemoField(table.field(i))) continue;
    const tabrix::MemoRef ref = tabrix::memoBlockOf(table, i, record);
    fmt::format_to(std::back_inserter(out), "{}\"{}\":{{\"block\":{},\"text\":", first ? "" : ",", i, ref.block);
    first = false;
    if (table.memo() && table.memo()->isOpen()) appendJsonString(out, table.memo()->readMemo(ref.block, ref.length));
    else out += "null";
    out += '}';
  }
  out += "}}";
}

int usage() {
  std::fputs("usage: table_dump [--max N] TABLE\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t maxRecords = UINT64_MAX;
  std::string path;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--max" && a + 1 < argc) maxRecords = std::strtoull(argv[++a], nullptr, 10);
    else if (path.empty()) path = arg;
    else return usage();
  }
  if (path.empty()) return usage();

  DbfTable table;
  std::string out;
  if (const tabrix::Result opened = table.open(path, tabrix::TableOpenOptions{}); !opened) {
    out = "{\"ok\":false,\"error\":";
    appendJsonString(out, opened.reason());
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
  }

  fmt::format_to(std::back_inserter(out),
                 "{{\"ok\":true,\"version\":{},\"level7\":{},\"headerLength\":{},\"recordLength\":{},"
                 "\"headerRecordCount\":{},\"recordCount\":{},\"isShort\":{},",
                 table.version(), table.isLevel7(), table.headerLength(), table.recordLength(),
                 table.headerRecordCount(), table.recordCount(), table.isShort());
  if (table.memo() && table.memo()->isOpen()) {
    out += "\"memo\":{\"path\":";
    appendJsonString(out, table.memo()->path());
    fmt::format_to(std::back_inserter(out), ",\"blockSize\":{}}},", table.memo()->blockSize());
  } else {
    out += "\"memo\":null,";
  }
  appendFields(out, table);
  out += ",\"records\":[";
  for (uint64_t n = 0; n < maxRecords; ++n) {
    const uint8_t* record = table.readNextRecord();
    if (!record) break;
    if (n) out += ",\n";
    appendRecord(out, table, record);
  }
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
