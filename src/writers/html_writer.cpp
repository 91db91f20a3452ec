// HTML pages: a table with a caption and a header row, or one small table per
// record (form layout). Every value is escaped; values that look like web,
// mail or file addresses become links. With paging the output is split into
// numbered page files that link to each other; every page is a complete
// document with its own head and closing tags. A page says its charset: the
// job's ANSI code page, or UTF-8 when the values are converted.
#include "writers/html_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "writers/delimited_values.h"
#include "writers/markup_escape.h"
#include "writers/memo_text.h"
#include "writers/text_encodings.h"
#include "writers/trimmed_values.h"
#include "util/text_buffer.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

// A colour given as text: hexadecimal digits, with or without a leading '#'.
std::string_view colourDigits(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  return text;
}

// "#rrggbb" of a 0x00BBGGRR value.
std::string rgbColour(uint32_t value) {
  return fmt::format("#{:02x}{:02x}{:02x}", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// Whether value holds "@", "www.", "http:", ":\\" or "ftp.". Each of them
// holds '@', ':' or '.', so one pass finds the only places worth a look.
bool looksLikeAddress(std::string_view value) {
  const char* t = value.data();
  const size_t n = value.size();
  const auto markAt = [t, n](size_t i) {
    switch (t[i]) {
      case '@': return true;
      case ':': return (i + 1 < n && t[i + 1] == '\\') || (i >= 4 && std::memcmp(t + i - 4, "http", 4) == 0);
      case '.': return i >= 3 && (std::memcmp(t + i - 3, "www", 3) == 0 || std::memcmp(t + i - 3, "ftp", 3) == 0);
      default: return false;
    }
  };
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i at = _mm_set1_epi8('@'), colon = _mm_set1_epi8(':'), point = _mm_set1_epi8('.');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    unsigned found = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, at), _mm_cmpeq_epi8(v, colon)), _mm_cmpeq_epi8(v, point))));
    for (; found; found &= found - 1)
      if (markAt(i + static_cast<size_t>(std::countr_zero(found)))) return true;
  }
#endif
  for (; i < n; ++i)
    if (markAt(i)) return true;
  return false;
}

size_t fileNameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Page p (from 1) of a paged output lies beside the output and takes its
// name with p before the first ".htm" of the file name (exact case first,
// then any case; what follows those four characters is dropped), else before
// the file name's extension, else at its end.
class PageNames {
 public:
  explicit PageNames(const std::string& output) : output_(output) {
    const size_t name = fileNameStart(output);
    auto findHtm = [&](bool anyCase) {
      for (size_t i = name; i + 4 <= output.size(); ++i) {
        const std::string_view at(output.data() + i, 4);
        if (at == ".htm" || (anyCase && at[0] == '.' && (at[1] | 0x20) == 'h' && (at[2] | 0x20) == 't' &&
                             (at[3] | 0x20) == 'm'))
          return i;
      }
      return std::string::npos;
    };
    size_t cut = findHtm(false);
    if (cut == std::string::npos) cut = findHtm(true);
    if (cut != std::string::npos) {
      prefix_ = output.substr(0, cut);
      suffix_ = output.substr(cut, 4);
      return;
    }
    const size_t dot = output.rfind('.');
    if (dot != std::string::npos && dot > name) {
      prefix_ = output.substr(0, dot);
      suffix_ = output.substr(dot);
    } else {
      prefix_ = output;
    }
  }

  // The path of page p; page 0 is the output itself.
  std::string path(int p) const { return p == 0 ? output_ : fmt::format("{}{}{}", prefix_, p, suffix_); }
  // What a link from one page to page p holds: the pages share a folder, so
  // the file name alone, which keeps the pages working when moved together.
  std::string link(int p) const {
    const std::string full = path(p);
    return full.substr(fileNameStart(full));
  }

 private:
  std::string output_;
  std::string prefix_;
  std::string suffix_;
};

