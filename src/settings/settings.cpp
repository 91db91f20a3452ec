#include "settings/settings.h"

#include <iterator>

namespace tabrix {

namespace {

// Five characters and the terminating zero: the most a delimiter holds.
constexpr size_t kDelimiterLimit = 6;

struct FlagValue {
  const char* name;
  bool ConversionOptions::*option;
};

void loadText(const RegistryValues& values, const char* name, size_t limit, std::string& setting) {
  if (auto text = values.readText(name, limit)) setting = std::move(*text);
}

void loadFlag(const RegistryValues& values, const FlagValue& flag, ConversionOptions& options) {
  uint32_t n = options.*flag.option ? 1 : 0;
  if (values.readFourBytes(flag.name, n)) options.*flag.option = n != 0;
}

}  // namespace

void loadSettings(const RegistryValues& values, ConversionOptions& options, ShellSettings& shell) {
  loadText(values, "SRCPATH", kRegistryPathLimit, shell.sourceFolder);
  loadText(values, "EXPORTPATH", kRegistryPathLimit, shell.outputFolder);
  loadText(values, "LASTSRC", kRegistryPathLimit, shell.lastSource);
  loadText(values, "DELIM", kDelimiterLimit, options.delimiter);
  loadText(values, "LASTEXPORT", kRegistryPathLimit, shell.lastOutput);
  // The four bytes of a setting are laid over its stored value: a shorter
  // value changes its low bytes only. What lands out of range is not taken.
  uint32_t type = static_cast<uint32_t>(static_cast<int32_t>(shell.lastExportType));
  if (values.readFourBytes("LASTEXPORTTYPE", type) && static_cast<int32_t>(type) >= 0 &&
      static_cast<int32_t>(type) <= static_cast<int32_t>(std::size(outputFormats())))
    shell.lastExportType = static_cast<int16_t>(type);
  uint32_t dialect = static_cast<uint32_t>(options.sqlDialect);
  if (values.readFourBytes("SQLTYPE", dialect) && dialect <= static_cast<uint32_t>(SqlDialect::PostgreSql))
    options.sqlDialect = static_cast<SqlDialect>(dialect);
  for (const FlagValue& flag : {FlagValue{"InsertWithNames", &ConversionOptions::insertWithColumnNames},
                                FlagValue{"OPEN", &ConversionOptions::openWhenDone},
                                FlagValue{"KeepDate", &ConversionOptions::keepFileDate},
                                FlagValue{"Allquotas", &ConversionOptions::quoteAllFields},
                                FlagValue{"Enames", &ConversionOptions::exportFieldNames},
                                FlagValue{"UTF8", &ConversionOptions::utf8}})
    loadFlag(values, flag, options);
}

void saveSettings(RegistryValues& values, const ConversionOptions& options, const ShellSettings& shell,
                  const History& history) {
  const uint32_t count = static_cast<uint32_t>(history.size());
  const char countBytes[4] = {static_cast<char>(count & 0xFF), static_cast<char>((count >> 8) & 0xFF),
                              static_cast<char>((count >> 16) & 0xFF), static_cast<char>(count >> 24)};
  values.writeBinary("RECENTS", std::string_view(countBytes, 4));
  values.writeText("SRCPATH", shell.sourceFolder);
  values.writeText("EXPORTPATH", shell.outputFolder);
  values.writeText("LASTSRC", shell.lastSource);
  values.writeText("LASTEXPORT", shell.lastOutput);
  values.writeText("DELIM", options.delimiter);
  values.writeDword("LASTEXPORTTYPE", static_cast<uint32_t>(static_cast<int32_t>(shell.lastExportType)));
  values.writeDword("OPEN", options.openWhenDone);
  values.writeDword("SQLTYPE", static_cast<uint32_t>(options.sqlDialect));
  values.writeDword("InsertWithNames", options.insertWithColumnNames);
  values.writeDword("Allquotas", options.quoteAllFields);
  values.writeDword("Enames", options.exportFieldNames);
  values.writeDword("UTF8", options.utf8);
  values.writeDword("KeepDate", options.keepFileDate);
}

}  // namespace tabrix
