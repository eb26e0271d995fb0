#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "download/HttpDownload.h"
#include "download/RangePlan.h"
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
  EXPECT_EQ(plan.Clip(1, 0, 550, skip), 0);     // wholly before the missing bytes
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
  EXPECT_EQ(plan.SplitLargest(1000, all), -1);                          // 1600 left: halves of 800
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

namespace {

// Connections at one pace, a block each in turn, taking work as the engine does: from the front of
// what nobody fetches, else the tail of the largest busy range. Returns the gap-free start of the file
// at the moment `share` of it has been written, and checks that every byte is written exactly once.
long long PrefixWhenWritten(long long size, int connections, long long minPiece, double share) {
  const int block = 102400;
  CRangePlan plan(size, connections, minPiece);
  std::vector<int> held(connections, -1);
  auto busy = [&held](int index) { return std::find(held.begin(), held.end(), index) != held.end(); };
  auto take = [&](int c) {
    held[c] = -1;
    int index = plan.TakeFront(minPiece, connections, busy);
    if (index < 0) index = plan.SplitLargest(minPiece, busy);
    held[c] = index;
  };
  for (int c = 0; c < connections; ++c) take(c);
  long long prefix = -1;
  for (bool moved = true; moved;) {
    moved = false;
    for (int c = 0; c < connections; ++c) {
      if (held[c] < 0) continue;
      moved = true;
      const long long left = plan.Remaining(held[c]);
      plan.Advance(held[c], static_cast<int>(left < block ? left : block));
      if (prefix < 0 && plan.DownloadedSize() >= share * size) prefix = plan.WrittenPrefix();
      if (plan.IsDone(held[c])) take(c);
    }
  }
  EXPECT_TRUE(plan.AllDone());
  EXPECT_EQ(plan.DownloadedSize(), size);
  EXPECT_EQ(plan.WrittenPrefix(), size);
  return prefix;
}

}  // namespace

// The digest that follows a download can only read the file's gap-free start: when most of a large
// file is written, so must most of that start be, or the digest is left with the file's bulk after
// the last byte. Files too small for pieces keep their equal ranges.
TEST(RangePlan, WritesALargeFileFromItsStartOnwardsInPiecesThatShrinkTowardsTheEnd) {
  const long long kMiB = 1 << 20;
  struct Case {
    long long size;
    int connections;
  };
  for (const Case& c :
       {Case{16 * kMiB, 5}, Case{50 * kMiB, 5}, Case{256 * kMiB, 5}, Case{2048 * kMiB + kMiB, 5}, Case{50 * kMiB, 1}}) {
    const long long prefix = PrefixWhenWritten(c.size, c.connections, 512 * 1024, 0.9);
    EXPECT_GE(prefix, c.size * 3 / 4) << c.size << " bytes, " << c.connections << " connections";
  }
  CRangePlan small(5 * kMiB - 1, 5, 512 * 1024);
  ASSERT_EQ(small.RangeCount(), 5);
  EXPECT_EQ(small.Length(0), (5 * kMiB - 1) / 5);
  CRangePlan large(50 * kMiB, 5, 512 * 1024);
  ASSERT_EQ(large.RangeCount(), 6);
  EXPECT_EQ(large.Length(0), 5 * kMiB);
  EXPECT_EQ(large.Start(5), 25 * kMiB);
}

// A state file keeps a complete range joined to the one after it, so that a resumed download goes on
// from as few ranges as it left unfinished, with the same bytes written.
TEST(RangePlan, PiecesJoinACompleteRangeToTheNextAndResumeToTheSameProgress) {
  CRangePlan plan(1000, 4);  // 0-249, 250-499, 500-749, 750-999
  plan.Advance(0, 250);
  plan.Advance(1, 100);
  plan.Advance(2, 250);
  const std::vector<RangePiece> pieces = plan.Pieces();
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].nStart, 0);
  EXPECT_EQ(pieces[0].nEnd, 499);
  EXPECT_EQ(pieces[0].nNext, 350);
  EXPECT_EQ(pieces[1].nStart, 500);
  EXPECT_EQ(pieces[1].nEnd, 999);
  EXPECT_EQ(pieces[1].nNext, 750);
  CRangePlan resumed(1000, pieces);
  EXPECT_EQ(resumed.DownloadedSize(), plan.DownloadedSize());
  EXPECT_EQ(resumed.WrittenPrefix(), 350);
}
