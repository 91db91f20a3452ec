// A workbook with one sheet for the table: a header row of the column titles
// (widths fitted to the content, the row frozen), then one row of typed cells
// per record. Numbers, dates and booleans become cells of their type; text is
// handed to the book as UTF-8.
//
// An .xls sheet holds 65,536 rows, so every 65,534 records go to a file of
// their own: a_0.xls, a_1.xls, ..., and the last part under the output's own
// name a.xls. An .xlsx sheet holds 1,048,576 rows; a longer table goes on in
// further sheets of the same book.
//
// Every file is staged: an existing workbook that a sheet is added to stays as
// it is until the job succeeds, and a failed job leaves no part behind.
#include "writers/workbook_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "convert/job_log.h"
#include "platform/file.h"
#include "platform/local_time.h"
#include "util/ascii.h"
#include "util/text_buffer.h"
#include "util/text_scan.h"
#include "util/utf8.h"
#include "writers/memo_text.h"
#include "writers/trimmed_values.h"
#include "xl/book.h"

namespace tabrix {

namespace {

constexpr uint64_t kXlsPartRecords = 65534;
// A new sheet's name tries this many numbers before the book is taken as full.
constexpr int kSheetNumbersTried = 1000;

// The file name of path up to its first '.'.
std::string sourceTitle(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  return name.substr(0, name.find('.'));
}

// Continuation part n of output: "_n" before the file name's extension.
std::string partPath(const std::string& output, int n) {
  const size_t slash = output.rfind('/');
  const size_t dot = output.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return fmt::format("{}_{}.xls", output, n);
  return fmt::format("{}_{}{}", output.substr(0, dot), n, output.substr(dot));
}

// The first count characters of UTF-8 text.
std::string_view firstCharacters(std::string_view text, size_t count) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (size_t n = 0; n < count && p < end; ++n) nextCodePoint(p, end);
  return text.substr(0, static_cast<size_t>(p - text.data()));
}

bool isZeroDate(std::string_view stored) {
  return std::all_of(stored.begin(), stored.end(), [](char c) { return c == '0' || c == ' ' || c == '\0'; });
}

class WorkbookWriter final : public RecordWriter {
 public:
  explicit WorkbookWriter(JobContext& job)
      : job_(job), o_(job.options),
        format_(job.family == OutputFamily::Xls ? xl::BookFormat::Xls : xl::BookFormat::Xlsx),
        utf8_(job.codePages.ansi), decoded_(std::max<size_t>(64, job.plan.textCapacity)),
        headerRows_(job.options.writeHeaderRow ? 1 : 0) {}

  bool opensOutput() const override { return true; }

  Result open() override {
    for (const PlannedColumn& column : job_.plan.columns) titles_.emplace_back(toUtf8(column.title));
    const std::string name = o_.sheetName.empty() ? sourceTitle(job_.table.path()) : o_.sheetName;
    sheetName_ = xl::validSheetName(isValidUtf8(name) ? std::string_view(name) : toUtf8(name));
    adding_ = o_.addToExisting && pathKind(job_.outputPath) != PathKind::Missing;
    // The later tables of a run into one workbook each get a sheet of their
    // own, so none refills the sheet an earlier one just wrote.
    refill_ = adding_ && !(o_.appendToOutput && !o_.firstAppendedJob);
    if (const Result staged = job_.files.create(job_.outputPath, writePath_); !staged) return staged;
    return startBook(sheetName_);
  }

  void record(const uint8_t* record, bool) override {
    if (!failure_.empty()) return;
    if (format_ == xl::BookFormat::Xls && partRecords_ == kXlsPartRecords) {
      if (const Result next = continueInNewPart(); !next) {
        failure_ = next.reason();
        return;
      }
    } else if (headerRows_ + sheetRecords_ >= sheet_->maxRows()) {
      if (const Result next = continueInNewSheet(); !next) {
        failure_ = next.reason();
        return;
      }
    }
    const uint32_t row = static_cast<uint32_t>(headerRows_ + sheetRecords_);
    for (uint32_t c = 0; c < job_.plan.columns.size(); ++c) writeCell(row, c, job_.plan.columns[c], record);
    ++sheetRecords_;
    ++partRecords_;
  }

  Result close() override {
    if (!failure_.empty()) return Result::failure(failure_);
    if (const Result saved = saveBook(writePath_); !saved)
      return Result::failure(fmt::format("cannot save the workbook: {}", saved.reason()));
    if (cutTexts_ > 0)
      job_.warning = fmt::format("{} text{} longer than a cell holds ({} characters) cut there", cutTexts_,
                                 cutTexts_ == 1 ? "" : "s", xl::kMaxCellChars);
    return {};
  }

