// An SQL script: DROP and CREATE TABLE (with the names option on), then one
// INSERT per record, each on its own line. Every statement must load in the
// database its dialect names, so names are quoted where that database needs
// it and every column type holds every value its field can store; the
// decisions are listed in docs/sql-output.md. Values are prepared by the
// ValueWriter the delimited outputs use, with its SQL rules.
#include "writers/sql_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "writers/delimited_values.h"
#include "writers/text_encodings.h"
#include "util/ascii.h"
#include "util/text_buffer.h"

namespace tabrix {

namespace {

// Words PostgreSQL reserves for itself and for functions and types: none of
// them can name a table or a column unquoted. The Ansi script uses the same
// list.
constexpr std::string_view kPostgreSqlReserved[] = {
    "all", "analyse", "analyze", "and", "any", "array", "as", "asc", "asymmetric", "authorization", "binary",
    "both", "case", "cast", "check", "collate", "collation", "column", "concurrently", "constraint", "create",
    "cross", "current_catalog", "current_date", "current_role", "current_schema", "current_time",
    "current_timestamp", "current_user", "default", "deferrable", "desc", "distinct", "do", "else", "end",
    "except", "false", "fetch", "for", "foreign", "freeze", "from", "full", "grant", "group", "having", "ilike",
    "in", "initially", "inner", "intersect", "into", "is", "isnull", "join", "lateral", "leading", "left",
    "like", "limit", "localtime", "localtimestamp", "natural", "not", "notnull", "null", "offset", "on", "only",
    "or", "order", "outer", "overlaps", "placing", "primary", "references", "returning", "right", "select",
    "session_user", "similar", "some", "symmetric", "table", "tablesample", "then", "to", "trailing", "true",
    "union", "unique", "user", "using", "variadic", "verbose", "when", "where", "window", "with"};

// Oracle's reserved words (its columns are always quoted; this decides for the table name).
constexpr std::string_view kOracleReserved[] = {
    "access", "add", "all", "alter", "and", "any", "as", "asc", "audit", "between", "by", "char", "check",
    "cluster", "column", "column_value", "comment", "compress", "connect", "create", "current", "date",
    "decimal", "default", "delete", "desc", "distinct", "drop", "else", "exclusive", "exists", "file", "float",
    "for", "from", "grant", "group", "having", "identified", "immediate", "in", "increment", "index", "initial",
    "insert", "integer", "intersect", "into", "is", "level", "like", "lock", "long", "maxextents", "minus",
    "mlslabel", "mode", "modify", "nested_table_id", "noaudit", "nocompress", "not", "nowait", "null", "number",
    "of", "offline", "on", "online", "option", "or", "order", "pctfree", "prior", "public", "raw", "rename",
    "resource", "revoke", "row", "rowid", "rownum", "rows", "select", "session", "set", "share", "size",
    "smallint", "start", "successful", "synonym", "sysdate", "table", "then", "to", "trigger", "uid", "union",
    "unique", "update", "user", "validate", "values", "varchar", "varchar2", "view", "whenever", "where",
    "with"};

template <size_t N>
bool isListed(const std::string_view (&words)[N], std::string_view name) {
  return std::any_of(std::begin(words), std::end(words), [&](std::string_view w) { return equalsIgnoringCase(name, w); });
}

// Letters, digits and underscores, not starting with a digit: a name every
// dialect reads without quotes unless it is a reserved word.
bool isPlainIdentifier(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

std::string enclosed(std::string_view name, char open, char close) {
  std::string out(1, open);
  for (char c : name) {
    out += c;
    if (c == close) out += c;
  }
  out += close;
  return out;
}

// A table or column name as the dialect reads it. MS SQL and MySQL names are
// always bracketed or backquoted, Oracle column names always double-quoted;
// otherwise a name is double-quoted only when it is no plain identifier or a
// reserved word, so plain names keep the database's usual case folding.
std::string quotedName(std::string_view name, SqlDialect dialect, bool column) {
  switch (dialect) {
    case SqlDialect::MsSql: return enclosed(name, '[', ']');
    case SqlDialect::MySql: return enclosed(name, '`', '`');
    case SqlDialect::Oracle:
      if (column || !isPlainIdentifier(name) || isListed(kOracleReserved, name)) return enclosed(name, '"', '"');
      return std::string(name);
    case SqlDialect::Ansi:
    case SqlDialect::PostgreSql:
      if (!isPlainIdentifier(name) || isListed(kPostgreSqlReserved, name)) return enclosed(name, '"', '"');
      return std::string(name);
  }
  return std::string(name);
}

// The file title of the source, cut at the first ".dbf" in any case.
std::string tableNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (size_t i = 0; i + 4 <= name.size(); ++i) {
    if (equalsIgnoringCase(std::string_view(name).substr(i, 4), ".dbf")) {
      name.resize(i);
      break;
    }
  }
  return name;
}

// Text of any length: memos, long character fields and the fields whose
// objects live in the memo file.
const char* longTextType(SqlDialect d) {
  switch (d) {
    case SqlDialect::Ansi: return "Character Varying";
    case SqlDialect::Oracle: return "Clob";
    case SqlDialect::MySql: return "LongText";
    case SqlDialect::MsSql: return "Text";
    case SqlDialect::PostgreSql: return "Text";
  }
  return "Text";
}

const char* doubleType(SqlDialect d) {
  switch (d) {
    case SqlDialect::Oracle: return "Binary_Double";
    case SqlDialect::MySql: return "Double";
    case SqlDialect::MsSql: return "Float";
    default: return "Double Precision";
  }
}

// A fixed-width character column of the field's whole length (the high
// length byte included); beyond what the dialect's Char holds, long text.
std::string characterType(uint32_t length, SqlDialect d) {
  length = std::max<uint32_t>(length, 1);
  switch (d) {
    case SqlDialect::Ansi: return fmt::format("Character({})", length);
    case SqlDialect::Oracle: return length <= 2000 ? fmt::format("Char({})", length) : "Clob";
    case SqlDialect::MySql: return length <= 255 ? fmt::format("Char({})", length) : "MediumText";
    case SqlDialect::MsSql: return length <= 8000 ? fmt::format("Char({})", length) : "Varchar(max)";
    case SqlDialect::PostgreSql: return fmt::format("Char({})", length);
  }
  return {};
}

std::string varcharType(uint32_t length, SqlDialect d) {
  length = std::max<uint32_t>(length, 1);
  switch (d) {
    case SqlDialect::Ansi: return fmt::format("Character Varying({})", length);
    case SqlDialect::Oracle: return fmt::format("Varchar2({})", length);
    default: return fmt::format("Varchar({})", length);
  }
}

// N and F: the text of a field of length L holds up to L digits before the
// point, so L + d digits with d decimals hold every number it can store.
std::string numericType(uint32_t length, uint32_t decimals, SqlDialect d) {
  uint32_t precision = length + decimals;
  uint32_t scale = decimals;
  const uint32_t maxPrecision = d == SqlDialect::MySql ? 65 : d == SqlDialect::Oracle || d == SqlDialect::MsSql ? 38 : 1000;
  precision = std::clamp<uint32_t>(precision, 1, maxPrecision);
  scale = std::min(scale, d == SqlDialect::MySql ? std::min<uint32_t>(precision, 30) : precision);
  return fmt::format("{}({},{})", d == SqlDialect::Oracle ? "Number" : "Numeric", precision, scale);
}

std::string columnType(const Field& f, SqlDialect d) {
  const FieldKind& kind = f.kind;
  switch (kind.valueClass) {
    case ValueClass::Text:
      if (kind.storage == Storage::Varchar) return varcharType(f.length, d);
      return characterType(f.length, d);
    case ValueClass::Number:
      // A fixed-point field of at most 9 digits and no decimals holds 32-bit integers only.
      if (!kind.floatingPoint && f.decimals == 0 && f.length <= 9) return "Integer";
      return numericType(f.length, f.decimals, d);
    // The whole 64-bit amount: 15 digits, a point, 4 decimals.
    case ValueClass::Currency: return "Numeric(19,4)";
    case ValueClass::Double: return doubleType(d);
    case ValueClass::Integer:
      if (kind.autoIncrement) return d == SqlDialect::Oracle ? "Number" : "Numeric";
      return d == SqlDialect::MsSql ? "Int" : "Integer";
    case ValueClass::Date: return d == SqlDialect::MySql ? "DateTime" : "Date";
    case ValueClass::DateTime:
      switch (d) {
        case SqlDialect::Ansi:
        case SqlDialect::Oracle: return "TimeStamp";
        case SqlDialect::MySql: return "DateTime";
        case SqlDialect::MsSql: return "DateTime2";
        case SqlDialect::PostgreSql: return "Timestamp";
      }
      break;
    case ValueClass::Logical:
      switch (d) {
        case SqlDialect::Oracle: return "Char";
        case SqlDialect::MySql: return "Tinyint";
        case SqlDialect::MsSql: return "Bit";
        default: return "Boolean";
      }
    case ValueClass::Memo:
    case ValueClass::Binary:
    case ValueClass::NullFlags: break;
  }
  // Memos and the objects of the memo file, pictures, blobs, varbinary: their text form.
  return longTextType(d);
}

// A binary value kept as its bytes goes into the dialect's binary type; otherwise into text.
std::string valueType(const Field& f, SqlDialect d, bool keepBinary) {
  if (!keepBinary || f.kind.valueClass != ValueClass::Binary) return columnType(f, d);
  switch (d) {
    case SqlDialect::PostgreSql: return "Bytea";
    case SqlDialect::MySql: return "LongBlob";
    case SqlDialect::MsSql: return "VarBinary(max)";
    default: return "Blob";
  }
}

class SqlWriter final : public RecordWriter {
 public:
  explicit SqlWriter(JobContext& job)
      : job_(job), o_(job.options), dialect_(job.options.sqlDialect), utf8_(job.codePages.ansi),
        values_(makeValueWriter(job, sqlRules(job))) {
    rawTableName_ = tableNameOf(job_.table.path());
    tableName_ = quotedName(inOutputCodePage(rawTableName_), dialect_, false);
    if (o_.addRowId) names_.push_back({"ROWID", quotedName("ROWID", dialect_, true)});
    for (const PlannedColumn& column : job_.plan.columns) {
      const std::string title = uniqueTitle(column.title);
      names_.push_back({title, quotedName(inOutputCodePage(title), dialect_, true)});
    }
    head_ = fmt::format("insert into {} ", tableName_);
    if (o_.insertWithColumnNames) {
      head_ += '(';
      for (size_t c = 0; c < names_.size(); ++c) {
        if (c) head_ += ',';
        head_ += names_[c].quoted;
      }
      head_ += ") ";
    }
    head_ += "values(";
    chooseMySqlTextColumns();
  }

