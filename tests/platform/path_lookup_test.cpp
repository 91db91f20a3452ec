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
  test::TempFolder dir;
  test::writeFile(dir.at("AGENCIAS.DBT"), {1});
  EXPECT_EQ(findIgnoringCase(dir.at("agencias.dbt")), dir.at("AGENCIAS.DBT"));
  EXPECT_EQ(siblingWithExtension(dir.at("agencias.dbf"), "dbt"), dir.at("AGENCIAS.DBT"));
  EXPECT_EQ(findIgnoringCase(dir.at("other.dbt")), "");
  // No such file: the lower-case name is the one to create.
  EXPECT_EQ(siblingWithExtension(dir.at("Other.DBF"), "FPT"), dir.at("Other.fpt"));
}

TEST(FindIgnoringCase, ExactNameWinsThenByteOrder) {
  test::TempFolder dir;
  test::writeFile(dir.at("t.Fpt"), {1});
  test::writeFile(dir.at("t.FPT"), {1});
  EXPECT_EQ(findIgnoringCase(dir.at("t.fpt")), dir.at("t.FPT"));
  test::writeFile(dir.at("t.fpt"), {1});
  EXPECT_EQ(findIgnoringCase(dir.at("t.fpt")), dir.at("t.fpt"));
}

}  // namespace
}  // namespace tabrix
