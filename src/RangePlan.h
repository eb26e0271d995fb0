#pragma once

// How one download is cut into byte ranges, which of them are complete, and how many bytes have
// arrived. Bookkeeping only: no network, no file. Not thread-safe: the download's lock guards it.

#include <vector>

class CRangePlan {
 public:
  // The most ranges one download runs: one thread each, and one wait takes at most 64 handles.
  static constexpr int kMaxRanges = 64;

  // The requested count limited to 1 ... kMaxRanges.
  static int ClampRangeCount(int requested) {
    return requested < 1 ? 1 : (requested > kMaxRanges ? kMaxRanges : requested);
  }

  // Equal ranges of fileSize / count bytes; the last one takes the remainder. A range of length 0
  // (a file smaller than the count) is complete from the start: there is nothing to ask for.
  CRangePlan(int fileSize, int requestedCount) : nFileSize(fileSize) {
    int count = ClampRangeCount(requestedCount);
    int chunk = fileSize / count;
    for (int i = 0; i < count; ++i) {
      int start = i * chunk;
      int length = (i == count - 1) ? fileSize - start : chunk;
      vecRanges.push_back(Range{start, length, length == 0});
    }
  }

  int FileSize() const { return nFileSize; }
  int RangeCount() const { return static_cast<int>(vecRanges.size()); }
  int Start(int index) const { return vecRanges[index].nStart; }
  int Length(int index) const { return vecRanges[index].nLength; }
  // Offset of the range's last byte (start - 1 for an empty range).
  int End(int index) const { return Start(index) + Length(index) - 1; }

  bool IsDone(int index) const { return vecRanges[index].bDone; }
  void MarkDone(int index) { vecRanges[index].bDone = true; }
  bool AllDone() const {
    for (const Range& range : vecRanges) {
      if (!range.bDone) return false;
    }
    return true;
  }

  // Bytes written so far by all ranges, less those of attempts that failed.
  int DownloadedSize() const { return nDownloadedSize; }
  int AddBytes(int count) { return nDownloadedSize += count; }
  void RemoveBytes(int count) { nDownloadedSize -= count; }

 private:
  struct Range {
    int nStart;
    int nLength;
    bool bDone;
  };
  std::vector<Range> vecRanges;
  int nFileSize;
  int nDownloadedSize = 0;
};