  // A table of no column exists in no database but PostgreSQL, and its
  // records hold nothing: its script stays empty.
  void header() override {
    if (names_.empty()) return;
    const std::string& r = o_.rowDelimiter;
    line_.clear();
    appendEncoding();
    if (!o_.exportFieldNames) {
      flush();
      return;
    }
    switch (dialect_) {
      case SqlDialect::MsSql:
        line_.append(fmt::format("  if exists ( select * from sys.tables where name = N'{}')\r\n DROP TABLE {};\r\n",
                                 doubledApostrophes(inOutputCodePage(rawTableName_)), tableName_));
        break;
      case SqlDialect::MySql:
      case SqlDialect::PostgreSql: line_.append(fmt::format(" DROP TABLE IF EXISTS {};{}", tableName_, r)); break;
      case SqlDialect::Ansi:
      case SqlDialect::Oracle: line_.append(fmt::format(" DROP TABLE {};{}", tableName_, r)); break;
    }
    line_.append(fmt::format(" CREATE TABLE {} ({}", tableName_, r));
    flush();
    for (size_t c = 0; c < names_.size(); ++c) {
      line_.clear();
      const bool rowId = o_.addRowId && c == 0;
      const size_t column = c - (o_.addRowId ? 1 : 0);
      const std::string type = rowId ? std::string(dialect_ == SqlDialect::MsSql ? "Int" : "Integer")
                               : asText_[column] ? std::string("Text")
                                                 : valueType(*job_.plan.columns[column].source, dialect_, o_.keepBinary);
      const size_t align = 31 - std::min<size_t>(names_[c].title.size(), 30);
      line_.append(names_[c].quoted);
      line_.append(fmt::format("  {:{}}{}", "", align, type));
      line_.append(c + 1 < names_.size() ? ", " : ");");
      line_.append(r);
      flush();
    }
  }

