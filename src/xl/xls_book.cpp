// The .xls book: BIFF8 workbook globals and sheet substreams in a compound
// document. A new book starts from globals of its own; a loaded one keeps its
// globals' records and rewrites only its sheet list, shared strings, the
// formats it adds and its sheet tab ids.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/output_file.h"
#include "xl/biff_records.h"
#include "xl/book_formats.h"
#include "xl/compound_file.h"
#include "xl/xls_sheet.h"

namespace tabrix::xl {

namespace {

using biff::Bytes;
using biff::put16;
using biff::put32;
using biff::put8;

constexpr unsigned kMaxXfs = 4050;  // what Excel accepts
constexpr unsigned kAddedXfs = 3;   // General, date, integer
constexpr uint16_t kBiff8 = 0x0600;
constexpr uint16_t kGlobalsKind = 0x0005;

void putXf(Bytes& out, unsigned format, bool style, unsigned usedAttributes) {
  const size_t start = biff::beginRecord(out, biff::kXf);
  put16(out, 0);  // font
  put16(out, format);
  put16(out, style ? 0xFFF5 : 0x0001);  // locked; a style has no parent, a cell's is style 0
  put8(out, 0x20);                      // bottom aligned
  put8(out, 0);
  put8(out, 0);
  put8(out, usedAttributes);
  put32(out, 0);  // no borders
  put32(out, 0);
  put16(out, 0x20C0);  // automatic pattern colours
  biff::endRecord(out, start);
}

// The globals a new book starts from: everything but the sheets and the
// three cell formats a book adds (General, date, integer), which follow the
// 15 style formats as number 15 on.
Bytes newGlobals() {
  Bytes g;
  biff::putBof(g, kGlobalsKind);
  size_t start = biff::beginRecord(g, biff::kCodePage);
  put16(g, 1200);  // UTF-16
  biff::endRecord(g, start);
  start = biff::beginRecord(g, biff::kWindow1);
  for (const unsigned v : {0u, 0u, 0x25BCu, 0x1572u, 0x0038u, 0u, 0u, 1u, 0x0258u}) put16(g, v);
  biff::endRecord(g, start);
  start = biff::beginRecord(g, biff::kDateMode);
  put16(g, 0);  // dates count from 1900
  biff::endRecord(g, start);
  // Four fonts, as readers expect the first four (the fifth is never numbered).
  for (int i = 0; i < 4; ++i) {
    start = biff::beginRecord(g, biff::kFont);
    for (const unsigned v : {200u, 0u, 0x7FFFu, 400u, 0u}) put16(g, v);
    put32(g, 0);
    biff::putString(g, u"Arial", 1);
    biff::endRecord(g, start);
  }
  for (int i = 0; i < 15; ++i) putXf(g, 0, true, i == 0 ? 0x00 : 0xF4);
  start = biff::beginRecord(g, biff::kStyle);
  put16(g, 0x8000);  // built-in style on XF 0: Normal
  put8(g, 0);
  put8(g, 0xFF);
  biff::endRecord(g, start);
  biff::putRecord(g, biff::kEof);
  return g;
}

char16_t foldCase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F))
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool sameName(std::string_view a, std::string_view b) {
  std::u16string x, y;
  biff::utf8ToUtf16(a, 64, x);
  biff::utf8ToUtf16(b, 64, y);
  return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(),
                                            [](char16_t p, char16_t q) { return foldCase(p) == foldCase(q); });
}

// The end of the substream that starts at offset (its EOF record's end, nested
// substreams included), or 0 when it is not a whole substream.
size_t substreamEnd(std::span<const uint8_t> stream, size_t offset) {
  biff::RecordReader reader(stream, offset);
  biff::Record record;
  if (!reader.next(record) || record.type != biff::kBof) return 0;
  for (int depth = 1; reader.next(record);) {
    if (record.type == biff::kBof) ++depth;
    if (record.type == biff::kEof && --depth == 0) return reader.position();
  }
  return 0;
}

class XlsBook final : public Book {
 public:
  XlsBook() { reset(); }
  BookFormat format() const override { return BookFormat::Xls; }
  Result load(const std::string& path) override;
  int sheetCount() const override { return static_cast<int>(sheets_.size()); }
  Sheet* sheet(int index) override {
    return index >= 0 && index < sheetCount() ? sheets_[static_cast<size_t>(index)].get() : nullptr;
  }
  void clearSheet(int index) override {
    if (index >= 0 && index < sheetCount()) sheets_[static_cast<size_t>(index)]->clear();
  }
  Sheet* addSheet(std::string_view name) override;
  FormatId addFormat(NumberFormat numberFormat) override {
    return numberFormat == NumberFormat::Date ? kXlsDateFormat : kXlsIntegerFormat;
  }
  Result save(const std::string& path) override;
  const std::string& errorMessage() const override { return shared_->error; }

