#pragma once
// Per-field record conditions ("NAME:Jo*", "PRICE:>=10", "BORN:Empty",
// "CITY:Paris or London", ranges "10,20") and the word filter. Conditions on
// different fields must all pass; alternatives of one field need one to pass.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "dbf/field_decoder.h"
#include "platform/locale_info.h"
#include "util/result.h"

namespace tabrix {

// A field name and its condition text, as given on the command line.
struct ConditionPair {
  std::string field;
  std::string condition;
};

// "/FILTER2:" items: FIELD:condition separated by ','; malformed items are ignored.
void parseInlineConditions(std::string_view items, std::vector<ConditionPair>& pairs);
// A file of FIELD:condition lines; a failure with the system's text when it cannot be read.
Result readFieldConditions(const std::string& path, std::vector<ConditionPair>& pairs);

enum class ConditionOperator : uint8_t { Equal, AtMost, Below, AtLeast, Above, NotEqual, IsEmpty, IsNotEmpty };

struct FieldCondition {
  std::string text;   // as written, a range end cut off
  std::string value;  // the operand
  ConditionOperator op = ConditionOperator::Equal;
  std::vector<FieldCondition> alternatives;
  std::string rangeEnd;
};

// Sets op and value from text.
void parseCondition(FieldCondition& condition);
// Fills alternatives from the parts of text separated by " or " (any case).
void splitAlternatives(FieldCondition& condition);

// Whether text matches pattern: '?' any one character; a leading '*' finds
// the rest anywhere in the text; otherwise a prefix match up to the first '*'.
bool wildcardMatch(std::string_view pattern, std::string_view text);

struct FilterSettings {
  DateFormat dateFormat;
  const std::array<uint8_t, 256>* oemToAnsi = nullptr;  // for tables read as OEM text
  const std::array<uint8_t, 256>* upperCase = nullptr;  // the ANSI code page's capitals
  int todayDay = 1, todayMonth = 1, todayYear = 2000;  // for "today()"
};

// The conditions attached to one open table.
class RecordConditions {
 public:
  RecordConditions(const DbfTable& table, const std::vector<ConditionPair>& pairs, const FilterSettings& settings);
  bool empty() const { return active_.empty(); }
  // Whether the record passes every field's condition.
  bool passes(DbfTable& table, const uint8_t* record);

 private:
  bool fieldPasses(DbfTable& table, int field, const FieldCondition& c, const FieldCondition& whole,
                   const uint8_t* record);

  FilterSettings settings_;
  std::vector<FieldCondition> conditions_;  // one per field
  std::vector<int> active_;                 // fields that carry a condition
  std::vector<NullBit> nullBits_;           // one per field
  std::vector<char> text_;                  // a decoded field
  std::string memo_;
  std::string upperValue_;
};

// The word filter: a record matches when some field matches the pattern
// (upper-cased when read): character fields ignoring case, memos containing
// it in any case, other fields as their text.
class WordFilter {
 public:
  WordFilter(const std::string& pattern, const FilterSettings& settings);
  bool matches(DbfTable& table, const uint8_t* record);

 private:
  std::string pattern_;
  FilterSettings settings_;
  std::vector<char> decoded_;
  std::string text_;
  std::vector<NullBit> nullBits_;  // one per field of the table, found at its first record
};

}  // namespace tabrix
