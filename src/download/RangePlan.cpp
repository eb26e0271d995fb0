#include "download/RangePlan.h"

#include <algorithm>

CRangePlan::CRangePlan(long long fileSize, int requestedCount, long long minPiece) : nFileSize(fileSize) {
  if (!SizeKnown()) {
    AddRange(0, kOpenEnd);
    return;
  }
  const int count = ClampRangeCount(requestedCount);
  const long long piece = fileSize / (static_cast<long long>(kPieceShare) * count);
  if (minPiece > 0 && piece >= minPiece) {
    bInPieces = true;
    for (int i = 0; i < count; ++i) AddRange(i * piece, (i + 1) * piece - 1);
    AddRange(count * piece, fileSize - 1);
    return;
  }
  const long long chunk = fileSize / count;
  for (int i = 0; i < count; ++i) {
    const long long start = i * chunk;
    const long long length = (i == count - 1) ? fileSize - start : chunk;
    AddRange(start, start + length - 1);
  }
}

CRangePlan::CRangePlan(long long fileSize, const std::vector<RangePiece>& pieces) : nFileSize(fileSize) {
  for (const RangePiece& piece : pieces) {
    vecRanges.push_back(Range{piece.nStart, piece.nEnd, piece.nNext, piece.nNext > piece.nEnd, false});
    nDownloadedSize += piece.nNext - piece.nStart;
  }
}

std::vector<RangePiece> CRangePlan::Pieces() const {
  std::vector<RangePiece> pieces;
  for (const Range& range : vecRanges) {
    if (!range.bDropped) pieces.push_back(RangePiece{range.nStart, range.nEnd, range.nNext});
  }
  std::sort(pieces.begin(), pieces.end(), [](const RangePiece& a, const RangePiece& b) { return a.nStart < b.nStart; });
  std::vector<RangePiece> joined;
  for (const RangePiece& piece : pieces) {
    RangePiece* last = joined.empty() ? nullptr : &joined.back();
    if (last && last->nNext > last->nEnd && last->nEnd + 1 == piece.nStart) {
      last->nEnd = piece.nEnd;
      last->nNext = piece.nNext;
    } else {
      joined.push_back(piece);
    }
  }
  return joined;
}

// Every byte before the first missing byte of an unfinished range is written: each belongs to a
// finished range or lies before that range's own first missing byte.
long long CRangePlan::WrittenPrefix() const {
  long long prefix = SizeKnown() ? nFileSize : LLONG_MAX;
  for (const Range& range : vecRanges) {
    if (!range.bDone && !range.bDropped && range.nNext < prefix) prefix = range.nNext;
  }
  return prefix == LLONG_MAX ? 0 : prefix;
}

int CRangePlan::AddRange(long long start, long long end) {
  vecRanges.push_back(Range{start, end, start, end < start, false});
  return RangeCount() - 1;
}

int CRangePlan::CutAfter(int index, long long length) {
  const long long end = vecRanges[index].nEnd;
  vecRanges[index].nEnd = vecRanges[index].nNext + length - 1;
  return AddRange(vecRanges[index].nEnd + 1, end);
}

bool CRangePlan::AllDone() const {
  for (const Range& range : vecRanges) {
    if (!range.bDone && !range.bDropped) return false;
  }
  return true;
}

int CRangePlan::Clip(int index, long long offset, int count, int& skip) const {
  const Range& range = vecRanges[index];
  skip = 0;
  if (range.bDone || range.bDropped || count <= 0) return 0;
  const long long last = offset + count;  // one past the block
  if (last <= range.nNext || offset > range.nNext) return 0;
  skip = static_cast<int>(range.nNext - offset);
  const long long room = range.nEnd + 1 - range.nNext;
  const long long fits = last - range.nNext;
  return static_cast<int>(fits < room ? fits : room);
}

void CRangePlan::Advance(int index, int count) {
  Range& range = vecRanges[index];
  range.nNext += count;
  nDownloadedSize += count;
  if (range.nNext > range.nEnd) range.bDone = true;
}

void CRangePlan::FinishOpenRange(int index) {
  Range& range = vecRanges[index];
  range.nEnd = range.nNext - 1;
  range.bDone = true;
  if (!SizeKnown()) nFileSize = range.nNext;
}

void CRangePlan::SetFileSize(long long fileSize) {
  nFileSize = fileSize;
  for (Range& range : vecRanges) {
    if (range.nEnd >= fileSize) range.nEnd = fileSize - 1;
    if (range.nNext > range.nEnd) range.bDone = true;
  }
}

void CRangePlan::ToOneStream(int index) {
  for (int i = 0; i < RangeCount(); ++i) vecRanges[i].bDropped = i != index;
  Range& range = vecRanges[index];
  range.nStart = 0;
  range.nNext = 0;
  range.nEnd = SizeKnown() ? nFileSize - 1 : kOpenEnd;
  range.bDone = range.nEnd < 0;
  nDownloadedSize = 0;
  bOneStream = true;
}