class HtmlWriter final : public RecordWriter {
 public:
  explicit HtmlWriter(JobContext& job)
      : job_(job), o_(job.options), pages_(job.outputPath),
        paging_(job.options.htmlPaging && job.options.htmlMaxPerPage > 0), utf8_(job.codePages.ansi) {
    size_t capacity = 32;
    capacity = std::max(capacity, job_.plan.textCapacity);
    value_.resize(capacity);
    buildPageStart();
  }

  void header() override { emit(pageStart_); }

  void record(const uint8_t* record, bool) override {
    const uint64_t position = job_.walkPosition;
    // A page never stays empty: a break waits until its page holds a record.
    if (paging_ && position % static_cast<uint64_t>(o_.htmlMaxPerPage) == 0 && recordsOnPage_ > 0 &&
        !nextPage())
      return;
    ++recordsOnPage_;
    line_.clear();
    if (o_.htmlAsForm) {
      line_.append("<TABLE BORDER>");
      for (const PlannedColumn& column : job_.plan.columns) {
        line_.append("<TR><TD><B>");
        appendText(column.source->name);
        line_.append("</B></TD><TD>");
        // A value of blanks or NULL shows as an empty cell, as an empty one does.
        const std::string_view value =
            isNull(column.nullBit, record) ? std::string_view() : decodedValue(column, record);
        appendValue(trimBlanks(value).empty() ? std::string_view() : value);
        line_.append("</TD></TR>");
      }
      line_.append("</TABLE><BR>");
    } else {
      line_.append("<TR>");
      if (o_.htmlRecordNumber) {
        char* p = line_.extend(32);
        line_.commit(static_cast<size_t>(fmt::format_to(p, "<TD>{}</TD>", position + 1) - p));
      }
      for (const PlannedColumn& column : job_.plan.columns) {
        line_.append("<TD>");
        if (isNull(column.nullBit, record)) {
          appendValue({});
        } else if (column.valueClass == ValueClass::Memo) {
          readMemoText(job_.table, column.field, record, job_.codePages, memo_);
          appendValue(trimBlanks(memo_));
        } else {
          appendValue(trimBlanks(decodedValue(column, record)));
        }
        line_.append("</TD>");
      }
    }
    emit(line_);
  }

  void footer() override {
    line_.clear();
    if (!o_.htmlAsForm) line_.append("</TABLE>");
    if (page_ > 0) {
      line_.append("<br>");
      appendLink(pages_.link(page_ - 1), "Previos");
    }
    line_.append("</body></html>");
    emit(line_);
  }

  // The job closes the first page; a later page is closed here, so a failure
  // names the page it happened in.
  Result close() override {
    if (pageError_.empty() && page_ > 0 && !job_.out.close())
      pageError_ = fmt::format("{}: {}", pages_.path(page_), job_.out.errorText());
    return pageError_.empty() ? Result() : Result::failure(pageError_);
  }

 private:
  // What every page begins with: the head, the body tag and, in table
  // layout, the table head with its caption and header row.
  void buildPageStart() {
    const std::string& title = o_.htmlTitle.empty() ? job_.table.path() : o_.htmlTitle;
    TextBuffer& s = pageStart_;
    s.append("<html><head>");
    const std::string_view charset = job_.utf8 ? std::string_view("UTF-8") : htmlCharsetName(job_.codePages.ansi);
    if (!charset.empty()) {
      s.append("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=");
      s.append(charset);
      s.append("\">");
    }
    s.append("<title>");
    appendEscapedMarkup(s, title.data(), title.size(), MarkupKind::Html);
    s.append("</title></head><body text=\"");
    appendColour(o_.htmlTextColor, o_.htmlTextRgb);
    s.append("\" bgcolor=\"");
    appendColour(o_.htmlBackground, o_.htmlBackgroundRgb);
    s.append("\">\n");
    if (o_.htmlAsForm) return;
    const size_t columns = job_.plan.columns.size() + (o_.htmlRecordNumber ? 1 : 0);
    s.append(fmt::format("<TABLE BORDER{}><TR> <TH COLSPAN={} > <B>",
                         o_.htmlBorder == 1 ? std::string() : fmt::format("={}", o_.htmlBorder), columns));
    appendEscapedMarkup(s, title.data(), title.size(), MarkupKind::Html);
    s.append("</B> </TH></TR>\n<TR>");
    if (o_.htmlRecordNumber) s.append("<TH>N</TH>");
    for (const PlannedColumn& column : job_.plan.columns) {
      const std::string& name = column.source->name;
      s.append("<TH>");
      appendEscapedMarkup(s, name.data(), name.size(), MarkupKind::Html);
      s.append("</TH>");
    }
    s.append("</TR>\n");
  }

