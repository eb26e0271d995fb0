#pragma once

// What a download leaves beside its partial file so that a later run can go on from it: the file it
// is (address, size, validator, scheme) and each range's progress. A small text file, replaced whole
// at every save (written to a temporary file, flushed, renamed over the old one), so that a crash or
// a power cut leaves either the old state or the new one, never half of each.

#include <string>
#include <vector>

#include "download/RangePlan.h"

struct ResumeState {
  using Piece = RangePiece;

  std::wstring strUrl;
  long long nSize = 0;
  std::wstring strValidator;
  bool bOverTls = false;
  std::vector<Piece> vecPieces;

  // The state file of the download into `savePath`.
  static std::wstring PathFor(const std::wstring& savePath);

  // Writes the state atomically; false when it could not be written (the download goes on without).
  bool Save(const std::wstring& path) const;
  // Reads a state file; false with `why` for a missing, damaged or foreign one.
  bool Load(const std::wstring& path, std::string& why);

  // Whether the pieces cover the file from byte 0 to its end, in order, without a gap or an overlap,
  // each with its progress inside it; a state that does not is damaged.
  bool PiecesAreWhole() const;
  // The bytes written so far, and the end of the furthest written byte (how long the partial file
  // must at least be).
  long long WrittenBytes() const;
  long long FurthestWrite() const;
};