 private:
  void reset();
  Result fail(std::string reason) {
    shared_->error = reason;
    return Result::failure(std::move(reason));
  }
  Result readWorkbook(ByteStore& file);
  // The globals as saved, around the shared string table: prefix, then the
  // table, then suffix. boundSheets gets the position of each BOUNDSHEET's
  // stream position field.
  void buildGlobals(Bytes& prefix, Bytes& suffix, uint64_t sstSize, std::vector<uint64_t>& boundSheets);
  Result writeWorkbook(OutputFile& file, uint64_t start, uint64_t& size);
  void copyKept(biff::StreamOut& out, std::span<const uint8_t> kept, uint64_t position);

  std::unique_ptr<XlsShared> shared_;
  std::vector<std::unique_ptr<XlsSheet>> sheets_;
  std::vector<cfb::Entry> entries_;  // of the compound document; entry 0 the root
  uint32_t workbookEntry_ = 1;
  std::vector<uint8_t> workbook_;    // a loaded book's Workbook stream
  std::span<const uint8_t> globals_;  // the globals records, BOF to EOF
  Bytes newGlobals_;
  bool hadSst_ = false;
  size_t loadedSheets_ = 0;
  unsigned activeSheet_ = 0;
};

void XlsBook::reset() {
  shared_ = std::make_unique<XlsShared>();
  sheets_.clear();
  entries_.clear();
  entries_.push_back(cfb::makeEntry(u"Root Entry", cfb::kRoot));
  entries_.push_back(cfb::makeEntry(u"Workbook", cfb::kStream));
  entries_[0].setLink(2, 1);
  workbookEntry_ = 1;
  workbook_.clear();
  newGlobals_ = newGlobals();
  globals_ = newGlobals_;
  hadSst_ = false;
  loadedSheets_ = 0;
  activeSheet_ = 0;
}

Sheet* XlsBook::addSheet(std::string_view name) {
  if (validSheetName(name) != name) {
    shared_->error = "\"" + std::string(name) + "\" is no valid sheet name";
    return nullptr;
  }
  for (const auto& sheet : sheets_)
    if (sameName(sheet->name(), name)) {
      shared_->error = "the book has a sheet named \"" + sheet->name() + "\" already";
      return nullptr;
    }
  sheets_.push_back(std::make_unique<XlsSheet>(std::string(name), *shared_));
  return sheets_.back().get();
}

Result XlsBook::load(const std::string& path) {
  if (!sheets_.empty()) return fail("cannot load " + path + " into a book that has sheets");
  File file;
  if (Result r = file.open(path, FileMode::ReadOnly); !r) return fail("cannot open " + path + ": " + r.reason());
  if (Result r = readWorkbook(file); !r) {
    reset();
    return fail(path + " is no .xls workbook that can be added to: " + r.reason());
  }
  return {};
}

