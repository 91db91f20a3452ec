// Fuzz target of the DBF reader: opens a table and its memo file from one input
// (framing in fuzz_frame.h), walks every record, decodes every field and reads
// every memo. Besides "no crash" it checks what the reader promises callers:
// fields stay inside the record, the walk yields exactly the records the file
// holds and the same bytes in any order, decoded text fits its buffer, memos
// stay inside the memo file, and a memo written reads back unchanged.
// Work per input is bounded (records, decoded values and text, memo bytes), so
// no single input stalls a fuzzing run.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "convert/conversion.h"
#include "dbf/field_decoder.h"
#include "dbf/memo_file.h"
#include "fuzz_frame.h"
#include "platform/byte_store.h"

namespace tabrix::fuzz {
namespace {

constexpr uint64_t kMaxRecords = 10'000;
constexpr uint64_t kMaxDecodedValues = 100'000;
// Decoded text, bounded apart from the values: a double near the top of its
// range takes some 300 digits and tens of microseconds to print.
constexpr uint64_t kMaxDecodedBytes = 16u << 10;
constexpr uint64_t kMaxMemoBytes = 4u << 20;
constexpr size_t kMaxRoundTripText = 4096;

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "dbf_table_fuzzer: property failed: %s\n", property);
  std::abort();
}

// Any non-identity table will do: it only has to make the OEM path run.
const std::array<uint8_t, 256>& reversingTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(255 - i);
    return t;
  }();
  return table;
}

// Odd and even records decode with opposite settings, so one input covers both.
std::array<DecodeOptions, 2> decodeOptionSets() {
  DecodeOptions plain;
  DecodeOptions everything;
  everything.dateFormat = DateFormat{'2', '.'};
  everything.skipSeconds = true;
  everything.dropDecimals = true;
  everything.csvDoublePrecision = true;
  everything.oemToAnsi = &reversingTable();
  return {plain, everything};
}

bool isMemoReference(const Field& field) {
  // B is a double of 8 bytes in Visual FoxPro and a memo reference elsewhere.
  return field.type == 'M' || field.type == 'G' || (field.type == 'B' && field.length != 8);
}

bool holdsBinaryDateTime(const DbfTable& table, const Field& field) {
  return field.type == '@' || (field.type == 'T' && (field.length != 14 || table.isLevel7()));
}

void checkLayout(const DbfTable& table, uint64_t tableSize) {
  require(table.recordLength() > 0, "the record length is positive");
  for (int i = 0; i < table.fieldCount(); ++i) {
    const Field& f = table.field(i);
    require(uint32_t{f.offset} + f.length <= table.recordLength(), "every field lies inside the record");
    require(f.length == 0 || f.offset >= 1, "no field overlaps the deletion flag");
  }
  require(table.recordCount() == 0 ||
              uint64_t{table.headerLength()} + table.recordCount() * table.recordLength() <= tableSize,
          "the file holds every record the walk yields");
}

void checkDateTime(const DbfTable& table, int i, const uint8_t* record) {
  const auto parts = decodeDateTime(table, i, record);
  if (!parts) return;
  require(parts->year >= 1 && parts->year <= 9999 && parts->month >= 1 && parts->month <= 12 &&
              parts->day >= 1 && parts->day <= 31 && parts->hour < 24 && parts->minute < 60 && parts->second < 60,
          "a decoded date-time is a calendar date and a time of day");
}

class MemoChecker {
 public:
  // store is the memo file's bytes, owned by the table's MemoFile.
  MemoChecker(MemoFile& memo, const MemoryStore& store) : memo_(memo), store_(store) {
    require(memo_.memoLength(0) == 0 && memo_.readMemo(0).empty(), "block 0 reads as empty");
  }

