// A new database is written into a staged file, so a failed job leaves none;
// a table added to an existing database is written in one transaction, which a
// failed job rolls back. The staged file is private to the job until it is
// renamed into place, so it is written without a journal.
//
// Column types: INTEGER for whole numbers (N without decimals, I, +) and
// logicals (0/1); REAL for N with decimals, F, B and O; TEXT for text, memos,
// ISO dates and date-times, and currency as exact decimal text with four
// decimals; BLOB for binary values. NULL for VFP null flags, blank dates,
// '?' logicals and numbers that are blank or no number.
#include "writers/sqlite_writer.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "platform/file.h"
#include "util/ascii.h"
#include "util/text_buffer.h"
#include "writers/memo_text.h"
#include "writers/trimmed_values.h"
#include "writers/typed_values.h"

namespace tabrix {

namespace {

enum class Affinity { Integer, Real, Text, Blob };

Affinity affinityOf(const PlannedColumn& column) {
  switch (column.valueClass) {
    case ValueClass::Number: return column.decimals == 0 && !column.kind().floatingPoint ? Affinity::Integer : Affinity::Real;
    case ValueClass::Integer:
    case ValueClass::Logical: return Affinity::Integer;
    case ValueClass::Double: return Affinity::Real;
    case ValueClass::Binary: return Affinity::Blob;
    default: return Affinity::Text;
  }
}

const char* typeName(Affinity a) {
  switch (a) {
    case Affinity::Integer: return "INTEGER";
    case Affinity::Real: return "REAL";
    case Affinity::Blob: return "BLOB";
    default: return "TEXT";
  }
}

std::string quoted(std::string_view name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + '"';
}

// The source's file name without its extension, made a name SQL needs no
// quotes for: letters, digits and '_', not starting with a digit, not in
// SQLite's own "sqlite_" names.
std::string mendedTableName(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  for (char& c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || equalsIgnoringCase(std::string_view(name).substr(0, 7), "sqlite_"))
    name = "t_" + name;
  return name;
}

class SqliteWriter final : public RecordWriter {
 public:
  explicit SqliteWriter(JobContext& job)
      : job_(job), utf8_(job.codePages.ansi), trimmed_(job), values_(job.plan.columns.size()) {
    job_.decode.dateFormat.iso = true;
    for (const PlannedColumn& column : job_.plan.columns) affinities_.push_back(affinityOf(column));
  }
  ~SqliteWriter() override { finish(false); }

  bool opensOutput() const override { return true; }

  Result open() override {
    const std::string& path = job_.outputPath;
    if (job_.options.toStandardOutput) return Result::failure("a database cannot be written to standard output");
    const bool exists = pathKind(path) != PathKind::Missing;
    const bool adding = job_.options.addToExisting || (job_.options.appendToOutput && !job_.options.firstAppendedJob);
    std::string writePath = path;
    if (exists && !adding) return Result::failure("a database is there already; /addtoexist adds the table to it");
    if (!exists) {
      if (const Result staged = job_.files.create(path, writePath); !staged) return staged;
    }
    // The connection is this writer's alone: no locking between threads.
    if (sqlite3_open_v2(writePath.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      return Result::failure(fmt::format("cannot open the database: {}", db_ ? sqlite3_errmsg(db_) : "out of memory"));
    if (!exists) execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
    execute("BEGIN IMMEDIATE");
    if (!failure_.empty()) return Result::failure(failure_);
    return {};
  }

  void header() override {
    if (job_.plan.columns.empty()) {
      failure_ = "a table without columns cannot be a SQLite table";
      return;
    }
    tableName_ = uniqueTableName(mendedTableName(job_.table.path()));
    std::string create = fmt::format("CREATE TABLE {} (", quoted(tableName_));
    std::string insert = fmt::format("INSERT INTO {} VALUES (", quoted(tableName_));
    std::vector<std::string> taken;
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) {
      std::string name(utf8Text(c, job_.plan.columns[c].title));
      // SQLite compares column names without regard to ASCII case.
      const std::string base = name;
      for (int n = 2; std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return equalsIgnoringCase(t, name); }); ++n)
        name = fmt::format("{}_{}", base, n);
      taken.push_back(name);
      create += fmt::format("{}{} {}", c ? ", " : "", quoted(name), typeName(affinities_[c]));
      insert += c ? ",?" : "?";
    }
    execute(create + ")");
    if (failure_.empty() && sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &insert_, nullptr) != SQLITE_OK)
      failure_ = sqlite3_errmsg(db_);
  }

  void record(const uint8_t* record, bool) override {
    if (!failure_.empty()) return;
    for (size_t c = 0; c < job_.plan.columns.size(); ++c) bind(static_cast<int>(c) + 1, c, record);
    if (sqlite3_step(insert_) != SQLITE_DONE) failure_ = sqlite3_errmsg(db_);
    sqlite3_reset(insert_);
  }

