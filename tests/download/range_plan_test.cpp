#include <gtest/gtest.h>

#include "RangePlan.h"

TEST(RangePlan, SplitsIntoEqualRangesAndTheLastTakesTheRemainder) {
  CRangePlan plan(1000, 3);
  ASSERT_EQ(plan.RangeCount(), 3);
  EXPECT_EQ(plan.Start(0), 0);
  EXPECT_EQ(plan.End(0), 332);
  EXPECT_EQ(plan.Start(1), 333);
  EXPECT_EQ(plan.End(1), 665);
  EXPECT_EQ(plan.Start(2), 666);
  EXPECT_EQ(plan.End(2), 999);
  EXPECT_EQ(plan.Length(2), 334);
}

TEST(RangePlan, KeepsTheCountBetweenOneAndSixtyFour) {
  EXPECT_EQ(CRangePlan(1 << 20, 100).RangeCount(), 64);
  EXPECT_EQ(CRangePlan(1 << 20, 64).RangeCount(), 64);
  EXPECT_EQ(CRangePlan(1 << 20, 0).RangeCount(), 1);
  EXPECT_EQ(CRangePlan(1 << 20, -5).RangeCount(), 1);
}

TEST(RangePlan, EmptyRangesOfASmallFileAreCompleteFromTheStart) {
  CRangePlan plan(3, 5);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plan.Length(i), 0) << i;
    EXPECT_TRUE(plan.IsDone(i)) << i;
  }
  EXPECT_EQ(plan.Start(4), 0);
  EXPECT_EQ(plan.Length(4), 3);
  EXPECT_FALSE(plan.AllDone());
  plan.MarkDone(4);
  EXPECT_TRUE(plan.AllDone());
  EXPECT_TRUE(CRangePlan(0, 5).AllDone());
}
