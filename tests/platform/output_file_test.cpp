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

// Texts shorter and longer than the buffer, a patch behind written bytes and
// a second file on the same object: the bytes are those written, in order,
// whether full buffers are written in turn or by the writer thread.
TEST(OutputFileBackground, WritesEveryByteInOrderAndOpensAgain) {
  test::TempFolder folder;
  for (const bool background : {false, true}) {
    OutputFile out(16);
    out.writeInBackground(background);
    for (const char* name : {"one.bin", "two.bin"}) {
      const std::string path = folder.at(name);
      ASSERT_TRUE(out.open(path, false));
      std::string expected;
      // About 3 MB, so the writer thread takes several full buffers.
      for (size_t i = 0; i < 1500; ++i) {
        const std::string piece(i % 41 * 97, static_cast<char>('a' + i % 26));
        out.write(piece);
        expected += piece;
      }
      ASSERT_TRUE(out.writeAt(5, "PATCH", 5));
      expected.replace(5, 5, "PATCH");
      out.write("end");
      ASSERT_TRUE(out.close());
      EXPECT_EQ(contents(path), expected + "end") << name << (background ? " in the background" : "");
    }
  }
}

TEST(OutputFileBackground, AFailedWriteIsReported) {
  OutputFile out(16);
  out.writeInBackground(true);
  ASSERT_TRUE(out.open("/dev/full", false));
  for (int i = 0; i < 300000; ++i) out.write("0123456789");
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.failed());
  EXPECT_NE(out.errorText().find("space"), std::string::npos) << out.errorText();
}

TEST(OutputFileOpenAt, MissingFileFails) {
  test::TempFolder folder;
  OutputFile out;
  EXPECT_FALSE(out.openAt(folder.at("missing.dbf"), 0));
  EXPECT_FALSE(out.errorText().empty());
}

}  // namespace
}  // namespace tabrix
