#include "base/PeSignatureReader.h"

#include <cstring>

#include "base/Scoped.h"

namespace Base {

namespace {

constexpr DWORD kDosHeaderSize = 64;
constexpr DWORD kNewHeaderOffsetField = 0x3C;
constexpr DWORD kFileHeaderSize = 20;  // after the 4-byte "PE\0\0"
constexpr DWORD kOptionalHeaderSizeField = 16;
constexpr WORD kMagicPe32 = 0x10B;
constexpr WORD kMagicPe32Plus = 0x20B;
constexpr DWORD kDirectoriesOffsetPe32 = 96;
constexpr DWORD kDirectoriesOffsetPe32Plus = 112;
constexpr DWORD kSecurityDirectory = 4;
constexpr DWORD kWinCertificateHeader = 8;
constexpr WORD kWinCertTypePkcsSignedData = 0x0002;

DWORD ReadDword(const unsigned char* p) {
  DWORD value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

WORD ReadWord(const unsigned char* p) {
  WORD value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

bool PeSignatureReader::Contains(ULONGLONG offset, ULONGLONG length) const {
  return offset <= size_ && length <= size_ - offset;
}

bool PeSignatureReader::ReadAt(ULONGLONG offset, DWORD length, std::vector<unsigned char>& out) const {
  out.clear();
  if (!Contains(offset, length)) return false;
  out.resize(length);
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return length == 0 || (::ReadFile(file_.get(), out.data(), length, &read, &at) && read == length);
}

PeSignatureStatus PeSignatureReader::FindSecurityEntry(ULONGLONG& entryOffset) const {
  std::vector<unsigned char> dos;
  if (!ReadAt(0, kDosHeaderSize, dos) || dos[0] != 'M' || dos[1] != 'Z') return kPeSignature_NotProgram;
  const ULONGLONG pe = ReadDword(&dos[kNewHeaderOffsetField]);
  std::vector<unsigned char> headers;
  if (!ReadAt(pe, 4 + kFileHeaderSize + 2, headers) || std::memcmp(headers.data(), "PE\0\0", 4) != 0)
    return kPeSignature_NotProgram;
  const WORD optionalSize = ReadWord(&headers[4 + kOptionalHeaderSizeField]);
  const WORD magic = ReadWord(&headers[4 + kFileHeaderSize]);
  DWORD directories = 0;
  if (magic == kMagicPe32)
    directories = kDirectoriesOffsetPe32;
  else if (magic == kMagicPe32Plus)
    directories = kDirectoriesOffsetPe32Plus;
  else
    return kPeSignature_NotProgram;
  const DWORD entryEnd = directories + 8 * (kSecurityDirectory + 1);
  if (optionalSize < entryEnd) return kPeSignature_Unsigned;  // the header has no room for the entry
  const ULONGLONG optional = pe + 4 + kFileHeaderSize;
  std::vector<unsigned char> optionalHeader;
  if (!ReadAt(optional, entryEnd, optionalHeader)) return kPeSignature_NotProgram;
  if (ReadDword(&optionalHeader[directories - 4]) <= kSecurityDirectory) return kPeSignature_Unsigned;
  entryOffset = optional + directories + 8 * kSecurityDirectory;
  return kPeSignature_Found;
}

PeSignatureStatus PeSignatureReader::Read(std::vector<unsigned char>& pkcs7) {
  pkcs7.clear();
  file_.reset(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file_ || !::GetFileSizeEx(file_.get(), &size)) return kPeSignature_Unreadable;
  size_ = static_cast<ULONGLONG>(size.QuadPart);
  ULONGLONG entryOffset = 0;
  PeSignatureStatus status = FindSecurityEntry(entryOffset);
  if (status != kPeSignature_Found) return status;
  std::vector<unsigned char> entry;
  if (!ReadAt(entryOffset, 8, entry)) return kPeSignature_NotProgram;
  // The security directory's address is a file offset, not a virtual address.
  const DWORD tableOffset = ReadDword(&entry[0]);
  const DWORD tableSize = ReadDword(&entry[4]);
  if (tableOffset == 0 && tableSize == 0) return kPeSignature_Unsigned;
  if (tableSize < kWinCertificateHeader || tableSize > kMaxTableSize || !Contains(tableOffset, tableSize))
    return kPeSignature_Damaged;
  std::vector<unsigned char> table;
  if (!ReadAt(tableOffset, tableSize, table)) return kPeSignature_Unreadable;
  const DWORD length = ReadDword(&table[0]);
  if (ReadWord(&table[6]) != kWinCertTypePkcsSignedData || length <= kWinCertificateHeader || length > tableSize)
    return kPeSignature_Damaged;
  pkcs7.assign(table.begin() + kWinCertificateHeader, table.begin() + length);
  return kPeSignature_Found;
}

const char* PeSignatureStatusText(PeSignatureStatus status) {
  switch (status) {
    case kPeSignature_Found:
      return "signed";
    case kPeSignature_Unreadable:
      return "the program file cannot be read";
    case kPeSignature_NotProgram:
      return "the program file's headers are damaged";
    case kPeSignature_Unsigned:
      return "the program is not signed";
    case kPeSignature_Damaged:
      return "the signature data is damaged";
  }
  return "unknown";
}

}  // namespace Base
