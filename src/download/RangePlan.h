#pragma once

// Which bytes of one download are still to come, and who fetches them: the file cut into ranges,
// each with the first byte not yet written. A large file is fetched in pieces taken from the front of
// what nobody fetches yet, smaller the less is left, so that the file is written from its start
// onwards without a long gap (what follows the download, its digest, reads that gap-free start as it
// grows); a small one in equal ranges. When nothing is left to take, a connection that finished takes
// the tail of the range with the most left (a split), and a server that ignores Range turns the plan
// into one stream of the whole file. Bookkeeping only: no network, no file. Not thread-safe: the
// download's lock guards it.

#include <climits>
#include <vector>

// One range as a partial download leaves it.
struct RangePiece {
  long long nStart = 0;
  long long nEnd = 0;   // last byte of the range
  long long nNext = 0;  // first byte not yet written; nEnd + 1 when the range is complete
};

class CRangePlan {
 public:
  // The most ranges one download starts with: one thread each, and one wait takes at most 64 handles.
  static constexpr int kMaxRanges = 64;
  // A file whose size no answer gave: one range, open to the end of the body, whose last byte is
  // kOpenEnd until the body ends or an answer names the size.
  static constexpr long long kUnknownSize = -1;
  static constexpr long long kOpenEnd = LLONG_MAX - 1;

  // The requested count limited to 1 ... kMaxRanges.
  static int ClampRangeCount(int requested) {
    return requested < 1 ? 1 : (requested > kMaxRanges ? kMaxRanges : requested);
  }

  // Of what nobody fetches yet, a connection takes 1 / (kPieceShare x connections) from the front:
  // pieces shrink as the download nears its end, where the last ones decide how long the file's
  // start has a gap.
  static constexpr int kPieceShare = 2;

  // Equal ranges of fileSize / count bytes; the last one takes the remainder. A range of length 0
  // (a file smaller than the count) is complete from the start: there is nothing to ask for.
  // When a first piece of fileSize / (kPieceShare x count) bytes is at least `minPiece`, the first
  // count ranges are such pieces and one more range holds the rest, for TakeFront to hand out.
  CRangePlan(long long fileSize, int requestedCount, long long minPiece = LLONG_MAX);
  // The plan a partial download left (pieces that cover the file in order): each range goes on from
  // its first missing byte, and what is written counts as downloaded.
  CRangePlan(long long fileSize, const std::vector<RangePiece>& pieces);
  // The ranges in the order of their first bytes, as a state file keeps them; a complete range joins
  // the one after it. Dropped ranges are left out: the one stream covers their bytes.
  std::vector<RangePiece> Pieces() const;

  long long FileSize() const { return nFileSize; }
  bool SizeKnown() const { return nFileSize != kUnknownSize; }
  // Ranges so far: the first ones, then every split-off tail, in the order they were made.
  int RangeCount() const { return static_cast<int>(vecRanges.size()); }
  long long Start(int index) const { return vecRanges[index].nStart; }
  // Offset of the range's last byte (start - 1 for an empty range); it moves down when the range
  // is split.
  long long End(int index) const { return vecRanges[index].nEnd; }
  long long Length(int index) const { return End(index) - Start(index) + 1; }
  // First byte of the range not yet written.
  long long Next(int index) const { return vecRanges[index].nNext; }
  long long Remaining(int index) const { return End(index) + 1 - Next(index); }

  bool IsDone(int index) const { return vecRanges[index].bDone; }
  // A range dropped when the plan became one stream; its fetcher stops.
  bool IsDropped(int index) const { return vecRanges[index].bDropped; }
  bool AllDone() const;

  // Of `count` bytes that start at file offset `offset`, the ones that belong at Next(index): sets
  // `skip` to the bytes before Next (already written) and returns how many follow it within the
  // range (0 when none do).
  int Clip(int index, long long offset, int count, int& skip) const;
  // Records `count` bytes written at Next(index); the range is done when it reaches its end.
  void Advance(int index, int count);
  // The body of an open range ended: the file is as long as what was written.
  void FinishOpenRange(int index);
  // A size learnt after the download began (an open range's answer named its total).
  void SetFileSize(long long fileSize);

