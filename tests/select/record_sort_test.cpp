#include "select/record_sort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table_builder.h"

namespace tabrix {
namespace {

int compareTexts(const std::string& left, const std::string& right) {
  EXPECT_EQ(left.size(), right.size());
  return compareNumericText(reinterpret_cast<const uint8_t*>(left.data()),
                            reinterpret_cast<const uint8_t*>(right.data()), left.size());
}

TEST(CompareNumericText, BlankSortsAboveNegativesAndBelowZeroAndPositives) {
  EXPECT_LT(compareTexts("   -5", "     "), 0);
  EXPECT_GT(compareTexts("     ", "   -5"), 0);
  EXPECT_LT(compareTexts("     ", "    3"), 0);
  EXPECT_LT(compareTexts("     ", "    0"), 0);
  EXPECT_GT(compareTexts("    0", "     "), 0);
  EXPECT_LT(compareTexts("   -5", "    3"), 0);
}

TEST(CompareNumericText, NegativesOfOneWidthCompareByMagnitudeReversed) {
  EXPECT_LT(compareTexts("   -7", "   -5"), 0);
  EXPECT_GT(compareTexts("  -12", "  -15"), 0);
  EXPECT_LT(compareTexts(" -1.5", " -1.2"), 0);
  EXPECT_EQ(compareTexts("   -5", "   -5"), 0);
}

TEST(CompareNumericText, MinusBeforeMoreDigitsIsSmaller) {
  EXPECT_LT(compareTexts("  -10", "   -5"), 0);
  EXPECT_GT(compareTexts("   -5", "  -10"), 0);
  EXPECT_LT(compareTexts("-1000", "  -99"), 0);
}

TEST(CompareNumericText, PositivesCompareAsRightAlignedText) {
  EXPECT_GT(compareTexts("   12", "    9"), 0);
  EXPECT_GT(compareTexts(" 1.50", " 1.25"), 0);
  EXPECT_LT(compareTexts("  100", "  101"), 0);
  EXPECT_EQ(compareTexts("   12", "   12"), 0);
  EXPECT_GT(compareTexts("5", "3"), 0);
  EXPECT_EQ(compareNumericText(nullptr, nullptr, 0), 0);
}

TEST(QuickSortPositions, EqualKeysComeOutInTheOrderTheStepsGive) {
  // Entries 0..4 with keys 2 1 2 1 2; compare(p, q) = key(p) - key(q).
  //
  // Range (0,4): mid 2, swap 0<->2: [2 1 0 3 4], pivot entry 2 (key 2).
  //   i=1, j=4. i: key(1)=1 < 2, i=2; key(0)=2 not below, stop at 2.
  //   j: key(4)=2 not above, stop at 4. j>i: swap 2<->4: [2 1 4 3 0], i=3, j=3.
  //   i: i<j fails. j: key(3)=1 not above. j<=i: stop.
  //   Pivot to j=3: swap 0<->3: [3 1 4 2 0].
  //   Left part j-low=3 > right part high-j=1: push (0,2), go on with low=4: done.
  // Range (0,2) of [3 1 4 ...]: mid 1, swap 0<->1: [1 3 4 2 0], pivot entry 1 (key 1).
  //   i=1, j=2. i: key(3)=1 equal, stop at 1. j: key(4)=2 above, j=1; key(3) equal, stop.
  //   j<=i: stop. Pivot to j=1: swap 0<->1: [3 1 4 2 0].
  //   j-low=1 <= high-j=1: (2,2) is not pushed, high=0: done.
  const int keys[] = {2, 1, 2, 1, 2};
  std::vector<uint32_t> entries{0, 1, 2, 3, 4};
  quickSortPositions(entries, [&](uint32_t p, uint32_t q) { return keys[p] - keys[q]; });
  EXPECT_EQ(entries, (std::vector<uint32_t>{3, 1, 4, 2, 0}));
}

TEST(QuickSortPositions, DescendingByANegatedComparison) {
  // Same keys, compare(p, q) = key(q) - key(p).
  //
  // Range (0,4): mid 2, swap 0<->2: [2 1 0 3 4], pivot entry 2 (key 2).
  //   i=1, j=4. i: compare(2,1) = 1-2 < 0, stop at 1.
  //   j: compare(4,2) = 0, stop at 4. Swap 1<->4: [2 4 0 3 1], i=2, j=3.
  //   i: compare(2,0) = 0, stop at 2. j: compare(3,2) = 2-1 > 0, j=2;
  //   compare(0,2) = 0, stop at 2. j<=i: stop.
  //   Pivot to j=2: swap 0<->2: [0 4 2 3 1].
  //   j-low=2 <= high-j=2: push (3,4), go on with high=1.
  // Range (0,1) of [0 4 ...]: mid 0, no move, pivot entry 0 (key 2).
  //   i=1, j=1. i: i<j fails. j: compare(4,0) = 0, stop at 1. j<=i: stop.
  //   Pivot to j=1: swap 0<->1: [4 0 2 3 1]. j-low=1 > high-j=0: low<j-1 fails,
  //   nothing pushed, low=2: done.
  // Range (3,4) of [... 3 1]: mid 3, pivot entry 3 (key 1).
  //   i=4, j=4. j: compare(1,3) = 0, stop at 4. j<=i: stop.
  //   Pivot to j=4: swap 3<->4: [4 0 2 1 3]. j-low=1 > high-j=0: low=5: done.
  const int keys[] = {2, 1, 2, 1, 2};
  std::vector<uint32_t> entries{0, 1, 2, 3, 4};
  quickSortPositions(entries, [&](uint32_t p, uint32_t q) { return keys[q] - keys[p]; });
  EXPECT_EQ(entries, (std::vector<uint32_t>{4, 0, 2, 1, 3}));
}

TEST(QuickSortPositions, EmptyAndSingleListsNeedNoComparison) {
  auto mustNotCompare = [](uint32_t, uint32_t) {
    ADD_FAILURE() << "compared";
    return 0;
  };
  std::vector<uint32_t> none;
  quickSortPositions(none, mustNotCompare);
  EXPECT_TRUE(none.empty());
  std::vector<uint32_t> one{7};
  quickSortPositions(one, mustNotCompare);
  EXPECT_EQ(one, (std::vector<uint32_t>{7}));
}

TEST(ResolveSortField, WholeNameInAnyCase) {
  auto table = test::TableBuilder(0x03).field("NAME", 'C', 10).field("NAMES", 'C', 10).field("QTY", 'N', 5).open();
  EXPECT_EQ(resolveSortField(*table, "NAME"), 0);
  EXPECT_EQ(resolveSortField(*table, "names"), 1);
  EXPECT_EQ(resolveSortField(*table, "Qty"), 2);
  EXPECT_EQ(resolveSortField(*table, "NAM"), -1);
  EXPECT_EQ(resolveSortField(*table, "QTY "), -1);
  EXPECT_EQ(resolveSortField(*table, ""), -1);
}

TEST(ResolveSortField, NameFromTheDescriptorNotATitle) {
  auto table = test::TableBuilder(0x03).field("NAME", 'C', 10).open();
  EXPECT_EQ(resolveSortField(*table, "NAME"), 0);
  EXPECT_EQ(resolveSortField(*table, "Customer"), -1);
}

}  // namespace
}  // namespace tabrix
