// The table as one RTF table: a header row with the field names, then one row
// per record, each shown field a cell with a thin border. The columns and
// their right boundaries are fixed at construction and the control text
// around the values rendered at opening, so a record only decodes, trims and
// writes its values between those texts.
#include "writers/rtf_writer.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "rtf/rtf_document.h"
#include "util/text_scan.h"
#include "writers/trimmed_values.h"

namespace tabrix {

namespace {

// Font 0 Times New Roman, font 1 Arial; colour 0 black, 1 red, 2 silver, 3 white.
constexpr std::string_view kFontList = "Times New Roman;Arial;";
constexpr std::string_view kColourList = "0;0;0;255;0;0;192;192;192;255;255;255";
constexpr int32_t kWhite = 3;

constexpr int32_t kTwipsPerCharacter = 110;
constexpr int32_t kNarrowestColumn = 10;
constexpr int32_t kWidestColumn = 80;

struct Column {
  const PlannedColumn* planned;  // the job's plan outlives the writer
  int32_t rightBoundary;         // twips from the row's left edge
};

class RtfWriter final : public RecordWriter {
 public:
  explicit RtfWriter(JobContext& job) : job_(job), doc_(&job.files), values_(job) {
    const DbfTable& table = job_.table;
    int32_t boundary = 0;
    for (const PlannedColumn& planned : job_.plan.columns) {
      const int field = planned.field;
      // The low length byte: a long character field is as wide as an 80-character one.
      const int32_t length = table.descriptors()[static_cast<size_t>(field)].bytes[16];
      boundary += std::clamp(length, kNarrowestColumn, kWidestColumn) * kTwipsPerCharacter;
      columns_.push_back({&planned, boundary});
    }
    value_.resize(job_.plan.textCapacity);
    doc_.writeInBackground(job_.options.writeInBackground);
  }

  bool opensOutput() const override { return true; }

  // The document is always written new: appending does not apply.
  Result open() override {
    // The ANSI page also under /TOOEM, which converts the values but not the names.
    if (Result opened = doc_.openDocument(job_.outputPath, kFontList, kColourList, job_.codePages.ansi); !opened)
      return opened;
    setFormats();
    renderRecordTexts();
    return {};
  }

  void header() override {
    track(doc_.startRow());
    for (const Column& column : columns_) {
      track(doc_.startCell(column.rightBoundary));
      track(doc_.writeParagraph(column.planned->title, /*newParagraph=*/true));
      track(doc_.endCell());
    }
    track(doc_.endRow());
  }

  void record(const uint8_t* record, bool) override {
    // After a failed write the rest of the walk is not written; close reports it.
    if (failed_) return;
    for (size_t c = 0; c < columns_.size(); ++c)
      track(doc_.writeRendered(between_[c], valueText(*columns_[c].planned, record)));
    track(doc_.writeRendered(between_.back()));
  }

  Result close() override {
    const Result closed = doc_.closeDocument();
    if (!failed_ && closed) return {};
    const std::string system = doc_.errorText();
    return Result::failure("the RTF document could not be written completely" + (system.empty() ? "" : ": " + system));
  }

 private:
  void setFormats() {
    RtfRowFormat& row = doc_.rowFormat();
    row.alignment = 0;
    row.height = 0;
    row.leftEdge = 0;
    row.bottomPadding = row.leftPadding = row.rightPadding = row.topPadding = 20;

    RtfCellFormat& cell = doc_.cellFormat();
    cell.verticalAlignment = 1;
    cell.textFlow = 0;
    for (RtfCellBorder* border : {&cell.left, &cell.right, &cell.top, &cell.bottom})
      *border = {.on = true, .kind = 0, .width = 5, .colour = 0, .spacing = 0};
    cell.shading = true;
    cell.shadingIntensity = 0;
    cell.shadingPattern = 0;
    cell.patternForeground = 0;
    cell.patternBackground = kWhite;

    RtfParagraphFormat& paragraph = doc_.paragraphFormat();
    paragraph.inTable = true;
    paragraph.alignment = 3;
    paragraph.spaceBefore = 0;
    paragraph.spaceAfter = 0;
  }

  // Every record row has the same control text around its values: the row and
  // first cell before the first value, the end of a cell and the next cell
  // between two, the end of the last cell and of the row after the last.
  void renderRecordTexts() {
    const std::string paragraph = doc_.renderedParagraph(/*newParagraph=*/false);
    const std::string endCell = doc_.renderedEndCell();
    between_.assign(1, doc_.renderedRow());
    for (const Column& column : columns_) {
      between_.back() += doc_.renderedCell(column.rightBoundary) + paragraph;
      between_.push_back(endCell);
    }
    between_.back() += doc_.renderedEndRow();
  }

  // The field's text, in the OEM code page when asked, without its leading
  // and trailing blanks; NULL is empty. A blank date would show its two separators alone:
  // it is written empty, as in the other outputs.
  std::string_view valueText(const PlannedColumn& column, const uint8_t* record) {
    if (isNull(column.nullBit, record)) return {};
    if (!job_.options.outputOem) return values_.trimmed(column, record);
    // Translated before trimming: a character may become a blank in the OEM page.
    if (isBlankDate(*column.source, record)) return {};
    char* text = value_.data();
    const size_t n = column.decode(job_.table, column.field, record, job_.decode, text);
    translateBytes(job_.codePages.ansiToOem, text, n);
    return trimBlanks({text, n});
  }

  // The first failure is enough: close reports it.
  void track(const Result& result) {
    if (!result) failed_ = true;
  }

  JobContext& job_;
  RtfDocument doc_;
  std::vector<Column> columns_;
  std::vector<std::string> between_;  // one more than the columns
  TrimmedValues values_;
  std::vector<char> value_;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<RecordWriter> makeRtfWriter(JobContext& job) { return std::make_unique<RtfWriter>(job); }

}  // namespace tabrix
