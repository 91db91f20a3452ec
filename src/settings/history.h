#pragma once
// The recent source/output pairs the wizard offers, most recent first, and
// the values of the settings key that hold them ("RECENTS", "SRC%d", "DST%d").
#include <string>
#include <vector>

#include "settings/registry_file.h"
#include "util/result.h"

namespace tabrix {

struct HistoryPair {
  std::string source;
  std::string output;
};

// At most kCapacity pairs; a pair added in front pushes the oldest out.
class History {
 public:
  static constexpr size_t kCapacity = 20;

  History() = default;
  // The pairs in the order given, the first kCapacity of them.
  explicit History(std::vector<HistoryPair> pairs);

  void addRecent(HistoryPair pair);
  void clear() { pairs_.clear(); }
  size_t size() const { return pairs_.size(); }
  bool empty() const { return pairs_.empty(); }
  const std::vector<HistoryPair>& pairs() const { return pairs_; }

 private:
  std::vector<HistoryPair> pairs_;
};

// "RECENTS" pairs (at most kCapacity) from "SRC0"/"DST0" on; a value that
// cannot be read leaves its text empty.
History loadHistory(const RegistryValues& values);

// The pair the wizard accepted goes in front unless it is the first pair
// already; after an insertion every pair's values are written. An empty
// source (the wizard recorded none) changes nothing.
void updateHistoryAfterWizard(RegistryValues& values, History& history, const std::string& source,
                              const std::string& output);

// Empties the values of every pair (they stay, with empty texts) and the list.
void clearHistory(RegistryValues& values, History& history);

// One "source,output\r\n" line per pair, most recent first. The file is made
// anew (a longer earlier export leaves nothing behind). A failure carries the
// system's text.
Result exportHistory(const History& history, const std::string& path);

}  // namespace tabrix
