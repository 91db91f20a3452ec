#include "platform/path_lookup.h"

#include <gtest/gtest.h>

#include "../dbf/table_builder.h"

namespace tabrix {
namespace {

TEST(ReplaceExtension, OnlyTheFileNameCounts) {
  EXPECT_EQ(replaceExtension("/data/t.dbf", "fpt"), "/data/t.fpt");
  EXPECT_EQ(replaceExtension("/data.v1/table", "dbt"), "/data.v1/table.dbt");
  EXPECT_EQ(replaceExtension("a.b.DBF", "dbt"), "a.b.dbt");
  EXPECT_EQ(replaceExtension("plain", "dbt"), "plain.dbt");
}

TEST(FindIgnoringCase, FindsSiblingsWrittenInAnotherCase) {
  test::TempDir dir;
  test::writeFile(dir.file("AGENCIAS.DBT"), {1});
  EXPECT_EQ(findIgnoringCase(dir.file("agencias.dbt")), dir.file("AGENCIAS.DBT"));
  EXPECT_EQ(siblingWithExtension(dir.file("agencias.dbf"), "dbt"), dir.file("AGENCIAS.DBT"));
  EXPECT_EQ(findIgnoringCase(dir.file("other.dbt")), "");
  // No such file: the lower-case name is the one to create.
  EXPECT_EQ(siblingWithExtension(dir.file("Other.DBF"), "FPT"), dir.file("Other.fpt"));
}

TEST(FindIgnoringCase, ExactNameWinsThenByteOrder) {
  test::TempDir dir;
  test::writeFile(dir.file("t.Fpt"), {1});
  test::writeFile(dir.file("t.FPT"), {1});
  EXPECT_EQ(findIgnoringCase(dir.file("t.fpt")), dir.file("t.FPT"));
  test::writeFile(dir.file("t.fpt"), {1});
  EXPECT_EQ(findIgnoringCase(dir.file("t.fpt")), dir.file("t.fpt"));
}

}  // namespace
}  // namespace tabrix
