#pragma once
// Lets a failed Result show its reason in a test's message:
// ASSERT_TRUE(succeeded(table.open(path, {})));
#include <gtest/gtest.h>

#include "util/result.h"

namespace tabrix::test {

inline ::testing::AssertionResult succeeded(const Result& result) {
  if (result) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << result.reason();
}

}  // namespace tabrix::test