  // Work from the front of what nobody fetches: of the first unfinished range that `busy` says
  // nobody fetches, a piece of max(minPiece, unfetched bytes / (kPieceShare x connections)) bytes
  // from its first missing byte, or the whole range when it holds less than two such pieces (the rest
  // stays a range of its own, after the piece). Returns the piece's range, -1 when every unfinished
  // range is fetched.
  template <typename Busy>
  int TakeFront(long long minPiece, int connections, Busy busy);

  // Splits the unfinished range with the most bytes left, when that is at least twice `minPiece`:
  // its tail half becomes a new range, whose index is returned; -1 when no range is worth it.
  // `busy(index)` says whether a range's bytes are being fetched; only such ranges are split, so
  // every byte keeps exactly one fetcher.
  template <typename Busy>
  int SplitLargest(long long minPiece, Busy busy);
  // The unfinished range that `busy` says someone fetches with the most bytes left (the one
  // SplitLargest would cut); -1 when there is none.
  template <typename Busy>
  int LargestBusy(Busy busy) const;

  // The server sends whole files only: range `index` becomes the whole file from its first byte, every
  // other range is dropped, and the count of bytes downloaded starts again from 0. Nothing is split
  // after that: the server would answer a tail with the whole file again.
  void ToOneStream(int index);
  bool IsOneStream() const { return bOneStream; }
  // The file was large enough to be fetched in pieces from the front.
  bool InPieces() const { return bInPieces; }

  // How many bytes from the file's start are written without a gap.
  long long WrittenPrefix() const;
  // Bytes written so far by all ranges (dropped ones' bytes no longer count).
  long long DownloadedSize() const { return nDownloadedSize; }

 private:
  struct Range {
    long long nStart;
    long long nEnd;
    long long nNext;
    bool bDone;
    bool bDropped;
  };
  int AddRange(long long start, long long end);
  // Range `index` ends after `length` more bytes; the rest becomes a new range, whose index is returned.
  int CutAfter(int index, long long length);

  std::vector<Range> vecRanges;
  long long nFileSize;
  long long nDownloadedSize = 0;
  bool bOneStream = false;
  bool bInPieces = false;
};

template <typename Busy>
int CRangePlan::LargestBusy(Busy busy) const {
  int largest = -1;
  for (int i = 0; i < RangeCount(); ++i) {
    if (IsDone(i) || IsDropped(i) || !busy(i)) continue;
    if (largest < 0 || Remaining(i) > Remaining(largest)) largest = i;
  }
  return largest;
}

template <typename Busy>
int CRangePlan::SplitLargest(long long minPiece, Busy busy) {
  const int largest = LargestBusy(busy);
  if (largest < 0 || !SizeKnown() || bOneStream || minPiece < 1 || Remaining(largest) / 2 < minPiece) return -1;
  return CutAfter(largest, Remaining(largest) / 2);
}

template <typename Busy>
int CRangePlan::TakeFront(long long minPiece, int connections, Busy busy) {
  int front = -1;
  long long idle = 0;  // unfinished bytes nobody fetches
  for (int i = 0; i < RangeCount(); ++i) {
    if (IsDone(i) || IsDropped(i) || busy(i)) continue;
    idle += Remaining(i);
    if (front < 0 || Start(i) < Start(front)) front = i;
  }
  if (front < 0) return -1;
  const long long share = idle / (static_cast<long long>(kPieceShare) * (connections < 1 ? 1 : connections));
  const long long piece = share > minPiece ? share : minPiece;
  if (SizeKnown() && !bOneStream && Remaining(front) / 2 > piece) CutAfter(front, piece);
  return front;
}
