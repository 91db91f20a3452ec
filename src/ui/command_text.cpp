#include "ui/command_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "util/ascii.h"

namespace tabrix {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), asciiLower);
  return text;
}

bool delimitedText(OutputFormat f) {
  return f == OutputFormat::Text || f == OutputFormat::Csv || f == OutputFormat::Tsv;
}

bool dbfOutput(OutputFormat f) { return familyOf(f) == OutputFamily::Dbf; }

// The format the command line reads from an output name, as it reads it.
std::optional<OutputFormat> formatOfName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= path.size()) return {};
  std::string ext = lower(path.substr(dot + 1, longestExtensionLength()));
  if (ext == "html") ext = "htm";
  return outputFormatForExtension(ext);
}

std::string hexColour(uint32_t bgr) {
  return fmt::format("#{:02x}{:02x}{:02x}", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

// The delimiter switch, when the options' delimiter differs from the command line's default.
void addDelimiter(const ConversionOptions& o, std::vector<std::string>& words, std::vector<std::string>& unexpressed) {
  std::string d = o.delimiter;
  if (d == "tab") d = "\t";
  else if (d == "space") d = " ";
  if (d == (o.outputFormat == OutputFormat::Tsv ? "\t" : ",")) return;
  if (d.empty()) unexpressed.push_back("an empty fields delimiter");
  else if (d == " ") words.push_back("/SEPSPACE");
  else if (d == "\t") words.push_back("/SEPTAB");
  else if (d == "|") words.push_back("/SEPPIPE");
  else if (const std::string word = lower(d); word == "pipe" || word == "tab" || word == "space")
    unexpressed.push_back(fmt::format("the fields delimiter \"{}\" as written", d));
  else words.push_back("/SEP" + d);
}

// The quote switches; the command line starts from none (SQL: apostrophes),
// and all fields in quotes brings double quotes outside SQL.
void addQuotes(const ConversionOptions& o, std::vector<std::string>& words, std::vector<std::string>& late,
               std::vector<std::string>& unexpressed) {
  const bool sql = o.outputFormat == OutputFormat::Sql;
  char quote = sql ? '\'' : '\0';
  if (o.quoteChar == '"') {
    words.push_back("/DOUBLEQUOTA");
    quote = '"';
  }
  if (o.quoteAllFields) {
    words.push_back("/ALLQUOTAS");
    if (!sql) quote = '"';
  }
  if (o.quoteChar == '\'' && quote != '\'' && !o.quoteAllFields) {
    late.push_back("/SINGLEQUOTA");
    quote = '\'';
  }
  if (quote != o.quoteChar && (delimitedText(o.outputFormat) || sql))
    unexpressed.push_back(o.quoteChar == '\0' ? "no quotes" : "single quotes with all fields in quotes");
}

}  // namespace

ComposedCommand composeCommand(const CommandChoices& c, const ConversionOptions& o) {
  ComposedCommand out;
  std::vector<std::string>& w = out.words;
  std::vector<std::string>& unexpressed = out.unexpressed;
  std::vector<std::string> late;  // switches the wizard's line has no place for, after the others
  std::string ext = outputFormatRow(o.outputFormat).extension;
  ext.erase(0, 1);

  w.push_back(c.program);
  if (c.folderMode) {
    std::string pattern = c.source;
    if (lower(pattern).find(".dbf") == std::string::npos) {
      if (pattern.empty() || pattern.back() != '/') pattern += '/';
      pattern += "*.dbf";
    }
    w.push_back(pattern);
    w.push_back(c.output);
    // An output file of its own collects every table; a folder takes one file per table.
    if (!o.appendToOutput) w.push_back("/to" + ext);
  } else {
    w.push_back(c.source);
    w.push_back(c.output);
  }
  const std::optional<OutputFormat> named = formatOfName(o.outputPath);
  if (!(c.folderMode && !o.appendToOutput) && named != o.outputFormat && !(named && dbfOutput(*named) && dbfOutput(o.outputFormat)))
    unexpressed.push_back(fmt::format("the output type .{} for a file whose name gives another type", ext));

  if (o.outputFormat == OutputFormat::DBase4) w.push_back("/DBASE4");
  if (o.outputFormat == OutputFormat::VisualFoxPro) w.push_back("/VFP");
  if (o.outputFormat == OutputFormat::DBase3) late.push_back("/DBASE3");
  if (o.outputFormat == OutputFormat::DBase7) late.push_back("/dbase7");
  if (c.columnsChosen) {
    w.push_back("/columns:" + joined(o.columns.names));
    if (o.columns.exclude) {
      // The dialog excludes every field only when none is ticked; the command line refuses such a table.
      late.push_back("/EXCLUDE");
      unexpressed.push_back("no columns at all");
    }
  }
  if (o.sortEnabled) w.push_back("/SORTBY:" + o.sortFieldName);
  if (o.sourceIsOem) w.push_back("/OEM");
  if (o.onlyDeleted) w.push_back("/onlydeleted");
  if (o.skipDeleted) w.push_back("/skipd");
  if (o.reverseOrder) w.push_back("/reverse");

  if (o.outputFormat == OutputFormat::Sql) {
    static const char* const kDialects[] = {nullptr, "/oracle", "/mysql", "/mssql", "/postgresql"};
    const int dialect = static_cast<int>(o.sqlDialect);
    if (dialect > 0 && dialect < 5) w.push_back(kDialects[dialect]);
    else unexpressed.push_back("the SQL syntax Ansi (the command line keeps the syntax stored by the wizard)");
    if (o.sqlAddGo && o.sqlGoEvery > 0) w.push_back(fmt::format("/go:{}", o.sqlGoEvery));
    else if (o.sqlAddGo) unexpressed.push_back("'Go' after every 0 records");
    if (o.insertWithColumnNames) late.push_back("/insertwithcolumns");
  }
  if (delimitedText(o.outputFormat)) addDelimiter(o, w, unexpressed);
  if (o.utf8) w.push_back("/utf8");
  if (o.exportFieldNames) w.push_back("/hdr");
  addQuotes(o, w, late, unexpressed);

  if (o.outputFormat == OutputFormat::Html) {
    if (o.htmlPaging && o.htmlMaxPerPage > 0) w.push_back(fmt::format("/MAXPERPAGE={}", o.htmlMaxPerPage));
    else if (o.htmlPaging) unexpressed.push_back("pages of 0 records");
    if (o.htmlAsForm) w.push_back("/ASFORM");
    if (o.htmlRecordNumber) w.push_back("/NUMBER");
    if (!o.htmlTitle.empty()) w.push_back("/TITLE=" + o.htmlTitle);
    if (o.htmlTextRgb != 0) w.push_back("/COLOR=" + hexColour(o.htmlTextRgb));
    if (o.htmlBackgroundRgb != 0xFFFFFF) w.push_back("/BACKGROUND=" + hexColour(o.htmlBackgroundRgb));
    if (o.htmlBorder != 1) late.push_back(fmt::format("/BORDER={}", o.htmlBorder));
  }

  if (!o.skipDeleted && !o.onlyDeleted) late.push_back("/EXPORTALL");
  if (o.skipEmpty) late.push_back("/SKIPEMPTY");
  if (o.onlyStructure) late.push_back("/ONLYSTRUCTURE");
  if (o.excelAsXml) late.push_back("/ASXML");
  // Only workbooks take a sheet; elsewhere "/addtoexist" would also append ("/add").
  if (o.addToExisting && (o.outputFormat == OutputFormat::Xls || o.outputFormat == OutputFormat::Xlsx) && !o.excelAsXml)
    late.push_back("/addtoexist");
  if (o.keepFileDate) late.push_back("/keepdate");
  if (o.rowDelimiter == "\n") late.push_back("/LF");
  std::vector<std::string> conditions;
  bool comma = false;
  for (const ConditionPair& p : o.fieldConditions) {
    conditions.push_back(p.field + ":" + p.condition);
    comma = comma || p.condition.find(',') != std::string::npos;
  }
  // "/FILTER2:" items are cut at every comma, so a range or a comma goes to a file.
  if (comma) {
    out.conditionLines = conditions;
    late.push_back(kConditionsFileWord);
  } else if (!conditions.empty()) {
    late.push_back("/FILTER2:" + joined(conditions));
  }
  // The wizard takes the tables of every subfolder too.
  if (c.folderMode) late.push_back("/recurse");
  w.insert(w.end(), late.begin(), late.end());
  return out;
}

std::string shellQuoted(const std::string& word) {
  static constexpr std::string_view kPlain = "_@%+=:,./-";
  bool plain = !word.empty();
  for (const char ch : word) {
    const auto u = static_cast<unsigned char>(ch);
    if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || kPlain.find(ch) != kPlain.npos))
      plain = false;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (const char ch : word) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

std::string shellLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words)
    line += (line.empty() ? "" : " ") + (word == kConditionsFileWord ? '"' + word + '"' : shellQuoted(word));
  return line;
}

std::string shellScript(const ComposedCommand& command) {
  std::string script = "#!/bin/sh\n";
  if (!command.conditionLines.empty()) {
    // Every line holds a ':', so none can end the here-document early.
    script +=
        "conditions=$(mktemp) || exit 2\n"
        "trap 'rm -f \"$conditions\"' EXIT\n"
        "cat >\"$conditions\" <<'END_OF_CONDITIONS'\n";
    for (const std::string& line : command.conditionLines) script += line + "\n";
    script += "END_OF_CONDITIONS\n";
  }
  return script + shellLine(command.words) + "\n";
}

}  // namespace tabrix
