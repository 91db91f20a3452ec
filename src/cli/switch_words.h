#pragma once
// Switches on the command line. The shell has split the line into words; a
// switch is present when one of the switch words begins with its text,
// compared without regard to case unless the switch is case-sensitive. So
// "/addtoexist" also gives "/add" and "/logappend" also gives "/LOG".
#include <optional>
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
  // The value read as a decimal integer (optional sign, leading digits; 0 without digits).
  std::optional<long long> number(std::string_view text, Case c = Case::Ignore) const;
  const std::vector<std::string>& words() const { return words_; }

 private:
  const std::string* find(std::string_view text, Case c) const;
  std::vector<std::string> words_;
};

// A decimal integer at the start of text: optional sign, digits, 0 without any.
long long leadingNumber(std::string_view text);

}  // namespace tabrix
