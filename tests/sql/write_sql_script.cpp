// write_sql_script: writes the SQL script of one table in any dialect, the
// Ansi one included, which no command-line switch selects.
//
//   write_sql_script ansi|oracle|mysql|mssql|postgresql TABLE OUTPUT [rowid] [names] [utf8]
//
// The options are those of a command-line run with /HDR: deleted records are
// left out, text is enclosed in apostrophes. "rowid" adds the ROWID column,
// "names" lists the columns in every INSERT, "utf8" writes UTF-8.
#include <cstdio>
#include <string>

#include "convert/conversion.h"

namespace {

int usage() {
  std::fputs("usage: write_sql_script ansi|oracle|mysql|mssql|postgresql TABLE OUTPUT [rowid] [names] [utf8]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using tabrix::SqlDialect;
  if (argc < 4) return usage();
  tabrix::ConversionOptions o;
  const std::string dialect = argv[1];
  if (dialect == "ansi") o.sqlDialect = SqlDialect::Ansi;
  else if (dialect == "oracle") o.sqlDialect = SqlDialect::Oracle;
  else if (dialect == "mysql") o.sqlDialect = SqlDialect::MySql;
  else if (dialect == "mssql") o.sqlDialect = SqlDialect::MsSql;
  else if (dialect == "postgresql") o.sqlDialect = SqlDialect::PostgreSql;
  else return usage();
  for (int a = 4; a < argc; ++a) {
    const std::string word = argv[a];
    if (word == "rowid") o.addRowId = true;
    else if (word == "names") o.insertWithColumnNames = true;
    else if (word == "utf8") o.utf8 = true;
    else return usage();
  }
  o.outputFormat = tabrix::OutputFormat::Sql;
  o.outputPath = argv[3];
  o.commandLineMode = true;
  o.skipDeleted = true;
  o.quoteChar = '\'';
  o.dateOrder = '2';
  o.dateSeparator = '-';

  tabrix::DbfTable table;
  if (const tabrix::Result opened = table.open(argv[2], tabrix::TableOpenOptions{}); !opened) {
    std::fprintf(stderr, "%s: %s\n", argv[2], opened.reason().c_str());
    return 1;
  }
  const tabrix::ConversionResult result = tabrix::runConversion(o, table, nullptr);
  if (!result.ok) {
    std::fprintf(stderr, "%s: %s\n", argv[3], result.error.c_str());
    return 1;
  }
  return 0;
}
