// Delimited lines are built value by value in one reused record line and
// written with one call per record; the values themselves are prepared by the
// ValueWriter the SQL script shares.
#include "writers/delimited_writer.h"

#include <fmt/format.h>

#include <string>

#include "writers/delimited_values.h"
#include "util/text_buffer.h"

namespace tabrix {

namespace {

class DelimitedWriter final : public RecordWriter {
 public:
  explicit DelimitedWriter(JobContext& job)
      : job_(job), o_(job.options), rules_(delimitedRules(job)), utf8_(job.codePages.ansi),
        values_(makeValueWriter(job, rules_)) {}

  // Names are enclosed as values are, so the names line splits into as many
  // columns as the records; a type suffix belongs to its name.
  void header() override {
    if (!o_.exportFieldNames) return;
    line_.clear();
    if (o_.addRowId) {
      appendDelimitedText(line_, "ROWID", rules_, o_.quoteAllFields);
      line_.append(job_.delimiter);
    }
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      const int field = job_.plan.columns[c].field;
      if (o_.fieldTypesInHeader == 1)
        appendDelimitedText(line_, job_.plan.columns[c].title + typeAndLength(field, ":"), rules_,
                            o_.quoteAllFields);
      else
        appendDelimitedText(line_, job_.plan.columns[c].title, rules_, o_.quoteAllFields);
      if (c + 1 < job_.plan.columns.size()) line_.append(job_.delimiter);
    }
    if (o_.fieldNamesLowercase || o_.fieldNamesCapitalised) {
      for (size_t i = o_.fieldNamesLowercase ? 0 : 1; i < line_.size(); ++i)
        if (line_[i] >= 'A' && line_[i] <= 'Z') line_[i] = static_cast<char>(line_[i] - 'A' + 'a');
    }
    line_.append(o_.rowDelimiter);
    if (o_.fieldTypesInHeader == 2) {
      for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
        appendDelimitedText(line_, typeAndLength(job_.plan.columns[c].field, ""), rules_, false);
        if (c + 1 < job_.plan.columns.size()) line_.append(job_.delimiter);
      }
      line_.append(o_.rowDelimiter);
    }
    flush();
  }

  // Records gather in the line until a batch is full: a batch of at least the
  // output's buffer size goes to the file without a copy into that buffer.
  void record(const uint8_t* record, bool lastPosition) override {
    if (o_.addRowId) {
      char* p = line_.extend(24);
      line_.commit(static_cast<size_t>(fmt::format_to(p, "{}", job_.recordsWritten) - p));
      line_.append(job_.delimiter);
    }
    values_->appendRecord(line_, record);
    if (!lastPosition) line_.append(o_.rowDelimiter);
    if (line_.size() >= kRecordBatch) flush();
  }

  void footer() override { flush(); }

 private:
  std::string typeAndLength(int field, const char* prefix) {
    const FieldDescriptor& d = job_.table.descriptors()[static_cast<size_t>(field)];
    return fmt::format("{}{}:{}", prefix, d.type(), d.bytes[16]);
  }

  // Writes the line, converted to the output's code page.
  void flush() {
    writeLine(job_.out, line_, o_.utf8 ? &utf8_ : nullptr, converted_);
    line_.clear();
  }

  JobContext& job_;
  const ConversionOptions& o_;
  ValueRules rules_;
  Utf8Converter utf8_;
  std::unique_ptr<ValueWriter> values_;
  TextBuffer line_;
  TextBuffer converted_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeDelimitedWriter(JobContext& job) { return std::make_unique<DelimitedWriter>(job); }

}  // namespace tabrix
