#pragma once

// The SHA-256 of a file that a download is writing, computed while it downloads: a thread of its own
// hashes the file from byte 0 as far as it is written without a gap, and goes on as the gaps between
// ranges close, so that when the last byte arrives only what was not yet hashed is read. It reads
// through a handle of its own (the pages the download just wrote), never under the download's lock.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "base/Scoped.h"
#include "trust/FileDigest.h"

class CPrefixDigest {
 public:
  // `writtenPrefix` says how many bytes from the file's start are written; it is asked from the
  // digest's thread and must take the download's lock itself.
  CPrefixDigest(const std::wstring& path, std::function<long long()> writtenPrefix);
  // Stops the thread, whatever it had hashed.
  ~CPrefixDigest();
  CPrefixDigest(const CPrefixDigest&) = delete;
  CPrefixDigest& operator=(const CPrefixDigest&) = delete;

  // False when the file cannot be read or no hash provider exists: the caller then hashes later.
  bool Start();
  // More of the file may be written now.
  void Nudge();
  // Bytes hashed so far.
  long long Hashed() const { return hashed_; }
  // Hashes up to `size` bytes (the file's final length) and hands back the digest in lower-case hex;
  // false when the file could not be read to that length.
  bool Finish(long long size, std::string& hex);

 private:
  void Run();
  bool HashUpTo(long long end);

  std::wstring path_;
  std::function<long long()> writtenPrefix_;
  std::thread thread_;
  Scoped::CloseHandle wake_;
  Scoped::CloseFile file_;
  std::unique_ptr<FileDigest::Sha256Stream> hash_;
  std::atomic<long long> finalSize_{-1};
  std::atomic<bool> stop_{false};
  std::atomic<long long> hashed_{0};  // written by the digest's thread only
  bool failed_ = false;               // touched by the digest's thread only, until it is joined
};
