#include "convert/progress_steps.h"

#include <gtest/gtest.h>

#include <vector>

namespace tabrix {
namespace {

// Walking every count of a table reports each step the division gives, once
// and in order, whatever the table's size; a second walk of the same size
// starts again from its first step.
TEST(ProgressSteps, ReportsEachStepOfTheWalkOnce) {
  for (const uint64_t steps : {uint64_t{100}, uint64_t{1000}}) {
    ProgressSteps progress(steps);
    for (const uint64_t total : {1, 2, 7, 99, 100, 101, 999, 1000, 1001, 4096, 123457, 123457}) {
      std::vector<uint64_t> expected, reported;
      for (uint64_t current = 1; current <= total; ++current) {
        const uint64_t step = current * steps / total;
        if (expected.empty() || expected.back() != step) expected.push_back(step);
        if (progress.advanced(current, total)) reported.push_back(progress.step());
      }
      EXPECT_EQ(reported, expected) << total << " records in " << steps << " steps";
    }
  }
}

}  // namespace
}  // namespace tabrix
