// A Clipper script whose DBCREATE call recreates the exported fields: one
// array line per column with its type letter, length byte and decimals byte as
// the table stores them (Clipper reads a character field above 255 bytes from
// the same two bytes).
#include "writers/prg_writer.h"

#include <fmt/format.h>

namespace tabrix {

namespace {

constexpr size_t kTitleColumn = 31;

class PrgWriter final : public RecordWriter {
 public:
  explicit PrgWriter(JobContext& job) : job_(job) {}

  void header() override {
    const std::string& path = job_.table.path();
    const size_t slash = path.rfind('/');
    write(fmt::format(" DBCREATE (\"{}\", {{;\r\n", slash == std::string::npos ? path : path.substr(slash + 1)));
    for (const PlannedColumn& column : job_.plan.columns) {
      const int field = column.field;
      const std::string& title = column.title;
      const FieldDescriptor& d = job_.table.descriptors()[static_cast<size_t>(field)];
      // A title of 31 characters or more gets no alignment.
      const size_t pad = title.size() < kTitleColumn ? kTitleColumn - title.size() : 0;
      write(fmt::format("{{\"{}\",  {:{}}\"{}\",  {},  {}  }},; \r\n", title, "", pad, d.type(), d.bytes[16], d.bytes[17]));
    }
    write("\r\n })");
  }

  void record(const uint8_t*, bool) override {}

 private:
  void write(const std::string& piece) { job_.out.write(piece); }

  JobContext& job_;
};

}  // namespace

std::unique_ptr<RecordWriter> makePrgWriter(JobContext& job) { return std::make_unique<PrgWriter>(job); }

}  // namespace tabrix