  // A colour given as text wins over the chosen value, each colour on its own.
  void appendColour(const std::string& text, uint32_t rgb) {
    const std::string_view digits = colourDigits(text);
    if (digits.empty()) {
      pageStart_.append(rgbColour(rgb));
      return;
    }
    pageStart_.push_back('#');
    appendEscapedMarkup(pageStart_, digits.data(), digits.size(), MarkupKind::Html);
  }

  std::string_view decodedValue(const PlannedColumn& column, const uint8_t* record) {
    if (isBlankDate(*column.source, record)) return {};
    return {value_.data(), column.decode(job_.table, column.field, record, job_.decode, value_.data())};
  }

  // Writes a piece of the page; a UTF-8 page is UTF-8 throughout, its head included.
  void emit(const TextBuffer& text) { writeLine(job_.out, text, job_.utf8 ? &utf8_ : nullptr, converted_); }

  void appendText(std::string_view text) { appendEscapedMarkup(line_, text.data(), text.size(), MarkupKind::Html); }

  void appendValue(std::string_view value) {
    if (value.empty()) {
      line_.append("&nbsp;");
    } else if (looksLikeAddress(value)) {
      line_.append("<a href= \"");
      if (value.find('@') != std::string_view::npos) line_.append("mailto:");
      appendText(value);
      line_.append("\" > ");
      appendText(value);
      line_.append(" </a>");
    } else {
      appendText(value);
    }
  }

  void appendLink(const std::string& target, const char* text) {
    line_.append("<a href= \"");
    appendText(target);
    line_.append("\" >");
    line_.append(text);
    line_.append("</a>");
  }

  // Ends the current page with its links and opens the next one. False when
  // a page could not be written: the walk then stops with the reason kept.
  bool nextPage() {
    line_.clear();
    if (!o_.htmlAsForm) line_.append("</TABLE>");
    ++page_;
    line_.append("<br>");
    if (page_ > 1) {
      appendLink(pages_.link(page_ - 2), "Previos");
      line_.push_back('|');
    }
    appendLink(pages_.link(page_), "Next");
    line_.append("</body></html>");
    emit(line_);
    const std::string finished = pages_.path(page_ - 1);
    if (!job_.out.close()) {
      pageError_ = fmt::format("{}: {}", finished, job_.out.errorText());
      return false;
    }
    const std::string next = pages_.path(page_);
    if (!job_.out.open(next, false)) {
      pageError_ = fmt::format("{}: {}", next, job_.out.errorText());
      return false;
    }
    recordsOnPage_ = 0;
    emit(pageStart_);
    return true;
  }

  JobContext& job_;
  const ConversionOptions& o_;
  PageNames pages_;
  const bool paging_;
  int page_ = 0;
  uint64_t recordsOnPage_ = 0;
  std::string pageError_;
  TextBuffer pageStart_;
  TextBuffer line_;
  Utf8Converter utf8_;
  TextBuffer converted_;
  std::vector<char> value_;
  std::string memo_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeHtmlWriter(JobContext& job) { return std::make_unique<HtmlWriter>(job); }

}  // namespace tabrix
