// The XML document is always UTF-8. Element names are mended and converted
// once, at the header; each value is escaped in the ANSI code page (markup
// characters and control bytes lie below every double-byte trail byte, so
// escaping byte-wise is safe there too) and then converted into the record
// line, which goes out in one write.
#include "writers/xml_writer.h"

#include <fmt/format.h>

#include <filesystem>
#include <vector>

#include "writers/markup_escape.h"
#include "writers/trimmed_values.h"
#include "writers/memo_text.h"
#include "writers/typed_values.h"
#include "util/text_buffer.h"
#include "util/text_scan.h"
#include "util/utf8.h"

namespace tabrix {

namespace {

bool isNameStartChar(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c) {
  return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

class XmlWriter final : public RecordWriter {
 public:
  explicit XmlWriter(JobContext& job) : job_(job), o_(job.options), utf8_(job.codePages.ansi), values_(job) {
    rootTag_ = xmlElementName(toUtf8(o_.xmlRootTag));
    recordTag_ = xmlElementName(toUtf8(o_.xmlRecordTag));
    // Each field's element tags are the same in every record.
    for (const PlannedColumn& column : job_.plan.columns) {
      const std::string name = xmlElementName(toUtf8(column.title));
      tags_.push_back({"     <" + name + ">", "</" + name + ">\r\n", "     <" + name + " null=\"true\"/>\r\n"});
    }
    recordStart_ = "   <" + recordTag_ + ">\r\n";
    recordEnd_ = "   </" + recordTag_ + ">\r\n";
  }

  void header() override {
    line_.clear();
    line_.append("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<");
    line_.append(rootTag_);
    line_.append(" Database=\"");
    appendDatabasePath();
    line_.append("\">\r\n <Structure>\r\n");
    for (const PlannedColumn& column : job_.plan.columns) {
      const Field& f = *column.source;
      line_.append("    <Field>\r\n   <Field_Name>");
      appendText(column.title);
      line_.append(fmt::format("</Field_Name>\r\n     <Field_Type>{}</Field_Type>\r\n"
                               "     <Field_Len>{}</Field_Len>\r\n     <Field_Dec>{}</Field_Dec>\r\n    </Field>\r\n",
                               f.kind.typeName, f.length, f.decimals));
    }
    line_.append("  </Structure>\r\n  <Records>\r\n");
    job_.out.write(line_.view());
  }

  void record(const uint8_t* record, bool lastPosition) override {
    job_.out.write(recordStart_);
    if (o_.tagDeleted) job_.out.write(record[0] == '*' ? "   <Deleted>Y</Deleted>" : "   <Deleted></Deleted>");
    line_.clear();
    if (o_.addRowId) {
      char* p = line_.extend(64);
      line_.commit(static_cast<size_t>(fmt::format_to(p, "     <ROWID>{}</ROWID>\r\n", job_.recordsWritten) - p));
    }
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      const PlannedColumn& column = job_.plan.columns[c];
      const ElementTags& tags = tags_[c];
      if (isNull(column.nullBit, record)) {
        line_.append(tags.null);
        continue;
      }
      line_.append(tags.open);
      if (column.valueClass == ValueClass::Memo) appendMemo(column.field, record);
      else if (column.valueClass == ValueClass::Binary && o_.keepBinary)
        appendBase64(line_, binaryValue(job_.table, column, record));
      else appendText(values_.trimmed(column, record));
      line_.append(tags.close);
    }
    if (!lastPosition) line_.append(o_.rowDelimiter);
    job_.out.write(line_.view());
    job_.out.write(recordEnd_);
  }

  void footer() override {
    job_.out.write(" </Records>\r\n </");
    job_.out.write(rootTag_);
    job_.out.write(">");
  }

 private:
  std::string toUtf8(std::string_view ansi) {
    std::string text(Utf8Converter::capacityFor(ansi.size()), '\0');
    text.resize(utf8_.convert(ansi.data(), ansi.size(), text.data()));
    return text;
  }

  // The escaped cell, converted to UTF-8, at the end of the line.
  void appendCell() {
    char* p = line_.extend(Utf8Converter::capacityFor(cell_.size()));
    line_.commit(utf8_.convert(cell_.data(), cell_.size(), p));
  }

  void appendText(std::string_view ansi) {
    // Most values need neither conversion nor escapes.
    if (isPlainText<'&', '<', '>', '"'>(ansi)) {
      line_.append(ansi);
      return;
    }
    cell_.clear();
    appendEscapedMarkup(cell_, ansi.data(), ansi.size(), MarkupKind::Xml);
    appendCell();
  }

  // The table's absolute path. A path that is valid UTF-8 already is kept as
  // it is; any other is read as ANSI text.
  void appendDatabasePath() {
    std::string path = job_.table.path();
    std::error_code error;
    if (!path.empty()) {
      std::string absolute = std::filesystem::absolute(path, error).string();
      if (!error) path = std::move(absolute);
    }
    if (isValidUtf8(path)) {
      appendEscapedMarkup(line_, path.data(), path.size(), MarkupKind::Xml);
    } else {
      appendText(path);
    }
  }

  // Tabs become blanks and trailing blanks go; each CR LF pair becomes a line
  // break tag, which is escaped like the rest of the text.
  void appendMemo(int field, const uint8_t* record) {
    readMemoText(job_.table, field, record, job_.codePages, memo_);
    for (char& c : memo_)
      if (c == '\t') c = ' ';
    size_t n = memo_.size();
    while (n > 0 && memo_[n - 1] == ' ') --n;
    cell_.clear();
    size_t from = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
      if (memo_[i] != '\r' || memo_[i + 1] != '\n') continue;
      appendEscapedMarkup(cell_, memo_.data() + from, i - from, MarkupKind::Xml);
      cell_.append("&lt;br /&gt;");
      from = ++i + 1;
    }
    appendEscapedMarkup(cell_, memo_.data() + from, n - from, MarkupKind::Xml);
    appendCell();
  }

  JobContext& job_;
  const ConversionOptions& o_;
  Utf8Converter utf8_;
  TrimmedValues values_;
  std::string rootTag_;
  std::string recordTag_;
  struct ElementTags {
    std::string open;   // indented
    std::string close;  // with the line break
    std::string null;   // the empty element of a NULL
  };
  std::vector<ElementTags> tags_;  // per exported column
  std::string recordStart_;
  std::string recordEnd_;
  std::string memo_;
  TextBuffer cell_;
  TextBuffer line_;
};

}  // namespace

std::string xmlElementName(std::string_view utf8Title) {
  std::string name;
  const char* p = utf8Title.data();
  const char* const end = p + utf8Title.size();
  while (p < end) {
    const char* const start = p;
    const char32_t c = nextCodePoint(p, end);
    if (c == kNoCodePoint || !isNameChar(c)) {
      name.push_back('_');
      continue;
    }
    if (start == utf8Title.data() && !isNameStartChar(c)) name.push_back('_');
    name.append(start, p);
  }
  if (name.empty()) name = "_";
  return name;
}

std::unique_ptr<RecordWriter> makeXmlWriter(JobContext& job) { return std::make_unique<XmlWriter>(job); }

}  // namespace tabrix
