#include "cli/switch_words.h"

#include <algorithm>
#include <cassert>
#include <array>

#include "util/ascii.h"
#include "util/text_scan.h"

namespace tabrix {

namespace {

constexpr Case kMatch = Case::Match;
constexpr SwitchValue kText = SwitchValue::Text;
constexpr SwitchValue kNumber = SwitchValue::Number;

// In the order of the documentation's tables.
constexpr KnownSwitch kKnownSwitches[] = {
    {"/LIST:", Case::Ignore, kText}, {"/TO", Case::Ignore, kText}, {"/recurse"}, {"/add"}, {"/addtoexist"},
    {"/rmsrc"}, {"/keepdate"}, {"/LOG:", Case::Ignore, kText}, {"/LOG"}, {"/logappend"}, {"/loglevel:1"},
    {"/console"}, {"/tm", kMatch}, {"/JOBS:", Case::Ignore, kNumber},
    {"/FILTER2:", Case::Ignore, kText}, {"/FILTER:", Case::Ignore, kText}, {"/WFILTER:", Case::Ignore, kText},
    {"/COLUMNS:", Case::Ignore, kText}, {"/COLUMNSLIST:", Case::Ignore, kText}, {"/EXCLUDE"},
    {"/SORTBY:", Case::Ignore, kText}, {"/DESC"}, {"/ignorecase"}, {"/REVERSE"}, {"/last:", Case::Ignore, kNumber},
    {"/SKIPD"}, {"/EXPORTALL"}, {"/ONLYDELETED"}, {"/SKIPEMPTY"}, {"/ONLYSTRUCTURE"},
    {"/SEP", Case::Ignore, kText}, {"/LF"}, {"/HDR"}, {"/hdrlowercase"}, {"/hdrcapcase"}, {"/outtypes"},
    {"/outtypes2"}, {"/rowid"}, {"/NOTRIM"}, {"/savelb"}, {"/dec0"}, {"/skipseconds"}, {"/ISODATES"}, {"/KEEPBINARY"}, {"/utf8"}, {"/TOOEM"},
    {"/OEM"}, {"/ANSI"}, {"/CP:", Case::Ignore, kNumber}, {"/SINGLEQUOTA"}, {"/DOUBLEQUOTA"}, {"/ALLQUOTAS"},
    {"/ORACLE"}, {"/MYSQL"}, {"/SQL2000"}, {"/MSSQL"}, {"/POSTGRESQL"}, {"/insertwithcolumns"}, {"/createonly"},
    {"/go:", Case::Ignore, kNumber}, {"/go"},
    {"/TITLE=", Case::Ignore, kText}, {"/COLOR=", kMatch, kText}, {"/BACKGROUND=", kMatch, kText},
    {"/BORDER=", kMatch, kNumber}, {"/MAXPERPAGE=", Case::Ignore, kNumber}, {"/ASFORM"}, {"/NUMBER"},
    {"/roottag:", Case::Ignore, kText}, {"/recordtag:", Case::Ignore, kText}, {"/tagdeleted"}, {"/JSONTYPES"}, {"/ASXML"},
    {"/sheetname:", Case::Ignore, kText}, {"/nohdr"},
    {"/DBASE3"}, {"/DBASE4"}, {"/VFP"}, {"/dbase7"},
    {"/clearhistory"}, {"/historyto:", Case::Ignore, kText},
};

// Optimal string alignment distance, letter case ignored: a swap of two
// neighbours ("/HRD" for "/HDR") counts as one edit.
size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = asciiLower(a[i - 1]) == asciiLower(b[j - 1]);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && asciiLower(a[i - 1]) == asciiLower(b[j - 2]) && asciiLower(a[i - 2]) == asciiLower(b[j - 1]))
        current[j] = std::min(current[j], before[j - 2] + 1);
    }
    before.swap(previous);
    previous.swap(current);
  }
  return previous[b.size()];
}

// The part of a word a switch's text is compared with: up to its first ':'
// or '=' for switches whose value follows one ("/SORTBI:NAME" is compared as
// "/SORTBI:"), the whole word otherwise.
std::string_view namePart(std::string_view word, const KnownSwitch& candidate) {
  const char last = candidate.text.back();
  if (candidate.value == SwitchValue::None || (last != ':' && last != '=')) return word;
  const size_t mark = word.find_first_of(":=");
  return mark == std::string_view::npos ? word : word.substr(0, mark + 1);
}

}  // namespace

bool beginsWith(std::string_view word, std::string_view text, Case c) {
  if (word.size() < text.size()) return false;
  return c == Case::Match ? word.compare(0, text.size(), text) == 0
                          : equalsIgnoringCase(word.substr(0, text.size()), text);
}

const std::string* SwitchWords::find(std::string_view text, Case c) const {
  // A switch read here but missing from the known table would be reported as
  // unknown when given; debug builds (and so the sanitizer tests) stop on it.
  assert(isKnownSwitch(text));
  for (const std::string& word : words_)
    if (beginsWith(word, text, c)) return &word;
  return nullptr;
}

std::optional<std::string> SwitchWords::value(std::string_view text, Case c) const {
  const std::string* word = find(text, c);
  if (!word) return std::nullopt;
  return word->substr(text.size());
}

std::span<const KnownSwitch> knownSwitches() { return kKnownSwitches; }

bool isKnownSwitch(std::string_view word) {
  return std::any_of(std::begin(kKnownSwitches), std::end(kKnownSwitches),
                     [&](const KnownSwitch& s) { return beginsWith(word, s.text, s.letterCase); });
}

std::string_view nearestSwitch(std::string_view word) {
  std::string_view nearest;
  size_t best = SIZE_MAX;
  for (const KnownSwitch& candidate : kKnownSwitches) {
    // Short switches allow one edit, longer ones a third of their length;
    // beyond that the words merely share letters.
    const size_t allowed = candidate.text.size() <= 4 ? 1 : std::max<size_t>(2, candidate.text.size() / 3);
    const std::string_view part = namePart(word, candidate);
    const size_t apart = part.size() > candidate.text.size() ? part.size() - candidate.text.size()
                                                             : candidate.text.size() - part.size();
    if (apart > allowed) continue;  // the distance is at least the difference in length
    const size_t distance = editDistance(part, candidate.text);
    if (distance <= allowed && distance < best) {
      best = distance;
      nearest = candidate.text;
    }
  }
  return nearest;
}

std::optional<long long> parseCount(std::string_view text) {
  text = trimBlanks(text);
  if (text.size() > 15) return std::nullopt;
  return digitsValue<long long>(text);
}

}  // namespace tabrix