  // Statements gather in the line until a batch is full, as delimited records do.
  void record(const uint8_t* record, bool lastPosition) override {
    if (names_.empty()) return;
    line_.append(head_);
    if (o_.addRowId) {
      char* p = line_.extend(24);
      line_.commit(static_cast<size_t>(fmt::format_to(p, "{}", job_.recordsWritten) - p));
      if (!job_.plan.columns.empty()) line_.push_back(',');
    }
    values_->appendRecord(line_, record);
    line_.append(");");
    // "Go" ends a batch in the MS SQL tools, and the mysql client runs it as
    // its own "go" command; psql refuses the line, and neither Oracle nor
    // the standard knows it. It stands on a line of its own.
    const bool go = (dialect_ == SqlDialect::MsSql || dialect_ == SqlDialect::MySql) && o_.sqlAddGo &&
                    o_.sqlGoEvery > 0 &&
                    job_.recordsWritten % static_cast<uint64_t>(o_.sqlGoEvery) == 0;
    if (!lastPosition || go) line_.append(o_.rowDelimiter);
    if (go) line_.append("Go\r\n");
    if (line_.size() >= kRecordBatch) flush();
  }

  void footer() override { flush(); }

 private:
  struct Name {
    std::string title;   // as the table names it, for the alignment
    std::string quoted;  // as the script writes it
  };

