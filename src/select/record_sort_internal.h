#pragma once
// The quicksort's steps, fixed because the order of equal keys depends on them.
#include <utility>
#include <vector>

namespace tabrix {

template <typename Compare>
void quickSortPositions(std::vector<uint32_t>& e, Compare compare) {
  if (e.size() < 2) return;
  std::vector<std::pair<int64_t, int64_t>> stack;
  stack.emplace_back(0, static_cast<int64_t>(e.size()) - 1);
  while (!stack.empty()) {
    auto [low, high] = stack.back();
    stack.pop_back();
    while (low < high) {
      const int64_t mid = low + (high - low) / 2;
      std::swap(e[static_cast<size_t>(low)], e[static_cast<size_t>(mid)]);
      int64_t i = low + 1, j = high;
      auto at = [&](int64_t k) { return e[static_cast<size_t>(k)]; };
      for (;;) {
        while (i < j && compare(at(low), at(i)) > 0) ++i;
        while (i <= j && compare(at(j), at(low)) > 0) --j;
        if (j <= i) break;
        std::swap(e[static_cast<size_t>(i)], e[static_cast<size_t>(j)]);
        ++i;
        --j;
      }
      std::swap(e[static_cast<size_t>(low)], e[static_cast<size_t>(j)]);
      if (j - low <= high - j) {
        if (j + 1 < high) stack.emplace_back(j + 1, high);
        high = j - 1;
      } else {
        if (low < j - 1) stack.emplace_back(low, j - 1);
        low = j + 1;
      }
    }
  }
}

}  // namespace tabrix
