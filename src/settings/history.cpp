#include "settings/history.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tabrix {

namespace {


std::string sourceName(size_t i) { return fmt::format("SRC{}", i); }
std::string outputName(size_t i) { return fmt::format("DST{}", i); }

}  // namespace

History::History(std::vector<HistoryPair> pairs) : pairs_(std::move(pairs)) {
  if (pairs_.size() > kCapacity) pairs_.resize(kCapacity);
}

void History::addRecent(HistoryPair pair) {
  if (pairs_.size() == kCapacity) pairs_.pop_back();
  pairs_.insert(pairs_.begin(), std::move(pair));
}

History loadHistory(const RegistryValues& values) {
  uint32_t stored = 0;
  values.readFourBytes("RECENTS", stored);
  // A count is a signed 32-bit number; a negative one holds no pairs.
  const int32_t count = static_cast<int32_t>(stored);
  std::vector<HistoryPair> pairs(count > 0 ? std::min<size_t>(static_cast<size_t>(count), History::kCapacity) : 0);
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (auto text = values.readText(sourceName(i), kRegistryPathLimit)) pairs[i].source = std::move(*text);
    if (auto text = values.readText(outputName(i), kRegistryPathLimit)) pairs[i].output = std::move(*text);
  }
  return History(std::move(pairs));
}

void updateHistoryAfterWizard(RegistryValues& values, History& history, const std::string& source,
                              const std::string& output) {
  if (source.empty()) return;
  if (!history.empty() && history.pairs()[0].source == source && history.pairs()[0].output == output) return;
  history.addRecent({source, output});
  for (size_t i = 0; i < history.size(); ++i) {
    values.writeText(sourceName(i), history.pairs()[i].source);
    values.writeText(outputName(i), history.pairs()[i].output);
  }
}

void clearHistory(RegistryValues& values, History& history) {
  for (size_t i = 0; i < history.size(); ++i) {
    values.writeText(sourceName(i), "");
    values.writeText(outputName(i), "");
  }
  history.clear();
}

Result exportHistory(const History& history, const std::string& path) {
  std::string text;
  for (const HistoryPair& pair : history.pairs()) text += pair.source + ',' + pair.output + "\r\n";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return Result::failure(std::strerror(errno));
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  const int error = errno;
  if (std::fclose(file) != 0 || !written) return Result::failure(std::strerror(written ? errno : error));
  return {};
}

}  // namespace tabrix