  // The code page of the script's bytes, unless it is UTF-8.
  int scriptCodePage() const { return o_.outputOem ? job_.codePages.oem : job_.codePages.ansi; }

  // The statement that tells the client what the script's bytes are in,
  // where the dialect has one and knows the code page; MS SQL, Oracle and the
  // standard leave it to the client's settings.
  void appendEncoding() {
    const int page = scriptCodePage();
    const std::string& r = o_.rowDelimiter;
    if (dialect_ == SqlDialect::PostgreSql) {
      const std::string_view name = job_.utf8 ? "UTF8" : postgreSqlEncodingName(page);
      if (!name.empty()) line_.append(fmt::format("SET client_encoding TO '{}';{}", name, r));
    } else if (dialect_ == SqlDialect::MySql) {
      const std::string_view name = job_.utf8 ? "utf8mb4" : mySqlCharsetName(page);
      if (!name.empty()) line_.append(fmt::format("SET NAMES {};{}", name, r));
    }
  }

  // InnoDB refuses a table whose row may pass 8126 bytes. It counts a
  // character column at its longest in the column's character set, which is
  // the database's: the script's own encoding, or utf8mb4 as is usual now. A
  // column that may vary in length and pass 255 bytes can leave the row,
  // keeping 40 bytes in it. While the row passes the limit in either set, the
  // widest character column there becomes Text (65535 bytes hold 255
  // characters of any set).
  void chooseMySqlTextColumns() {
    asText_.assign(job_.plan.columns.size(), false);
    if (dialect_ != SqlDialect::MySql) return;
    const int page = scriptCodePage();
    const uint64_t scriptBytes = job_.utf8 ? 4 : (page == 932 || page == 936 || page == 949 || page == 950) ? 2 : 1;
    constexpr uint64_t kOffRow = 40;
    constexpr uint64_t kInnoDbRowLimit = 8126;
    struct Estimate {
      uint64_t bytesPerCharacter;
      std::vector<uint64_t> cost;  // per column; 0 for a column that cannot become Text
      uint64_t row;
    };
    // Header, null bits, transaction and row identifiers.
    const uint64_t overhead = 24 + names_.size() / 8 + (o_.addRowId ? 6 : 0);
    Estimate estimates[] = {{scriptBytes, {}, overhead}, {4, {}, overhead}};
    for (Estimate& e : estimates) {
      for (const PlannedColumn& column : job_.plan.columns) {
        const Field& f = *column.source;
        const std::string type = valueType(f, dialect_, o_.keepBinary);
        uint64_t cost = 0;
        if (type.rfind("Char(", 0) == 0 || type.rfind("Varchar(", 0) == 0) {
          const uint64_t bytes = uint64_t{std::max<uint32_t>(f.length, 1)} * e.bytesPerCharacter;
          const bool varies = e.bytesPerCharacter > 1 || f.kind.storage == Storage::Varchar;
          cost = varies && bytes > 255 ? kOffRow : bytes;
          e.cost.push_back(cost);
        } else {
          e.cost.push_back(0);
          // 4 bytes per 9 digits on each side of the point; LongText and the like leave the row.
          cost = type.rfind("Numeric(", 0) == 0 ? (f.length + f.decimals) / 9 * 4 + 8
                 : type.find("Text") != std::string::npos ? kOffRow : 8;
        }
        e.row += cost + 2;  // and its length bytes
      }
    }
    for (;;) {
      Estimate* over = nullptr;
      for (Estimate& e : estimates)
        if (e.row > kInnoDbRowLimit) over = &e;
      if (!over) return;
      const size_t widest = static_cast<size_t>(std::max_element(over->cost.begin(), over->cost.end()) - over->cost.begin());
      if (over->cost[widest] <= kOffRow) return;
      asText_[widest] = true;
      for (Estimate& e : estimates) {
        e.row = e.row + kOffRow - e.cost[widest];
        e.cost[widest] = 0;
      }
    }
  }