  Result close() override {
    finish(failure_.empty());
    if (!failure_.empty()) return Result::failure(fmt::format("{}: {}", job_.outputPath, failure_));
    return {};
  }

 private:
  void bind(int at, size_t c, const uint8_t* record) {
    const PlannedColumn& column = job_.plan.columns[c];
    const Field& f = *column.source;
    if (isNull(column.nullBit, record)) {
      sqlite3_bind_null(insert_, at);
      return;
    }
    switch (column.valueClass) {
      case ValueClass::Logical:
        if (const auto truth = logicalValue(f, record)) sqlite3_bind_int(insert_, at, *truth ? 1 : 0);
        else sqlite3_bind_null(insert_, at);
        return;
      case ValueClass::Integer: sqlite3_bind_int(insert_, at, integerValue(f, record)); return;
      case ValueClass::Double: sqlite3_bind_double(insert_, at, doubleValue(f, record)); return;
      case ValueClass::Currency: {
        TextBuffer& text = values_[c];
        text.clear();
        text.commit(formatCurrency(currencyAmount(f, record), 4, text.extend(32)));
        bindText(at, text.view());
        return;
      }
      case ValueClass::Binary: {
        TextBuffer& bytes = values_[c];
        bytes.clear();
        bytes.append(binaryValue(job_.table, column, record));
        sqlite3_bind_blob64(insert_, at, bytes.data() ? bytes.data() : "", bytes.size(), SQLITE_STATIC);
        return;
      }
      case ValueClass::Date:
      case ValueClass::DateTime:
        if (holdsDate(job_, column, record)) bindText(at, utf8Text(c, trimmed_.trimmed(column, record)));
        else sqlite3_bind_null(insert_, at);
        return;
      case ValueClass::Number: bindNumber(at, affinities_[c], trimmed_.trimmed(column, record)); return;
      case ValueClass::Memo:
        readMemoText(job_.table, column.field, record, job_.codePages, memo_);
        bindText(at, utf8Text(c, memo_));
        return;
      default: bindText(at, utf8Text(c, trimmed_.trimmed(column, record))); return;
    }
  }

  // A number as the column's type; blank or no number (an overflow mark) is NULL.
  void bindNumber(int at, Affinity affinity, std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    if (affinity == Affinity::Integer) {
      int64_t whole = 0;
      if (auto [p, ec] = std::from_chars(text.data(), end, whole); ec == std::errc() && p == end && !text.empty()) {
        sqlite3_bind_int64(insert_, at, whole);
        return;
      }
    }
    double value = 0;
    if (auto [p, ec] = std::from_chars(text.data(), end, value); ec == std::errc() && p == end && !text.empty())
      sqlite3_bind_double(insert_, at, value);
    else sqlite3_bind_null(insert_, at);
  }

  void bindText(int at, std::string_view text) {
    sqlite3_bind_text64(insert_, at, text.data() ? text.data() : "", text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }

  // ANSI text as UTF-8 in column c's buffer, which holds it until the next record.
  std::string_view utf8Text(size_t c, std::string_view ansi) {
    TextBuffer& text = values_[c];
    text.clear();
    // ASCII is the same in UTF-8.
    if (std::all_of(ansi.begin(), ansi.end(), [](char b) { return static_cast<uint8_t>(b) < 0x80; })) {
      text.append(ansi);
      return text.view();
    }
    text.commit(utf8_.convert(ansi.data(), ansi.size(), text.extend(Utf8Converter::capacityFor(ansi.size()))));
    return text.view();
  }

  std::string uniqueTableName(const std::string& base) {
    sqlite3_stmt* query = nullptr;
    std::string name = base;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE name = ? COLLATE NOCASE", -1, &query, nullptr) !=
        SQLITE_OK)
      return name;
    for (int n = 2;; ++n) {
      sqlite3_bind_text(query, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      const bool taken = sqlite3_step(query) == SQLITE_ROW;
      sqlite3_reset(query);
      if (!taken) break;
      name = fmt::format("{}_{}", base, n);
    }
    sqlite3_finalize(query);
    return name;
  }

  void execute(const std::string& sql) {
    if (!failure_.empty() || !db_) return;
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      failure_ = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
    }
  }

  // Commits the table or rolls it back, and closes the database.
  void finish(bool keep) {
    if (!db_) return;
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    if (keep) execute("COMMIT");
    if (!keep || !failure_.empty()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (sqlite3_close(db_) != SQLITE_OK && failure_.empty()) failure_ = "the database could not be closed";
    db_ = nullptr;
  }

  JobContext& job_;
  Utf8Converter utf8_;
  TrimmedValues trimmed_;
  std::vector<Affinity> affinities_;
  std::string tableName_;
  std::string failure_;  // the first failure; later records are not written
  std::string memo_;
  // A buffer per column: SQLite reads the bound values when the row is inserted.
  std::vector<TextBuffer> values_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

}  // namespace

std::unique_ptr<RecordWriter> makeSqliteWriter(JobContext& job) { return std::make_unique<SqliteWriter>(job); }

}  // namespace tabrix
