#include "writers/json_writer.h"

#include <gtest/gtest.h>

#include "writers/markup_test_support.h"
#include "dbf/table_builder.h"

namespace tabrix {
namespace {

using test::convertedBytes;
using test::TableBuilder;

ConversionOptions jsonOptions(int ansiCodePage, bool utf8) {
  ConversionOptions o;
  o.outputFormat = OutputFormat::Json;
  o.ansiCodePage = ansiCodePage;
  o.utf8 = utf8;
  return o;
}

// The second byte of a Shift JIS character may be a backslash byte: text is
// converted before it is escaped, so the character stays whole.
TEST(JsonWriter, DoubleByteCharactersAreNotTakenForEscapes) {
  auto table = TableBuilder(0x03).field("A", 'C', 6).record({"\x95\x5C\\"}).open();
  EXPECT_EQ(convertedBytes(*table, jsonOptions(932, true), "out.json"), "[{\"A\":\"\xE8\xA1\xA8\\\\\"}]");
  EXPECT_EQ(convertedBytes(*table, jsonOptions(932, false), "out.json"), "[{\"A\":\"\\u8868\\\\\"}]");
}

// Titles are JSON strings like the values.
TEST(JsonWriter, TitlesAreEscaped) {
  auto table = TableBuilder(0x03).field("A", 'C', 1).field("B", 'C', 1).record({"x", "y"}).open();
  ConversionOptions o = jsonOptions(1252, false);
  o.columns = {{"A", "B"}, {"say \"a\\b\"\t\xE9", "B"}, false, {}};
  EXPECT_EQ(convertedBytes(*table, o, "out.json"),
            "[{\"say \\\"a\\\\b\\\"\\t\\u00e9\":\"x\",\"B\":\"y\"}]");
}

// Without UTF-8 output every byte is ASCII: control bytes and characters
// beyond ASCII are escapes, DEL stays as it is.
TEST(JsonWriter, WithoutUtf8OutputTheFileIsAscii) {
  auto table = TableBuilder(0x03).field("A", 'C', 8).record({std::string("\x01\b\f\x1f\x7f\x80\xFF", 7)}).open();
  EXPECT_EQ(convertedBytes(*table, jsonOptions(1252, false), "out.json"),
            "[{\"A\":\"\\u0001\\b\\f\\u001f\x7f\\u20ac\\u00ff\"}]");
  EXPECT_EQ(convertedBytes(*table, jsonOptions(1252, true), "out.json"),
            "[{\"A\":\"\\u0001\\b\\f\\u001f\x7f\xE2\x82\xAC\xC3\xBF\"}]");
}

// JSON lines hold JSON values: numbers in JSON's own form whatever the stored
// text, null where nothing is stored or the text is no number, logicals and
// ISO dates. The array keeps strings unless typed values are asked for.
TEST(JsonWriter, TypedValuesAreJsonValues) {
  auto table = TableBuilder(0x03)
                   .field("N", 'N', 6, 2).field("L", 'L', 1).field("D", 'D', 8)
                   .record({"  -.50", "T", "19990610"})
                   .record({"  007.", "?", "        "})
                   .record({"******", "n", "00000000"})
                   .record({"      ", "F", "20240229"})
                   .open();
  ConversionOptions o = jsonOptions(1252, false);
  o.outputFormat = OutputFormat::JsonLines;
  EXPECT_EQ(convertedBytes(*table, o, "out.jsonl"),
            "{\"N\":-0.50,\"L\":true,\"D\":\"1999-06-10\"}\n"
            "{\"N\":7,\"L\":null,\"D\":null}\n"
            "{\"N\":null,\"L\":false,\"D\":null}\n"
            "{\"N\":null,\"L\":false,\"D\":\"2024-02-29\"}\n");
  o.outputFormat = OutputFormat::Json;
  o.jsonTypes = true;
  const std::string typed = "[{\"N\":-0.50,\"L\":true,\"D\":\"1999-06-10\"},{\"N\":7,";
  EXPECT_EQ(convertedBytes(*table, o, "out.json").substr(0, typed.size()), typed);
}

}  // namespace
}  // namespace tabrix