 private:
  // A book with the sheet the records go to, its formats and its header row.
  // A book that a sheet is added to is the workbook at the output path, every
  // part of it kept.
  Result startBook(const std::string& name) {
    book_ = xl::Book::create(format_);
    if (!book_) return Result::failure("this workbook format cannot be written");
    if (adding_)
      if (const Result loaded = book_->load(job_.outputPath); !loaded)
        return Result::failure(fmt::format("cannot add a sheet: {}; the file is left as it is", loaded.reason()));
    filled_.clear();
    sheet_ = nullptr;
    for (int i = 0; refill_ && i < book_->sheetCount() && !sheet_; ++i) {
      if (!equalsIgnoringCase(book_->sheet(i)->name(), name)) continue;
      book_->clearSheet(i);
      sheet_ = book_->sheet(i);
    }
    if (!sheet_ && !(sheet_ = addSheet(name, 1))) return Result::failure(book_->errorMessage());
    dateFormat_ = book_->addFormat(xl::NumberFormat::Date);
    integerFormat_ = book_->addFormat(xl::NumberFormat::Integer);
    startSheet();
    partRecords_ = 0;
    return {};
  }

  // A new sheet named base, or "base (n)" from number on when that is taken.
  xl::Sheet* addSheet(const std::string& base, int number) {
    for (int n = number; n < number + kSheetNumbersTried; ++n) {
      if (n == 1) {
        if (xl::Sheet* sheet = book_->addSheet(base)) return sheet;
        continue;
      }
      const std::string suffix = fmt::format(" ({})", n);
      const std::string name = xl::validSheetName(std::string(firstCharacters(base, 31 - suffix.size())) + suffix);
      if (xl::Sheet* sheet = book_->addSheet(name)) {
        sheetNumber_ = n;
        return sheet;
      }
    }
    return nullptr;
  }

  void startSheet() {
    filled_.push_back(sheet_);
    sheetRecords_ = 0;
    if (o_.writeHeaderRow) writeHeader(*sheet_);
  }

  void writeHeader(xl::Sheet& sheet) {
    for (uint32_t c = 0; c < titles_.size(); ++c) {
      sheet.writeString(0, c, titles_[c]);
      sheet.setColumnWidth(c, c, xl::kFitToContent);
    }
    sheet.split(1, 0);
  }

  // An .xls part is full: it is saved as a continuation file and the records
  // go on in a new book, with a sheet "Sheet1" or, when adding, in the
  // workbook loaded again.
  Result continueInNewPart() {
    const std::string path = partPath(job_.outputPath, parts_++);
    std::string writePath;
    if (const Result staged = job_.files.create(path, writePath); !staged) return staged;
    if (const Result saved = saveBook(writePath); !saved)
      return Result::failure(fmt::format("cannot save the workbook {}: {}", path, saved.reason()));
    // The date goes with the file when it is renamed into place.
    if (timespec source{}; o_.keepFileDate && job_.table.modificationTime(source))
      setModificationTime(writePath, source);
    return startBook(adding_ ? sheetName_ : "Sheet1");
  }

  // An .xlsx sheet is full: the records go on in a further sheet of the book.
  Result continueInNewSheet() {
    const std::string full = sheet_->name();
    sheet_ = addSheet(sheetName_, sheetNumber_ + 1);
    if (!sheet_) return Result::failure(book_->errorMessage());
    if (o_.logFile && o_.logFile->isOpen())
      o_.logFile->write(fmt::format("{} sheet {} is full; the records from {} on go to sheet {}\r\n",
                                    formatLogTimeNow(o_.dateOrder, o_.dateSeparator), full,
                                    job_.recordsWritten, sheet_->name()));
    startSheet();
    return {};
  }

  // The header goes in once more, then the book is saved and released,
  // whether or not the save succeeded.
  Result saveBook(const std::string& path) {
    if (o_.writeHeaderRow)
      for (xl::Sheet* sheet : filled_) writeHeader(*sheet);
    const Result saved = book_->save(path);
    book_.reset();
    sheet_ = nullptr;
    filled_.clear();
    return saved;
  }