  void check(const MemoRef& ref) {
    if (budget_ > kMaxMemoBytes) return;
    const uint64_t length = memo_.memoLength(ref.block);
    const std::string text(memo_.readMemo(ref.block, ref.length));
    budget_ += length + text.size();
    require(length <= store_.size(), "a memo length stays inside the memo file");
    require(text.size() <= store_.size(), "a memo read stays inside the memo file");
    // SMT memos take their length from the table, the other formats from the memo file.
    if (memo_.format() == MemoFormat::Smt) require(text.size() <= ref.length, "an SMT memo is at most its length");
    else require(text.size() <= length, "a memo read is at most its memo length");

    // Exact-size heap buffers, so a write past the capacity is caught by ASan.
    const size_t cut = 16;
    auto small = std::make_unique<char[]>(cut);
    const size_t n = memo_.readMemo(ref.block, ref.length, small.get(), cut);
    require(n == std::min(text.size(), cut) && std::memcmp(small.get(), text.data(), n) == 0,
            "a memo cut to a small buffer is its beginning");
    const size_t roomy = text.size() + 1;
    auto whole = std::make_unique<char[]>(roomy);
    const size_t m = memo_.readMemo(ref.block, ref.length, whole.get(), roomy);
    require(m == text.size() && std::memcmp(whole.get(), text.data(), m) == 0 && whole[m] == '\0',
            "a memo read into a buffer with room is whole and zero-terminated");

    if (sample_.empty() && !text.empty()) sample_ = text.substr(0, kMaxRoundTripText);
  }

  // Appends a memo to a copy of the memo file and reads it back.
  void checkRoundTrip(uint8_t version) const {
    if (memo_.format() == MemoFormat::Smt) return;
    MemoFile copy(std::make_unique<MemoryStore>(store_.bytes()), version, MemoAccess::Write);
    const std::string text = sample_.empty() ? std::string("fuzz memo text") : sample_;
    const uint32_t block = copy.writeMemo(text);
    if (copy.blockSize() != 0) require(block != 0 && !copy.writeFailed(), "a writable memo file takes a new memo");
    // A memo file shorter than its header has none to trust: its memos are not read.
    if (block != 0 && copy.headerIsSound()) require(copy.readMemo(block) == text, "a memo written reads back unchanged");
  }

 private:
  MemoFile& memo_;
  const MemoryStore& store_;
  uint64_t budget_ = 0;
  std::string sample_;
};

// memoStore: the bytes of the table's memo file, null when it has none.
void walkTable(DbfTable& table, const MemoryStore* memoStore) {
  const uint32_t recordLength = table.recordLength();
  const uint64_t walkable = std::min(table.recordCount(), kMaxRecords);
  const auto optionSets = decodeOptionSets();

  std::vector<std::vector<char>> buffers;
  for (int i = 0; i < table.fieldCount(); ++i) buffers.emplace_back(decodedTextCapacity(table.field(i)));
  std::unique_ptr<MemoChecker> memos;
  if (memoStore) memos = std::make_unique<MemoChecker>(*table.memo(), *memoStore);

  std::vector<uint8_t> walked;
  walked.reserve(walkable * recordLength);
  uint64_t decodedValues = 0;
  uint64_t decodedBytes = 0;
  for (uint64_t n = 0; n < walkable; ++n) {
    const uint8_t* record = table.readNextRecord();
    require(record != nullptr, "the walk yields every record the table counts");
    walked.insert(walked.end(), record, record + recordLength);
    if (decodedValues >= kMaxDecodedValues || decodedBytes >= kMaxDecodedBytes) continue;
    for (int i = 0; i < table.fieldCount(); ++i, ++decodedValues) {
      const Field& f = table.field(i);
      std::vector<char>& out = buffers[static_cast<size_t>(i)];
      const size_t length = decodeFieldText(table, i, record, optionSets[n % 2], out.data());
      require(length <= out.size(), "decoded text fits decodedTextCapacity");
      decodedBytes += length;
      if (holdsBinaryDateTime(table, f)) checkDateTime(table, i, record);
      if (memos && isMemoReference(f)) memos->check(memoBlockOf(table, i, record));
    }
  }
  if (table.recordCount() <= kMaxRecords) require(table.readNextRecord() == nullptr, "the walk stops after the last record");
  require(table.readRecordAt(table.recordCount()) == nullptr, "no record past the last one");

  for (uint64_t n = walkable; n-- > 0;) {
    const uint8_t* record = table.readRecordAt(n);
    require(record != nullptr && std::memcmp(record, walked.data() + n * recordLength, recordLength) == 0,
            "walking backwards yields the bytes of the forward walk");
  }
  if (walkable > 0) {
    table.rewind();
    const uint8_t* first = table.readNextRecord();
    require(first != nullptr && std::memcmp(first, walked.data(), recordLength) == 0,
            "after rewind the walk starts again at the first record");
  }
  if (memos) memos->checkRoundTrip(table.version());
}

}  // namespace
}  // namespace tabrix::fuzz

