#include "platform/output_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/temp_folder.h"

namespace tabrix {
namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(OutputFileWriteAt, OverwritesBehindBufferedBytesAndWritingGoesOn) {
  test::TempFolder folder;
  const std::string path = folder.at("out.bin");
  OutputFile out(8);
  ASSERT_TRUE(out.open(path, false));
  out.write("0123");  // still buffered: writeAt must flush it first
  ASSERT_TRUE(out.writeAt(1, "ab", 2));
  out.write("456789xyz");  // larger than the buffer
  ASSERT_TRUE(out.writeAt(8, "Z", 1));
  out.write("!");
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(path), "0ab34567Z9xyz!");
}

TEST(OutputFileWriteAt, RefusedOnAFileOpenedToAppend) {
  test::TempFolder folder;
  const std::string path = folder.write("out.bin", "abc");
  OutputFile out;
  ASSERT_TRUE(out.open(path, true));
  EXPECT_FALSE(out.writeAt(0, "x", 1));
  EXPECT_FALSE(out.close());
  EXPECT_EQ(contents(path), "abc");
}

TEST(OutputFileOpenAt, CutsTheFileAndWritesFromThere) {
  test::TempFolder folder;
  const std::string path = folder.write("table.bin", "header|rec1|\x1A");
  OutputFile out;
  ASSERT_TRUE(out.openAt(path, 12));
  EXPECT_EQ(out.initialSize(), 13u);
  out.write("rec2|\x1A");
  ASSERT_TRUE(out.writeAt(0, "HEADER", 6));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(path), "HEADER|rec1|rec2|\x1A");
}

TEST(OutputFileOpenAt, MissingFileFails) {
  test::TempFolder folder;
  OutputFile out;
  EXPECT_FALSE(out.openAt(folder.at("missing.dbf"), 0));
  EXPECT_FALSE(out.errorText().empty());
}

}  // namespace
}  // namespace tabrix