Result XlsBook::readWorkbook(ByteStore& file) {
  std::vector<cfb::Entry> entries;
  if (Result r = cfb::readCompoundFile(file, entries); !r) return r;
  uint32_t wb = cfb::findRootStream(entries, u"Workbook");
  if (wb == cfb::kNoEntry) wb = cfb::findRootStream(entries, u"Book");
  if (wb == cfb::kNoEntry) return Result::failure("it holds no workbook stream");
  workbook_ = std::move(entries[wb].data);
  const std::span<const uint8_t> stream(workbook_);

  biff::RecordReader reader(stream);
  biff::Record record;
  if (!reader.next(record) || record.type != biff::kBof || record.data.size() < 4)
    return Result::failure("its workbook stream holds no BIFF8 workbook");
  if (biff::get16(record.data.data()) != kBiff8)
    return Result::failure("it is an Excel 5.0/95 or older workbook (only Excel 97-2003 workbooks are read)");
  if (biff::get16(record.data.data() + 2) != kGlobalsKind)
    return Result::failure("its workbook stream does not start with the workbook's globals");

  struct Bound {
    uint32_t position;
    std::span<const uint8_t> tail;  // visibility, kind and name as stored
    std::string name;
  };
  std::vector<Bound> bounds;
  std::vector<std::span<const uint8_t>> sst;
  bool inSst = false, ended = false;
  unsigned xfs = 0;
  while (!ended && reader.next(record)) {
    const auto& d = record.data;
    if (inSst && record.type == biff::kContinue) {
      sst.push_back(d);
      continue;
    }
    inSst = false;
    switch (record.type) {
      case biff::kFilePass:
        return Result::failure("it is protected by a password");
      case biff::kXf:
        ++xfs;
        break;
      case biff::kDateMode:
        shared_->dates1904 = d.size() >= 2 && biff::get16(d.data()) == 1;
        break;
      case biff::kWindow1:
        if (d.size() >= 12) activeSheet_ = biff::get16(d.data() + 10);
        break;
      case biff::kSst:
        if (hadSst_) return Result::failure("it has two shared string tables");
        hadSst_ = inSst = true;
        sst.push_back(d);
        break;
      case biff::kBoundSheet: {
        if (d.size() < 8) return Result::failure("a sheet entry is damaged");
        const size_t chars = d[6], wide = d[7] & 1;
        if (d.size() < 8 + chars * (wide + 1)) return Result::failure("a sheet name is damaged");
        std::u16string name;
        for (size_t i = 0; i < chars; ++i)
          name.push_back(wide ? static_cast<char16_t>(biff::get16(&d[8 + 2 * i])) : static_cast<char16_t>(d[8 + i]));
        bounds.push_back({biff::get32(d.data()), d.subspan(4, 4 + chars * (wide + 1)), biff::utf16ToUtf8(name)});
        break;
      }
      case biff::kEof:
        ended = true;
        break;
      default:
        break;
    }
  }
  if (!ended) return Result::failure("its workbook records are damaged");
  if (bounds.empty()) return Result::failure("it has no sheets");
  if (xfs == 0) return Result::failure("it has no cell formats");
  if (xfs + kAddedXfs > kMaxXfs) return Result::failure("it has too many cell formats to add any");
  globals_ = stream.first(reader.position());
  shared_->xfBase = static_cast<uint16_t>(xfs);
  if (!sst.empty())
    if (Result r = readSst(sst, shared_->sst); !r) return r;

  std::vector<std::pair<size_t, size_t>> extents;
  for (const Bound& b : bounds) {
    const size_t end = b.position < globals_.size() || b.position >= stream.size() ? 0 : substreamEnd(stream, b.position);
    if (end == 0) return Result::failure("the records of sheet \"" + b.name + "\" are damaged");
    extents.emplace_back(b.position, end);
    sheets_.push_back(
        std::make_unique<XlsSheet>(b.name, *shared_, b.tail, stream.subspan(b.position, end - b.position)));
  }
  // Each sheet's records are its own (a damaged file could name one substream many times over).
  std::sort(extents.begin(), extents.end());
  for (size_t i = 1; i < extents.size(); ++i)
    if (extents[i].first < extents[i - 1].second) return Result::failure("two sheets share their records");
  loadedSheets_ = sheets_.size();
  entries_ = std::move(entries);
  workbookEntry_ = wb;
  return {};
}