  // Databases compare column names without regard to case (PostgreSQL folds
  // unquoted ones), so a name that repeats an earlier one gets a number.
  std::string uniqueTitle(const std::string& title) const {
    auto taken = [&](const std::string& candidate) {
      return std::any_of(names_.begin(), names_.end(),
                         [&](const Name& n) { return equalsIgnoringCase(n.title, candidate); });
    };
    std::string unique = title;
    for (int n = 2; taken(unique); ++n) unique = fmt::format("{}_{}", title, n);
    return unique;
  }

  // Names are translated like the values, so the whole script is in one code page.
  std::string inOutputCodePage(std::string text) const {
    if (o_.outputOem) translateBytes(job_.codePages.ansiToOem, text.data(), text.size());
    return text;
  }

  static std::string doubledApostrophes(std::string_view text) {
    std::string out;
    for (char c : text) {
      out += c;
      if (c == '\'') out += c;
    }
    return out;
  }

  // Writes the line; a UTF-8 script is UTF-8 throughout, names included.
  void flush() {
    writeLine(job_.out, line_, job_.utf8 ? &utf8_ : nullptr, converted_);
    line_.clear();
  }

  JobContext& job_;
  const ConversionOptions& o_;
  SqlDialect dialect_;
  Utf8Converter utf8_;
  std::unique_ptr<ValueWriter> values_;
  std::string rawTableName_;
  std::string tableName_;
  std::vector<Name> names_;
  std::vector<bool> asText_;  // per planned column: declared Text to keep a MySQL row within InnoDB's limit
  std::string head_;
  TextBuffer line_;
  TextBuffer converted_;
};

}  // namespace

std::unique_ptr<RecordWriter> makeSqlWriter(JobContext& job) { return std::make_unique<SqlWriter>(job); }

}  // namespace tabrix