  void writeCell(uint32_t row, uint32_t c, const PlannedColumn& column, const uint8_t* record) {
    if (isNull(column.nullBit, record)) return;
    const Field& f = *column.source;
    const xl::FormatId numberFormat = column.decimals == 0 ? integerFormat_ : xl::kGeneral;
    switch (column.valueClass) {
      case ValueClass::Memo:
        readMemoText(job_.table, column.field, record, job_.codePages, memo_);
        return writeText(row, c, memo_);
      case ValueClass::Number: {
        const std::string_view text = trimBlanks(decode(column, record));
        if (text.empty()) return;
        // from_chars takes no plus sign; text that is no number is kept as text.
        const std::string_view digits = text[0] == '+' ? text.substr(1) : text;
        double value = 0;
        if (isDecimalNumber(text, SignRule::PlusOrMinus) &&
            std::from_chars(digits.data(), digits.data() + digits.size(), value).ec == std::errc())
          return sheet_->writeNumber(row, c, value, numberFormat);
        return writeText(row, c, text);
      }
      case ValueClass::Integer: return sheet_->writeNumber(row, c, integerValue(f, record), numberFormat);
      case ValueClass::Currency:
        return sheet_->writeNumber(row, c, static_cast<double>(currencyAmount(f, record)) / 10000.0, numberFormat);
      case ValueClass::Double: {
        const double value = doubleValue(f, record);
        if (std::isfinite(value)) return sheet_->writeNumber(row, c, value, numberFormat);
        return writeText(row, c, trimBlanks(decode(column, record)));
      }
      case ValueClass::Date: {
        if (isBlankDate(f, record)) return;
        if (const auto parts = dateFromText(record + f.offset, f.length)) return writeMoment(row, c, *parts, false);
        if (isZeroDate({reinterpret_cast<const char*>(record + f.offset), f.length})) return;
        return writeText(row, c, trimBlanks(decode(column, record)));
      }
      case ValueClass::DateTime: {
        const bool stored = f.kind.storage == Storage::DateTimeText;
        const auto parts = stored ? dateTimeFromText(record + f.offset) : decodeDateTime(job_.table, column.field, record);
        if (parts) return writeMoment(row, c, *parts, true);
        // Blanks are no value; other stored text that is no date-time stays readable.
        if (stored) writeText(row, c, trimBlanks(decode(column, record)));
        return;
      }
      case ValueClass::Logical: {
        // Y and N are the other spelling of true and false that dBase stores;
        // '?' and blanks are no value.
        const std::string_view letter = decode(column, record);
        if (letter.size() != 1) return;
        switch (letter[0]) {
          case 'T': case 't': case 'Y': case 'y': return sheet_->writeBool(row, c, true);
          case 'F': case 'f': case 'N': case 'n': return sheet_->writeBool(row, c, false);
          default: return;
        }
      }
      default: return writeText(row, c, trimRightBlanks(decode(column, record)));
    }
  }

  // A date with the date format; before 1900, where spreadsheets have no date
  // number, the date as ISO text.
  void writeMoment(uint32_t row, uint32_t c, const DateTimeParts& d, bool withTime) {
    const double serial = xl::datePack(d.year, d.month, d.day, d.hour, d.minute, d.second);
    if (serial > 0) return sheet_->writeNumber(row, c, serial, dateFormat_);
    char text[40];
    const auto end = withTime ? fmt::format_to_n(text, sizeof text, "{:04}-{:02}-{:02} {:02}:{:02}:{:02}", d.year,
                                                 d.month, d.day, d.hour, d.minute, d.second)
                              : fmt::format_to_n(text, sizeof text, "{:04}-{:02}-{:02}", d.year, d.month, d.day);
    sheet_->writeString(row, c, std::string_view(text, end.out - text));
  }

  // Text in the table's code page, as UTF-8, cut (and counted) where a cell ends.
  void writeText(uint32_t row, uint32_t c, std::string_view ansi) {
    if (ansi.empty()) return;
    std::string_view text = toUtf8(ansi);
    if (text.size() > xl::kMaxCellChars) {
      const std::string_view kept = firstCharacters(text, xl::kMaxCellChars);
      if (kept.size() < text.size()) ++cutTexts_;
      text = kept;
    }
    sheet_->writeString(row, c, text);
  }

  std::string_view decode(const PlannedColumn& column, const uint8_t* record) {
    return {decoded_.data(), column.decode(job_.table, column.field, record, job_.decode, decoded_.data())};
  }

  // Valid until the next call.
  std::string_view toUtf8(std::string_view ansi) {
    converted_.clear();
    char* out = converted_.extend(Utf8Converter::capacityFor(ansi.size()));
    const size_t n = utf8_.convert(ansi.data(), ansi.size(), out);
    converted_.commit(n);
    return converted_.view();
  }

  JobContext& job_;
  const ConversionOptions& o_;
  const xl::BookFormat format_;
  Utf8Converter utf8_;
  std::vector<char> decoded_;
  const uint64_t headerRows_;
  std::vector<std::string> titles_;  // UTF-8
  std::string sheetName_;
  bool adding_ = false;  // to the workbook at the output path
  bool refill_ = false;  // a sheet of the same name is refilled, not added
  std::string writePath_;  // the staged output
  std::unique_ptr<xl::Book> book_;
  xl::Sheet* sheet_ = nullptr;
  std::vector<xl::Sheet*> filled_;  // sheets of this book that got the table's rows
  xl::FormatId dateFormat_ = xl::kGeneral;
  xl::FormatId integerFormat_ = xl::kGeneral;
  uint64_t sheetRecords_ = 0;  // records in the current sheet
  uint64_t partRecords_ = 0;   // records in the current book
  int parts_ = 0;              // continuation files saved
  int sheetNumber_ = 1;        // of the last sheet added, as in "name (2)"
  uint64_t cutTexts_ = 0;
  std::string failure_;  // a continuation that failed: the rest of the walk writes nothing
  std::string memo_;
  TextBuffer converted_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeWorkbookWriter(JobContext& job) { return std::make_unique<WorkbookWriter>(job); }

}  // namespace tabrix