void XlsBook::buildGlobals(Bytes& prefix, Bytes& suffix, uint64_t sstSize, std::vector<uint64_t>& boundSheets) {
  prefix.clear();
  suffix.clear();
  boundSheets.clear();
  Bytes* out = &prefix;
  uint64_t base = 0;  // of *out in the stream
  bool sheetsPut = false, sstPut = sstSize == 0;
  const auto putSheets = [&] {
    for (const auto& sheet : sheets_) {
      const Bytes& tail = sheet->boundSheetTail();
      const size_t start = biff::beginRecord(*out, biff::kBoundSheet);
      boundSheets.push_back(base + out->size());
      put32(*out, 0);  // set once the sheet is written
      out->insert(out->end(), tail.begin(), tail.end());
      biff::endRecord(*out, start);
    }
    sheetsPut = true;
  };
  const auto putSst = [&] {
    if (!sheetsPut) putSheets();
    base = prefix.size() + sstSize;
    out = &suffix;
    sstPut = true;
  };

  size_t lastXf = 0;
  biff::RecordReader reader(globals_);
  biff::Record record;
  while (reader.next(record))
    if (record.type == biff::kXf) lastXf = record.offset;

  bool inSst = false;
  for (reader = biff::RecordReader(globals_); reader.next(record);) {
    if (inSst && record.type == biff::kContinue) continue;
    inSst = false;
    const std::span<const uint8_t> whole = globals_.subspan(record.offset, 4 + record.data.size());
    switch (record.type) {
      case biff::kBoundSheet:
        if (!sheetsPut) putSheets();
        continue;
      case biff::kSst:
        inSst = true;
        if (!sstPut) putSst();
        continue;
      case biff::kExtSst:
        continue;
      case biff::kEof:
        if (!sheetsPut) putSheets();
        if (!sstPut) putSst();
        break;
      case biff::kTabId: {
        // One id per sheet; the added sheets get new ones.
        const size_t start = biff::beginRecord(*out, biff::kTabId);
        unsigned highest = 0;
        for (size_t i = 0; i + 1 < record.data.size(); i += 2) {
          highest = std::max<unsigned>(highest, biff::get16(&record.data[i]));
          put16(*out, biff::get16(&record.data[i]));
        }
        for (size_t i = loadedSheets_; i < sheets_.size() && out->size() - start < biff::kMaxRecordData; ++i)
          put16(*out, ++highest);
        biff::endRecord(*out, start);
        continue;
      }
      case biff::kSupBook:
        // The book's reference to its own sheets counts them.
        if (record.data.size() == 4 && biff::get16(&record.data[2]) == 0x0401) {
          const size_t start = biff::beginRecord(*out, biff::kSupBook);
          put16(*out, static_cast<unsigned>(sheets_.size()));
          put16(*out, 0x0401);
          biff::endRecord(*out, start);
          continue;
        }
        break;
      default:
        break;
    }
    out->insert(out->end(), whole.begin(), whole.end());
    if (record.offset == lastXf) {
      putXf(*out, 0, false, 0x00);
      putXf(*out, 14, false, 0x04);  // its number format is its own
      putXf(*out, 1, false, 0x04);
    }
  }
}

void XlsBook::copyKept(biff::StreamOut& out, std::span<const uint8_t> kept, uint64_t position) {
  // The INDEX record points at rows' records by stream position; the sheet
  // may have moved.
  const uint32_t moved = static_cast<uint32_t>(position - static_cast<uint64_t>(kept.data() - workbook_.data()));
  biff::RecordReader reader(kept);
  biff::Record record;
  Bytes patched;
  while (reader.next(record)) {
    const std::span<const uint8_t> whole = kept.subspan(record.offset, 4 + record.data.size());
    if (record.type != biff::kIndex || record.data.size() < 16 || moved == 0) {
      out.write(whole);
      continue;
    }
    patched.assign(whole.begin(), whole.end());
    for (size_t i = 4 + 12; i + 4 <= patched.size(); i += 4) {
      const uint32_t at = biff::get32(&patched[i]);
      if (at != 0) biff::set32(&patched[i], at + moved);
    }
    out.write(patched);
  }
}

Result XlsBook::writeWorkbook(OutputFile& file, uint64_t start, uint64_t& size) {
  biff::StreamOut out{file};
  SstWriter& sst = shared_->sst;
  const uint64_t sstSize = hadSst_ || sst.count() > 0 ? sst.size() : 0;
  Bytes prefix, suffix;
  std::vector<uint64_t> boundSheets;
  buildGlobals(prefix, suffix, sstSize, boundSheets);
  out.write(prefix);
  if (sstSize)
    if (Result r = sst.write(out, prefix.size()); !r) return r;
  out.write(suffix);
  for (size_t i = 0; i < sheets_.size(); ++i) {
    XlsSheet& sheet = *sheets_[i];
    uint8_t position[4];
    biff::set32(position, static_cast<uint32_t>(out.written));
    if (sheet.kept().empty()) {
      if (Result r = sheet.writeSubstream(out, i == activeSheet_); !r) return r;
    } else {
      copyKept(out, sheet.kept(), out.written);
    }
    file.writeAt(start + boundSheets[i], position, sizeof position);
  }
  if (out.written > 0xFFFFFFFFu) return Result::failure("the workbook is larger than an .xls file holds (4 GB)");
  size = out.written;
  return {};
}

Result XlsBook::save(const std::string& path) {
  if (sheets_.empty()) return fail("cannot save " + path + ": the book has no sheet");
  if (Result r = cfb::writeCompoundFile(path, entries_, workbookEntry_,
                                        [this](OutputFile& file, uint64_t start, uint64_t& size) {
                                          return writeWorkbook(file, start, size);
                                        });
      !r)
    return fail(r.reason());
  return {};
}

}  // namespace

std::unique_ptr<Book> makeXlsBook() { return std::make_unique<XlsBook>(); }

}  // namespace tabrix::xl
