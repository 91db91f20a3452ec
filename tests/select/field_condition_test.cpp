#include "select/field_condition.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "table_builder.h"

namespace tabrix {
namespace {

using Op = ConditionOperator;

FieldCondition parsed(const std::string& text) {
  FieldCondition c;
  c.text = text;
  parseCondition(c);
  return c;
}

struct Parsed {
  Op op;
  std::string value;
  bool operator==(const Parsed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parsed& p) {
  return out << "op " << static_cast<int>(p.op) << " value \"" << p.value << "\"";
}

Parsed operatorAndValue(const std::string& text) {
  const FieldCondition c = parsed(text);
  return {c.op, c.value};
}

std::vector<Parsed> alternativesOf(const std::string& text) {
  FieldCondition c;
  c.text = text;
  splitAlternatives(c);
  std::vector<Parsed> out;
  for (const FieldCondition& a : c.alternatives) out.push_back({a.op, a.value});
  return out;
}

TEST(ParseCondition, ComparisonPrefixesSetTheOperatorAndLeaveTheOperand) {
  EXPECT_EQ(operatorAndValue("Jo"), (Parsed{Op::Equal, "Jo"}));
  EXPECT_EQ(operatorAndValue("<=5"), (Parsed{Op::AtMost, "5"}));
  EXPECT_EQ(operatorAndValue("<5"), (Parsed{Op::Below, "5"}));
  EXPECT_EQ(operatorAndValue(">=10"), (Parsed{Op::AtLeast, "10"}));
  EXPECT_EQ(operatorAndValue(">10"), (Parsed{Op::Above, "10"}));
  EXPECT_EQ(operatorAndValue("!Jo"), (Parsed{Op::NotEqual, "Jo"}));
  EXPECT_EQ(operatorAndValue("!=x"), (Parsed{Op::NotEqual, "x"}));
  EXPECT_EQ(operatorAndValue(""), (Parsed{Op::Equal, ""}));
}

TEST(ParseCondition, LeadingSpacesAreDroppedButTrailingOnesStay) {
  EXPECT_EQ(operatorAndValue("   >= 10 "), (Parsed{Op::AtLeast, " 10 "}));
  EXPECT_EQ(operatorAndValue("  Jo"), (Parsed{Op::Equal, "Jo"}));
}

TEST(ParseCondition, LaterOperatorCharactersWin) {
  EXPECT_EQ(operatorAndValue("!>5"), (Parsed{Op::Above, "5"}));
  EXPECT_EQ(operatorAndValue("!<=5"), (Parsed{Op::AtMost, "5"}));
  EXPECT_EQ(operatorAndValue(">=<3"), (Parsed{Op::Below, "3"}));
  // "<>" is not "different": it means below the text ">".
  EXPECT_EQ(operatorAndValue("<>"), (Parsed{Op::Below, ">"}));
}

TEST(ParseCondition, EmptinessIsTheExactCaseSensitiveWord) {
  EXPECT_EQ(operatorAndValue("Empty"), (Parsed{Op::IsEmpty, "Empty"}));
  EXPECT_EQ(operatorAndValue("!=Empty"), (Parsed{Op::IsNotEmpty, "Empty"}));
  EXPECT_EQ(operatorAndValue("  !=Empty"), (Parsed{Op::IsNotEmpty, "Empty"}));
  EXPECT_EQ(operatorAndValue("empty"), (Parsed{Op::Equal, "empty"}));
  EXPECT_EQ(operatorAndValue("EMPTY"), (Parsed{Op::Equal, "EMPTY"}));
  EXPECT_EQ(operatorAndValue("Empty "), (Parsed{Op::Equal, "Empty "}));
  EXPECT_EQ(operatorAndValue("!=Emptyx"), (Parsed{Op::NotEqual, "Emptyx"}));
  // After '!' or '>' the rest is still tested for the word.
  EXPECT_EQ(operatorAndValue("!Empty"), (Parsed{Op::IsEmpty, "Empty"}));
  EXPECT_EQ(operatorAndValue(">Empty"), (Parsed{Op::IsEmpty, "Empty"}));
  EXPECT_EQ(operatorAndValue("<Empty"), (Parsed{Op::Below, "Empty"}));
}

TEST(ParseCondition, ParsingAgainStartsFromEquality) {
  FieldCondition c = parsed("<5");
  c.text = std::string("5");
  parseCondition(c);
  EXPECT_EQ((Parsed{c.op, c.value}), (Parsed{Op::Equal, "5"}));
  c.text = std::string("Empty");
  parseCondition(c);
  c.text = std::string("x");
  parseCondition(c);
  EXPECT_EQ((Parsed{c.op, c.value}), (Parsed{Op::Equal, "x"}));
}

TEST(SplitAlternatives, OrInAnyCaseSeparatesParsedAlternatives) {
  EXPECT_EQ(alternativesOf("Paris or London"), (std::vector<Parsed>{{Op::Equal, "Paris"}, {Op::Equal, "London"}}));
  EXPECT_EQ(alternativesOf("Paris OR London Or Rome"),
            (std::vector<Parsed>{{Op::Equal, "Paris"}, {Op::Equal, "London"}, {Op::Equal, "Rome"}}));
  EXPECT_EQ(alternativesOf("<B or >=Y or !=Empty"),
            (std::vector<Parsed>{{Op::Below, "B"}, {Op::AtLeast, "Y"}, {Op::IsNotEmpty, "Empty"}}));
  // Each piece loses its leading spaces when parsed.
  EXPECT_EQ(alternativesOf("Nord or   Sud"), (std::vector<Parsed>{{Op::Equal, "Nord"}, {Op::Equal, "Sud"}}));
}

TEST(SplitAlternatives, WithoutASpacedOrTheWholeTextIsTheOnlyAlternative) {
  EXPECT_EQ(alternativesOf(">=10"), (std::vector<Parsed>{{Op::AtLeast, "10"}}));
  EXPECT_EQ(alternativesOf("Oregon"), (std::vector<Parsed>{{Op::Equal, "Oregon"}}));
  EXPECT_EQ(alternativesOf("New York"), (std::vector<Parsed>{{Op::Equal, "New York"}}));
  EXPECT_EQ(alternativesOf("Paris or"), (std::vector<Parsed>{{Op::Equal, "Paris or"}}));
  EXPECT_EQ(alternativesOf("Paris,or London"), (std::vector<Parsed>{{Op::Equal, "Paris,or London"}}));
}

TEST(SplitAlternatives, TrailingOrLeavesAnEmptyAlternativeThatMatchesEverything) {
  const std::vector<Parsed> parts = alternativesOf("Paris or ");
  EXPECT_EQ(parts, (std::vector<Parsed>{{Op::Equal, "Paris"}, {Op::Equal, ""}}));
  EXPECT_TRUE(wildcardMatch(parts[1].value, "ANYWHERE"));
}

TEST(SplitAlternatives, SplittingAgainReplacesTheAlternatives) {
  FieldCondition c;
  c.text = "A or B";
  splitAlternatives(c);
  c.text = std::string("C");
  splitAlternatives(c);
  ASSERT_EQ(c.alternatives.size(), 1u);
  EXPECT_EQ(c.alternatives[0].value, "C");
}

TEST(WildcardMatch, PatternWithoutStarIsAPrefixWithQuestionMarksForAnyCharacter) {
  EXPECT_TRUE(wildcardMatch("JO", "JOHN"));
  EXPECT_TRUE(wildcardMatch("JO", "JOANNA"));
  EXPECT_TRUE(wildcardMatch("JOHN", "JOHN"));
  EXPECT_TRUE(wildcardMatch("J?HN", "JOHN"));
  EXPECT_TRUE(wildcardMatch("J?HN", "JAHNKE"));
  EXPECT_TRUE(wildcardMatch("10", "100.00"));
  EXPECT_FALSE(wildcardMatch("J?HN", "JOANNA"));
  EXPECT_FALSE(wildcardMatch("JO", "MARY JO"));
  EXPECT_FALSE(wildcardMatch("Jo", "JOHN"));  // exact case
}

TEST(WildcardMatch, TextEndingBeforeThePatternDoesNotMatch) {
  EXPECT_FALSE(wildcardMatch("JOHNNY", "JOHN"));
  EXPECT_FALSE(wildcardMatch("?", ""));
  EXPECT_FALSE(wildcardMatch("A", ""));
  // ... unless only the star is left.
  EXPECT_TRUE(wildcardMatch("JOHN*", "JOHN"));
}

TEST(WildcardMatch, EmptyPatternMatchesEveryText) {
  EXPECT_TRUE(wildcardMatch("", ""));
  EXPECT_TRUE(wildcardMatch("", "ANY"));
}

TEST(WildcardMatch, LeadingStarFindsTheRestAnywhereInExactCase) {
  EXPECT_TRUE(wildcardMatch("*ANN", "JOANNA"));
  EXPECT_TRUE(wildcardMatch("*ANN", "ANN"));
  EXPECT_TRUE(wildcardMatch("*ANN*", "HANNAH"));
  EXPECT_FALSE(wildcardMatch("*ANN", "JOHN"));
  EXPECT_FALSE(wildcardMatch("*ann", "JOANNA"));
  // '?' is an ordinary character after a leading star.
  EXPECT_FALSE(wildcardMatch("*J?HN", "JOHN"));
  EXPECT_TRUE(wildcardMatch("*J?HN", "MR J?HN"));
  EXPECT_TRUE(wildcardMatch("*", ""));
  EXPECT_TRUE(wildcardMatch("*", "ANY"));
  EXPECT_TRUE(wildcardMatch("**", ""));
}

TEST(WildcardMatch, CharactersAfterALaterStarAreIgnored) {
  EXPECT_TRUE(wildcardMatch("A*Z", "ABC"));
  EXPECT_TRUE(wildcardMatch("A*Z", "A"));
  EXPECT_FALSE(wildcardMatch("A*Z", "BAZ"));
  EXPECT_TRUE(wildcardMatch("J?*X", "JOHN"));
}

std::vector<std::pair<std::string, std::string>> pairsOf(const std::vector<ConditionPair>& pairs) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const ConditionPair& p : pairs) out.emplace_back(p.field, p.condition);
  return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ParseInlineConditions, ItemsAreSplitAtEveryCommaAndAtTheFirstColon) {
  std::vector<ConditionPair> pairs;
  parseInlineConditions("NAME:Jo,CITY:Paris or London,TIME:>12:00", pairs);
  EXPECT_EQ(pairsOf(pairs), (Pairs{{"NAME", "Jo"}, {"CITY", "Paris or London"}, {"TIME", ">12:00"}}));
}

TEST(ParseInlineConditions, NothingIsTrimmed) {
  std::vector<ConditionPair> pairs;
  parseInlineConditions(" NAME: Jo ,PRICE:>=10 ", pairs);
  EXPECT_EQ(pairsOf(pairs), (Pairs{{" NAME", " Jo "}, {"PRICE", ">=10 "}}));
}

TEST(ParseInlineConditions, MalformedItemsAreSkippedAndTheOthersKept) {
  std::vector<ConditionPair> pairs;
  parseInlineConditions("NAME,:Jo,CITY:,,PRICE:10,20,QTY:5,", pairs);
  // "20" has no ':' once the range's comma has cut it off.
  EXPECT_EQ(pairsOf(pairs), (Pairs{{"PRICE", "10"}, {"QTY", "5"}}));
  parseInlineConditions("", pairs);
  parseInlineConditions(":", pairs);
  EXPECT_EQ(pairs.size(), 2u);
}

TEST(ParseInlineConditions, PairsAreAppendedAfterThoseAlreadyRead) {
  std::vector<ConditionPair> pairs{{"NAME", "Jo"}};
  parseInlineConditions("NAME:Mary", pairs);
  EXPECT_EQ(pairsOf(pairs), (Pairs{{"NAME", "Jo"}, {"NAME", "Mary"}}));
}

TEST(ReadFieldConditions, LinesKeepTheirCommasAndLoseLeadingSpacesOfTheCondition) {
  test::TempFolder dir;
  const std::string path = dir.at("filter.txt");
  const std::string text = "PRICE:10,20\r\nNAME:   Smith, J \nno colon\n:x\nCITY:\n\r\nBORN:Empty";
  test::writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
  std::vector<ConditionPair> pairs{{"FIRST", "1"}};
  const Result read = readFieldConditions(path, pairs);
  ASSERT_TRUE(read.ok()) << read.reason();
  EXPECT_EQ(pairsOf(pairs),
            (Pairs{{"FIRST", "1"}, {"PRICE", "10,20"}, {"NAME", "Smith, J "}, {"BORN", "Empty"}}));
}

TEST(ReadFieldConditions, AMissingFileGivesTheSystemsReasonAndNoConditions) {
  test::TempFolder dir;
  std::vector<ConditionPair> pairs;
  const Result read = readFieldConditions(dir.at("missing.txt"), pairs);
  EXPECT_FALSE(read.ok());
  EXPECT_EQ(read.reason(), std::strerror(ENOENT));
  EXPECT_TRUE(pairs.empty());
}

TEST(ReadFieldConditions, AFolderIsNotAConditionFile) {
  test::TempFolder dir;
  std::vector<ConditionPair> pairs;
  const Result read = readFieldConditions(dir.path(), pairs);
  EXPECT_FALSE(read.ok());
  EXPECT_EQ(read.reason(), std::strerror(EISDIR));
  EXPECT_TRUE(pairs.empty());
}

}  // namespace
}  // namespace tabrix
