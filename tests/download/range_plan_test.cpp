#include <gtest/gtest.h>

#include "HttpDownload.h"
#include "RangePlan.h"
#include "TestSupport.h"

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
  plan.Advance(4, 3);
  EXPECT_TRUE(plan.AllDone());
  EXPECT_TRUE(CRangePlan(0, 5).AllDone());
}

// Blocks of an answer that began before the first missing byte (a resumed whole-file answer, or a
// range whose end moved down while its answer ran) are cut to what is still missing.
TEST(RangePlan, ClipKeepsOnlyTheMissingBytesOfABlock) {
  CRangePlan plan(1000, 2);  // 0-499, 500-999
  int skip = -1;
  EXPECT_EQ(plan.Clip(1, 500, 100, skip), 100);
  EXPECT_EQ(skip, 0);
  plan.Advance(1, 100);
  EXPECT_EQ(plan.Next(1), 600);
  EXPECT_EQ(plan.Clip(1, 0, 550, skip), 0);    // wholly before the missing bytes
  EXPECT_EQ(plan.Clip(1, 550, 100, skip), 50);  // partly
  EXPECT_EQ(skip, 50);
  EXPECT_EQ(plan.Clip(1, 600, 500, skip), 400);  // runs past the range's end
  EXPECT_EQ(skip, 0);
  EXPECT_EQ(plan.Clip(1, 601, 10, skip), 0);  // a gap is never written
  EXPECT_EQ(plan.DownloadedSize(), 100);
}

TEST(RangePlan, SplitsTheLargestBusyRemainderInHalvesOfAtLeastTheMinimum) {
  CRangePlan plan(4000, 2);  // 0-1999, 2000-3999
  auto all = [](int) { return true; };
  plan.Advance(0, 2000);
  plan.Advance(1, 400);
  EXPECT_EQ(plan.SplitLargest(1000, all), -1);  // 1600 left: halves of 800
  EXPECT_EQ(plan.SplitLargest(800, [](int i) { return i != 1; }), -1);  // nobody fetches it
  ASSERT_EQ(plan.SplitLargest(800, all), 2);
  EXPECT_EQ(plan.End(1), 3199);
  EXPECT_EQ(plan.Start(2), 3200);
  EXPECT_EQ(plan.End(2), 3999);
  EXPECT_EQ(plan.Remaining(1) + plan.Remaining(2), 1600);
  // The first range's answer still runs to 3999: it stops at its new end.
  int skip = 0;
  EXPECT_EQ(plan.Clip(1, 2400, 1600, skip), 800);
  plan.Advance(1, 800);
  EXPECT_TRUE(plan.IsDone(1));
  EXPECT_FALSE(plan.AllDone());
  plan.Advance(2, 800);
  EXPECT_TRUE(plan.AllDone());
  EXPECT_EQ(plan.DownloadedSize(), 4000);
}

TEST(RangePlan, OneStreamDropsTheOtherRangesAndCountsAgainFromZero) {
  CRangePlan plan(900, 3);
  plan.Advance(0, 100);
  plan.Advance(2, 300);
  plan.ToOneStream(1);
  EXPECT_TRUE(plan.IsDropped(0));
  EXPECT_TRUE(plan.IsDropped(2));
  EXPECT_FALSE(plan.IsDropped(1));
  EXPECT_EQ(plan.Start(1), 0);
  EXPECT_EQ(plan.End(1), 899);
  EXPECT_EQ(plan.DownloadedSize(), 0);
  EXPECT_FALSE(plan.AllDone());
  EXPECT_TRUE(plan.IsOneStream());
  EXPECT_EQ(plan.SplitLargest(1, [](int) { return true; }), -1);
}

TEST(RangePlan, AnUnknownSizeIsOneOpenRangeUntilABodyEndsOrAnAnswerNamesIt) {
  CRangePlan open(CRangePlan::kUnknownSize, 5);
  ASSERT_EQ(open.RangeCount(), 1);
  EXPECT_FALSE(open.SizeKnown());
  EXPECT_EQ(open.SplitLargest(1, [](int) { return true; }), -1);
  open.Advance(0, 1234);
  EXPECT_FALSE(open.AllDone());
  open.FinishOpenRange(0);
  EXPECT_TRUE(open.AllDone());
  EXPECT_EQ(open.FileSize(), 1234);

  CRangePlan named(CRangePlan::kUnknownSize, 1);
  named.Advance(0, 100);
  named.SetFileSize(300);
  EXPECT_EQ(named.End(0), 299);
  EXPECT_EQ(named.Remaining(0), 200);
  named.Advance(0, 200);
  EXPECT_TRUE(named.AllDone());
}

TEST(ContentRange, ReadsExactlyBytesStartEndTotalOfARangeInsideTheFile) {
  long long start = -1, end = -1, total = -1;
  ASSERT_TRUE(ParseContentRange(L"bytes 0-0/1500000", start, end, total));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(total, 1500000);
  ASSERT_TRUE(ParseContentRange(L"bytes 1000-263143/1048576", start, end, total));
  EXPECT_EQ(end, 263143);
  // Past 2 GiB and 4 GiB, to the largest size a file can have.
  ASSERT_TRUE(ParseContentRange(L"bytes 4294967296-4295016447/4295016448", start, end, total));
  EXPECT_EQ(start, 4294967296LL);
  EXPECT_EQ(total, 4295016448LL);
  ASSERT_TRUE(ParseContentRange(L"bytes 0-9/9223372036854775807", start, end, total));
  EXPECT_EQ(total, 9223372036854775807LL);
  for (const wchar_t* bad : {L"bytes 0-9/*", L"bytes */100", L"bytes 5-4/100", L"bytes 0-100/100", L"bytes 0-9/",
                             L"bytes -9/100", L"bytes 0-9", L"items 0-9/100", L"bytes  0-9/100", L"bytes 0-9/100 ",
                             L"bytes 0-9/9223372036854775808", L"bytes 0-9/99999999999999999999"}) {
    EXPECT_FALSE(ParseContentRange(bad, start, end, total)) << TestSupport::Utf8(bad);
  }
}
