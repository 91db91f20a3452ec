#include "convert/output_formats.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

namespace tabrix {
namespace {

TEST(OutputFormats, EveryExtensionChoosesAFormatOfItsOwnFamily) {
  for (const OutputFormatRow& row : outputFormats()) {
    const std::string ext = row.extension + 1;
    for (const std::string& written : {ext, std::string(1, static_cast<char>(ext[0] - 'a' + 'A')) + ext.substr(1)}) {
      const auto chosen = outputFormatForExtension(written);
      ASSERT_TRUE(chosen.has_value()) << written;
      EXPECT_EQ(familyOf(*chosen), row.family) << written;
    }
  }
  // Of the four DBF formats the last one matched wins.
  EXPECT_EQ(outputFormatForExtension("DBF"), OutputFormat::DBase7);
  EXPECT_FALSE(outputFormatForExtension("backup").has_value());
  EXPECT_FALSE(outputFormatForExtension("").has_value());
}

TEST(OutputFormats, OneFamilyOneExtensionAndOneWriter) {
  std::map<OutputFamily, const OutputFormatRow*> first;
  for (const OutputFormatRow& row : outputFormats()) {
    EXPECT_EQ(&outputFormatRow(row.format), &row);
    EXPECT_EQ(row.extension[0], '.');
    EXPECT_TRUE(row.writer) << row.extension << " has no writer";
    const auto [seen, added] = first.emplace(row.family, &row);
    if (added) continue;
    // Formats sharing a family differ only in what their writer reads from the job,
    // or are one format under two extensions (.jsonl and .ndjson, .sqlite and .db).
    if (row.family != OutputFamily::JsonLines && row.family != OutputFamily::Sqlite) {
      EXPECT_STREQ(row.extension, seen->second->extension);
    }
    EXPECT_EQ(row.writer, seen->second->writer) << row.displayName;
    EXPECT_EQ(row.byteOrderMark, seen->second->byteOrderMark) << row.displayName;
  }
  EXPECT_EQ(longestExtensionLength(), 6u);  // .sqlite, .ndjson
}

TEST(OutputFormats, TheUsageLineNamesEachExtensionOnce) {
  const std::string usage = outputFormatsUsage();
  // Named whole: ".xls" inside ".xlsx" does not count.
  auto namesWhole = [&](const std::string& ext) {
    for (size_t at = usage.find(ext); at != std::string::npos; at = usage.find(ext, at + 1))
      if (!std::isalpha(static_cast<unsigned char>(usage[at + ext.size()]))) return true;
    return false;
  };
  for (const OutputFormatRow& row : outputFormats()) EXPECT_TRUE(namesWhole(row.extension)) << row.extension << " in " << usage;
  EXPECT_EQ(usage.find(".dbf"), usage.rfind(".dbf")) << usage;
  EXPECT_NE(usage.find(".xls/.xlsx as Excel 2003 XML with /ASXML"), std::string::npos) << usage;
}

}  // namespace
}  // namespace tabrix
