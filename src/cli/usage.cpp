#include "cli/usage.h"

#include "convert/output_formats.h"

namespace tabrix {

namespace {

constexpr const char* kForms =
    "Usage: tabrix SOURCE.dbf OUTPUT.ext [switches]\n"
    "       tabrix \"PATTERN*.dbf\" OUTPUT.ext [switches]    all matching tables into one output\n"
    "       tabrix \"PATTERN*.dbf\" FOLDER /TOext [switches] one output per table\n"
    "       tabrix /LIST:FILE FOLDER /TOext [switches]       the tables named in FILE\n"
    "       tabrix @FILE                                     the command line written in FILE\n";

// One group a line of switches after its title; kept in step with the
// switches the command line reads (a test checks that each is named).
constexpr const char* kSwitches =
    "\n"
    "Formats:\n"
    "  /DBASE3 /DBASE4 /VFP /dbase7    level of a .dbf output (dBase III by default)\n"
    "  /ASXML                          .xls/.xlsx as an Excel 2003 XML spreadsheet\n"
    "  /sheetname:NAME /nohdr          workbook sheet name; no names row in a workbook\n"
    "  /roottag:NAME /recordtag:NAME   XML element names; /tagdeleted marks deleted records\n"
    "Records:\n"
    "  /SKIPD /EXPORTALL /ONLYDELETED  leave out deleted records (default), take all, or only those\n"
    "  /SKIPEMPTY /ONLYSTRUCTURE       leave out blank records; write no records at all\n"
    "  /FILTER2:F:cond,... /FILTER:FILE  keep the records meeting field conditions\n"
    "  /WFILTER:pattern                keep the records in which some field matches\n"
    "  /SORTBY:FIELD /DESC /ignorecase sort by one field, descending, ignoring case\n"
    "  /REVERSE /last:N                last record first; only the last N records\n"
    "Columns:\n"
    "  /COLUMNS:A,B:Title /COLUMNSLIST:FILE /EXCLUDE   choose, rename or leave out columns\n"
    "  /HDR /hdrlowercase /hdrcapcase  a first line of field names, in lower or capital case\n"
    "  /outtypes /outtypes2            field types after the names, or on a second line\n"
    "  /rowid                          a first column with the record's number\n"
    "Text:\n"
    "  /SEP; /SEPTAB /SEPPIPE /SEPSPACE  delimiter (up to five characters; default , and tab for .tsv)\n"
    "  /SINGLEQUOTA /DOUBLEQUOTA /ALLQUOTAS  quote texts and dates; quote every value\n"
    "  /LF /NOTRIM /savelb             LF line ends; keep blanks; keep line breaks in memos\n"
    "  /dec0 /skipseconds              numbers without decimals; times without seconds\n"
    "  /utf8 /TOOEM                    UTF-8 output; output in the OEM code page\n"
    "  /OEM /ANSI /CP:n                read the table's text as OEM, ANSI or code page n\n"
    "SQL:\n"
    "  /ORACLE /MYSQL /MSSQL /SQL2000 /POSTGRESQL   dialect; the last one chosen stays\n"
    "  /insertwithcolumns /createonly  INSERTs name their columns; only DROP and CREATE\n"
    "  /go /go:N                       a \"Go\" line every 100 or N records\n"
    "HTML:\n"
    "  /TITLE=text /ASFORM /NUMBER     page title; one form a record; a record number column\n"
    "  /BORDER=n /COLOR=rrggbb /BACKGROUND=rrggbb /MAXPERPAGE=n   table look; pages of n records\n"
    "Batches:\n"
    "  /TOext /recurse /LIST:FILE      one output per table in a folder; below it; tables of FILE\n"
    "  /add /addtoexist                append to the output; add to an existing one\n"
    "  /keepdate /rmsrc                output keeps the source's date; delete converted sources\n"
    "Log:\n"
    "  /LOG /LOG:FILE /logappend /loglevel:1   write tabrix.log or FILE; append; brief\n"
    "  /console /tm                    progress on the terminal; elapsed time\n"
    "Settings:\n"
    "  /clearhistory /historyto:FILE   empty the list of recent conversions; write it to FILE\n"
    "  /uninstall                      how to remove Tabrix\n"
    "\n"
    "Switches begin a word and may stand in any letter case (/COLOR=, /BACKGROUND=, /BORDER= and /tm\n"
    "only as written). Choices stay as the next run's defaults: see docs/settings.md.\n"
    "\n"
    "Examples:\n"
    "  tabrix clients.dbf clients.csv /HDR /utf8\n"
    "  tabrix clients.dbf clients.sql /POSTGRESQL \"/FILTER2:BALANCE:>=5000\" /SORTBY:NAME\n"
    "  tabrix \"data/*.dbf\" out /TOhtm /recurse /LOG\n"
    "\n"
    "Every switch is described in docs/command-line.md (man tabrix).\n";

}  // namespace

std::string usageText() {
  return std::string(kVersionText) + "\n" + kForms + outputFormatsUsage() + "\n" + kSwitches;
}

}  // namespace tabrix
