#pragma once
// Switches on the command line. The shell has split the line into words; a
// switch is present when one of the switch words begins with its text,
// compared without regard to case unless the switch is case-sensitive. So
// "/addtoexist" also gives "/add" and "/logappend" also gives "/LOG".
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

enum class Case { Ignore, Match };

class SwitchWords {
 public:
  explicit SwitchWords(std::vector<std::string> words) : words_(std::move(words)) {}

  bool has(std::string_view text, Case c = Case::Ignore) const { return find(text, c) != nullptr; }
  // The rest of the first word carrying the switch.
  std::optional<std::string> value(std::string_view text, Case c = Case::Ignore) const;
  const std::vector<std::string>& words() const { return words_; }

 private:
  const std::string* find(std::string_view text, Case c) const;
  std::vector<std::string> words_;
};

// What follows a switch's text in its word.
enum class SwitchValue { None, Text, Number };

struct KnownSwitch {
  std::string_view text;
  Case letterCase = Case::Ignore;
  SwitchValue value = SwitchValue::None;
};

// Every switch the command line reads.
std::span<const KnownSwitch> knownSwitches();

// Whether word begins with text, in the letter case c asks for.
bool beginsWith(std::string_view word, std::string_view text, Case c);

// Whether word begins with a known switch (in that switch's letter case).
bool isKnownSwitch(std::string_view word);

// The known switch nearest to word by edit distance, letter case ignored;
// empty when none is near enough to be a likely typo.
std::string_view nearestSwitch(std::string_view word);

// A count written as decimal digits (blanks around them allowed); none for
// anything else, a sign included.
std::optional<long long> parseCount(std::string_view text);

}  // namespace tabrix
