// Every column has the same width on every line, so a reader cuts the line at
// fixed positions: fields of stored text keep their stored bytes, binary
// numbers and date-times are right-aligned in the width of their text.
// Memos, pictures, blobs and varying-length fields have no fixed text and are
// left out.
#include "writers/sdf_writer.h"

#include <cstring>
#include <vector>

namespace tabrix {

namespace {

struct SdfColumn {
  size_t index = 0;  // in the plan
  size_t width = 0;  // 0: left out
  bool stored = false;  // the stored bytes, else the decoded text right-aligned
};

SdfColumn sdfColumnOf(const PlannedColumn& column, size_t index) {
  const FieldKind& kind = column.kind();
  switch (kind.valueClass) {
    case ValueClass::Text: return {index, kind.storage == Storage::Text ? column.width : size_t{0}, true};
    case ValueClass::Number:
    case ValueClass::Date:
    case ValueClass::Logical: return {index, column.width, true};
    case ValueClass::Integer:
    case ValueClass::Currency:
    case ValueClass::Double:
    case ValueClass::DateTime: return {index, kind.textWidth, false};
    default: return {};
  }
}

class SdfWriter final : public RecordWriter {
 public:
  explicit SdfWriter(JobContext& job) : job_(job) {
    size_t width = 0;
    for (size_t i = 0; i < job_.plan.columns.size(); ++i) {
      const SdfColumn column = sdfColumnOf(job_.plan.columns[i], i);
      if (column.width == 0) continue;
      columns_.push_back(column);
      width += column.width;
    }
    // A decoded value may run past its width before it is cut.
    line_.resize(width + job_.plan.textCapacity + 2);
  }

  void record(const uint8_t* record, bool) override {
    char* const start = line_.data();
    char* p = start;
    for (const SdfColumn& c : columns_) {
      const PlannedColumn& column = job_.plan.columns[c.index];
      if (isNull(column.nullBit, record)) std::memset(p, ' ', c.width);
      else if (c.stored) std::memcpy(p, record + column.source->offset, c.width);
      else placeAligned(column, c.width, record, p);
      p += c.width;
    }
    std::memcpy(p, "\r\n", 2);
    job_.out.write(start, static_cast<size_t>(p + 2 - start));
  }

 private:
  // Decodes the value at p and right-aligns it in width characters; a longer
  // value keeps its start.
  void placeAligned(const PlannedColumn& column, size_t width, const uint8_t* record, char* p) const {
    const size_t n = column.decode(job_.table, column.field, record, job_.decode, p);
    if (n >= width) return;
    std::memmove(p + width - n, p, n);
    std::memset(p, ' ', width - n);
  }

  JobContext& job_;
  std::vector<SdfColumn> columns_;
  std::vector<char> line_;  // one line, and room for the last value to run past its width
};

}  // namespace

std::unique_ptr<RecordWriter> makeSdfWriter(JobContext& job) { return std::make_unique<SdfWriter>(job); }

}  // namespace tabrix