namespace tabrix::fuzz {

// Converts the table to the text, HTML and markup formats with option sets
// that reach every quoting, escaping, trimming, code-page, filter and sort
// step and both HTML layouts, into the null device: the sanitizers watch the
// writers as they watch the reader.
void convertTable(DbfTable& table) {
  if (table.recordCount() > 2000 || table.fieldCount() == 0) return;
  const std::string first = table.field(0).name;
  auto base = [] {
    ConversionOptions o;
    o.outputPath = "/dev/null";
    o.exportFieldNames = true;
    return o;
  };
  ConversionOptions csv = base();
  csv.outputFormat = OutputFormat::Csv;
  csv.utf8 = true;
  csv.quoteAllFields = true;
  csv.addRowId = true;
  csv.fieldTypesInHeader = 2;
  csv.wordFilter = "*A";
  csv.sortEnabled = true;
  csv.sortField = 0;
  ConversionOptions text = base();
  text.outputFormat = OutputFormat::Text;
  text.quoteChar = '\'';
  text.noTrim = true;
  text.outputOem = true;
  text.keepLineBreaks = true;
  text.delimiter = "<|>";
  text.fieldConditions = {{first, ">1 or a*"}, {first, "!=Empty"}};
  text.reverseOrder = true;
  text.lastRecords = 7;
  ConversionOptions spaced = base();
  spaced.outputFormat = OutputFormat::Tsv;
  spaced.delimiter = "space";
  spaced.dropDecimals = true;
  spaced.skipSeconds = true;
  spaced.sortEnabled = true;
  spaced.sortField = table.fieldCount() - 1;
  spaced.sortAscending = false;
  spaced.sortIgnoreCase = true;
  spaced.fieldConditions = {{first, "1,9"}};
  ConversionOptions sdf = base();
  sdf.outputFormat = OutputFormat::Sdf;
  ConversionOptions html = base();
  html.outputFormat = OutputFormat::Html;
  html.htmlRecordNumber = true;
  html.htmlTextColor = "#<\"&>";
  ConversionOptions form = base();
  form.outputFormat = OutputFormat::Html;
  form.htmlAsForm = true;
  form.htmlTitle = "<&\">";
  form.reverseOrder = true;
  ConversionOptions xml = base();
  xml.outputFormat = OutputFormat::Xml;
  xml.tagDeleted = true;
  xml.addRowId = true;
  xml.xmlRootTag = "1 root";
  ConversionOptions sheet = base();
  sheet.outputFormat = OutputFormat::Xls;
  sheet.excelAsXml = true;
  sheet.addRowId = true;
  sheet.reverseOrder = true;
  ConversionOptions sheetUtf8 = sheet;
  sheetUtf8.utf8 = true;
  sheetUtf8.ansiCodePage = 932;
  ConversionOptions json = base();
  json.outputFormat = OutputFormat::Json;
  json.ansiCodePage = 936;
  ConversionOptions jsonUtf8 = base();
  jsonUtf8.outputFormat = OutputFormat::Json;
  jsonUtf8.utf8 = true;
  for (const ConversionOptions* o : {&csv, &text, &spaced, &sdf, &html, &form, &xml, &sheet, &sheetUtf8, &json, &jsonUtf8}) {
    const ConversionResult result = runConversion(*o, table, nullptr);
    require(result.ok || !result.error.empty(), "a failed conversion says why");
  }
}

}  // namespace tabrix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix;
  const fuzz::FuzzParts parts = fuzz::splitFuzzInput(data, size);
  auto tableStore = std::make_unique<MemoryStore>(std::vector<uint8_t>(parts.table.begin(), parts.table.end()));
  std::unique_ptr<MemoryStore> memoStore;
  if (parts.hasMemo) memoStore = std::make_unique<MemoryStore>(std::vector<uint8_t>(parts.memo.begin(), parts.memo.end()));
  // Owned by the table's MemoFile after the open, when the table has one.
  const MemoryStore* memoView = memoStore.get();

  DbfTable table;
  TableOpenOptions options;
  options.sourceIsOem = true;
  if (const Result opened = table.openFrom(std::move(tableStore), std::move(memoStore), options); !opened) {
    fuzz::require(!opened.reason().empty(), "a failed open says why");
    return 0;
  }
  fuzz::checkLayout(table, parts.table.size());
  fuzz::walkTable(table, table.memo() ? memoView : nullptr);
  fuzz::convertTable(table);
  return 0;
}
