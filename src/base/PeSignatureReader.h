#pragma once

// The Authenticode signature of a program file: the PKCS#7 blob of the first entry of its
// certificate table (the security data directory), read straight from the file. Every offset and
// length the file states is checked against the file before it is used, so a damaged or hostile
// file gives an answer, never a read outside what was read.

#include <windows.h>

#include <string>
#include <vector>

#include "base/Scoped.h"

namespace Base {

enum PeSignatureStatus {
  kPeSignature_Found = 0,
  kPeSignature_Unreadable,  // the file cannot be opened or read
  kPeSignature_NotProgram,  // no MZ / PE headers, or headers cut off
  kPeSignature_Unsigned,    // the certificate table is empty
  kPeSignature_Damaged,     // the table or its entry lies outside the file or contradicts itself
};

class PeSignatureReader {
 public:
  // Tables larger than this are taken for damage: a real signature with its chain, a time stamp and
  // a nested signature stays far below.
  static constexpr DWORD kMaxTableSize = 1024 * 1024;

  explicit PeSignatureReader(const std::wstring& path) : path_(path) {}
  // On kPeSignature_Found, `pkcs7` holds the signature blob (as the entry's length gives it, padding
  // included); otherwise it is empty.
  PeSignatureStatus Read(std::vector<unsigned char>& pkcs7);

 private:
  bool Contains(ULONGLONG offset, ULONGLONG length) const;
  // False (and `out` empty) for a range outside the file or a failed read.
  bool ReadAt(ULONGLONG offset, DWORD length, std::vector<unsigned char>& out) const;
  // Where the security directory's entry lies in the file.
  PeSignatureStatus FindSecurityEntry(ULONGLONG& entryOffset) const;

  std::wstring path_;
  Scoped::CloseFile file_;
  ULONGLONG size_ = 0;
};

const char* PeSignatureStatusText(PeSignatureStatus status);

}  // namespace Base
