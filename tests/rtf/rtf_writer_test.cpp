// The RTF output of a conversion job: column order and exclusions, a new file
// on every run, and failures reported with their reason. The exact bytes of
// whole documents are pinned by the rtf_* golden cases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "convert/conversion.h"
#include "dbf/dbf_table.h"
#include "support/temp_folder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

using test::TempFolder;

const std::string kBasicTable = std::string(TABRIX_GOLDEN_DIR) + "/rtf_basic/table.dbf";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class RtfOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::succeeded(table_.open(kBasicTable, {})));
    options_.outputFormat = OutputFormat::Rtf;
    options_.outputPath = temp_.at("out.rtf");
  }

  TempFolder temp_;
  DbfTable table_;
  ConversionOptions options_;
};

TEST_F(RtfOutputTest, ColumnsFollowTheOutputOrderWithoutExcludedFields) {
  // NAME C(12), CITY C(8), QTY N(6), DAY D, OK L: shown as OK, QTY, NAME.
  options_.columns = {{"CITY", "DAY"}, {"CITY", "DAY"}, /*exclude=*/true, {4, 2, 1, 0, 3}};
  const ConversionResult result = runConversion(options_, table_, nullptr);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.recordsWritten, 4u);
  const std::string rtf = readFile(options_.outputPath);
  const size_t ok = rtf.find("\\ulnone OK\r\n");
  const size_t qty = rtf.find("\\ulnone QTY\r\n");
  const size_t name = rtf.find("\\ulnone NAME\r\n");
  ASSERT_NE(ok, std::string::npos);
  EXPECT_TRUE(ok < qty && qty < name && name != std::string::npos);
  EXPECT_EQ(rtf.find("\\ulnone CITY"), std::string::npos);
  EXPECT_EQ(rtf.find("Berlin"), std::string::npos);
  // Widths 10, 10 and 12 characters, in every one of the five rows.
  EXPECT_EQ(count(rtf, "\\cellx1100\r\n"), 5u);
  EXPECT_EQ(count(rtf, "\\cellx2200\r\n"), 5u);
  EXPECT_EQ(count(rtf, "\\cellx3520\r\n"), 5u);
  EXPECT_EQ(count(rtf, "\\cellx"), 15u);
}

TEST_F(RtfOutputTest, AppendingStillWritesTheDocumentNew) {
  options_.appendToOutput = true;
  ASSERT_TRUE(runConversion(options_, table_, nullptr).ok);
  const std::string first = readFile(options_.outputPath);
  table_.rewind();
  ASSERT_TRUE(runConversion(options_, table_, nullptr).ok);
  EXPECT_EQ(readFile(options_.outputPath), first);
  EXPECT_EQ(first.rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(count(first, "{\\rtf1"), 1u);
}

TEST_F(RtfOutputTest, UncreatableOutputIsReportedWithTheSystemsReason) {
  options_.outputPath = temp_.at("missing/out.rtf");
  const ConversionResult result = runConversion(options_, table_, nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, std::strerror(ENOENT));
  EXPECT_EQ(result.recordsWritten, 0u);
}

TEST_F(RtfOutputTest, FailedWritesAreReportedAtTheEnd) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", options_.outputPath);
  const ConversionResult result = runConversion(options_, table_, nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error,
            std::string("the RTF document could not be written completely: ") + std::strerror(ENOSPC));
}

}  // namespace
}  // namespace tabrix
