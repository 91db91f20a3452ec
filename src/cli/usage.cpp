#include "cli/usage.h"

#include <fmt/format.h>

#include "convert/output_formats.h"

namespace tabrix {

namespace {

// The forms of a command line and what each does.
constexpr const char* kForms[][2] = {
    {"SOURCE.dbf OUTPUT.ext [switches]", ""},
    {"\"PATTERN*.dbf\" OUTPUT.ext [switches]", "all matching tables into one output"},
    {"\"PATTERN*.dbf\" FOLDER /TOext [switches]", "one output per table"},
    {"SOURCE.dbf - /TOext [switches]", "a text output to standard output"},
    {"/LIST:FILE FOLDER /TOext [switches]", "the tables named in FILE"},
    {"@FILE", "the command line written in FILE"},
};

// A group title (empty for one more line of the group above), its switches
// and what they do. Kept in step with the switches the command line reads: a
// test checks that each is named.
struct UsageLine {
  const char* group;
  const char* switches;
  const char* effect;
};

constexpr UsageLine kLines[] = {
    {"Formats", "/DBASE3 /DBASE4 /VFP /dbase7", "level of a .dbf output (dBase III by default)"},
    {"", "/ASXML", ".xls or .xlsx as an Excel 2003 XML spreadsheet"},
    {"", "/sheetname:NAME /nohdr", "workbook sheet name; no names row in a workbook"},
    {"", "/roottag:NAME /recordtag:NAME", "XML element names"},
    {"", "/tagdeleted", "XML: mark deleted records"},
    {"", "/JSONTYPES", ".json with numbers, true/false, null and ISO dates"},
    {"Records", "/SKIPD /EXPORTALL /ONLYDELETED", "leave out deleted records (default); all; only those"},
    {"", "/SKIPEMPTY /ONLYSTRUCTURE", "leave out blank records; no records at all"},
    {"", "/FILTER2:FIELD:cond,... /FILTER:FILE", "keep the records that meet field conditions"},
    {"", "/WFILTER:pattern", "keep the records in which some field matches"},
    {"", "/SORTBY:FIELD /DESC /ignorecase", "sort by one field; descending; ignoring case"},
    {"", "/REVERSE /last:N", "last record first; only the last N records"},
    {"Columns", "/COLUMNS:A,B:Title /COLUMNSLIST:FILE", "write only these columns, B under a title"},
    {"", "/EXCLUDE", "the listed columns are the ones left out"},
    {"", "/HDR /hdrlowercase /hdrcapcase", "a first line of field names; in lower or capital case"},
    {"", "/outtypes /outtypes2", "field types after the names; or on a second line"},
    {"", "/rowid", "a first column with the record's number"},
    {"Text", "/SEP; /SEPTAB /SEPPIPE /SEPSPACE", "delimiter, up to five characters (default , and tab for .tsv)"},
    {"", "/SINGLEQUOTA /DOUBLEQUOTA /ALLQUOTAS", "quote texts and dates; quote every value"},
    {"", "/LF /NOTRIM /savelb", "LF line ends; keep blanks; keep line breaks in memos"},
    {"", "/dec0 /skipseconds", "numbers without decimals; times without seconds"},
    {"", "/ISODATES", "dates as 2024-03-05, date-times as 2024-03-05T14:30:00"},
    {"", "/KEEPBINARY", "binary values as hex, base64 or SQL binary literals"},
    {"", "/utf8 /TOOEM", "UTF-8 output; output in the OEM code page"},
    {"", "/OEM /ANSI /CP:n", "read the table's text as OEM, ANSI or code page n"},
    {"SQL", "/ORACLE /MYSQL /MSSQL /SQL2000 /POSTGRESQL", "dialect (MySQL until another is chosen)"},
    {"", "/insertwithcolumns /createonly", "INSERTs name their columns; only DROP and CREATE"},
    {"", "/go /go:N", "a \"Go\" line every 100 or N records"},
    {"HTML", "/TITLE=text /ASFORM /NUMBER", "page title; one form a record; a number column"},
    {"", "/BORDER=n /COLOR=rrggbb /BACKGROUND=rrggbb", "table border and colours"},
    {"", "/MAXPERPAGE=n", "pages of at most n records"},
    {"Batches", "/TOext /recurse /LIST:FILE", "an output per table in a folder; below it; tables of FILE"},
    {"", "/add /addtoexist", "append to the output; add to an existing one"},
    {"", "/keepdate /rmsrc", "output dated as its source; delete converted sources"},
    {"", "/JOBS:n", "tables converted at once (default one per core; 1 one at a time)"},
    {"Log", "/LOG /LOG:FILE /logappend /loglevel:1", "write tabrix.log or FILE; append to it; brief"},
    {"", "/console /tm", "progress on the terminal; the elapsed time"},
    {"Settings", "/clearhistory /historyto:FILE", "empty the recent conversions; write them to FILE"},
    {"", "/uninstall", "how to remove Tabrix"},
};

constexpr const char* kClosing =
    "\n"
    "Switches begin a word, in any letter case (/COLOR=, /BACKGROUND=, /BORDER= and /tm only as written).\n"
    "A run's choices are the next run's defaults: see docs/settings.md.\n"
    "\n"
    "Examples:\n"
    "  tabrix clients.dbf clients.csv /HDR /utf8\n"
    "  tabrix clients.dbf clients.sql /POSTGRESQL \"/FILTER2:BALANCE:>=5000\" /SORTBY:NAME\n"
    "  tabrix \"data/*.dbf\" out /TOhtm /recurse /LOG\n"
    "\n"
    "Every switch is described in docs/command-line.md (man tabrix).\n";

}  // namespace

std::string usageText() {
  constexpr size_t kEffectColumn = 36;
  std::string text = fmt::format("{}\n", kVersionText);
  for (const auto& form : kForms) {
    std::string line = fmt::format("{:<7}tabrix {:<42}{}", &form == &kForms[0] ? "Usage:" : "", form[0], form[1]);
    text += line.erase(line.find_last_not_of(' ') + 1) + '\n';
  }
  text += fmt::format("{}\n\n", outputFormatsUsage());
  for (const UsageLine& line : kLines) {
    if (*line.group) text += fmt::format("{}:\n", line.group);
    const std::string switches = fmt::format("  {}", line.switches);
    if (switches.size() < kEffectColumn) text += fmt::format("{:<{}}{}\n", switches, kEffectColumn, line.effect);
    else text += fmt::format("{}\n{:<{}}{}\n", switches, "", kEffectColumn, line.effect);
  }
  return text + kClosing;
}

}  // namespace tabrix
