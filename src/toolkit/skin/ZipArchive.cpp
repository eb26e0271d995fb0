#include "toolkit/skin/ZipArchive.h"

#include <windows.h>

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <new>

#include "log/Log.h"
#include "base/Scoped.h"
#include "base/FileSystem.h"

namespace SkinUI {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;

// Deflate cannot expand a byte into more than 1032 bytes; a larger claim is a forged size, and
// refusing it early keeps a tiny entry from making us reserve hundreds of megabytes.
constexpr uint64_t kMaxDeflateRatio = 1032;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

std::wstring Widen(const unsigned char* bytes, size_t length, UINT codePage) {
  if (length == 0) return {};
  const char* text = reinterpret_cast<const char*>(bytes);
  int count = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<size_t>(count), L'\0');
  ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), &wide[0], count);
  return wide;
}

// Names without the UTF-8 flag are code page 437, the zip tools' traditional default. Should the
// system lack that code page, Latin-1 still keeps the ASCII part of the name right.
std::wstring DecodeName(const unsigned char* bytes, size_t length, bool utf8) {
  std::wstring name = Widen(bytes, length, utf8 ? CP_UTF8 : 437);
  if (name.empty() && length > 0) name.assign(bytes, bytes + length);
  return name;
}

std::wstring SlashSeparated(std::wstring name) {
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'/';
  }
  return name;
}

std::wstring BackslashSeparated(std::wstring name) {
  for (wchar_t& c : name) {
    if (c == L'/') c = L'\\';
  }
  return name;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                        static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The end record is the last thing in the archive unless a comment follows it; the comment may
// itself contain the signature, so only a record whose comment length fits the buffer counts.
bool FindEndRecord(const unsigned char* data, size_t size, size_t& position) {
  if (size < kEndRecordSize) return false;
  size_t last = size - kEndRecordSize;
  size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
  for (size_t pos = last + 1; pos-- > first;) {
    if (Read32(data + pos) != kEndRecordSignature) continue;
    size_t commentLength = Read16(data + pos + 20);
    if (commentLength <= last - pos) {
      position = pos;
      return true;
    }
  }
  return false;
}

// Why ReadEntry cannot handle an entry, or null when it can try.
const char* RefusalReason(const ZipEntryInfo& info, uint16_t flags, uint32_t localHeaderOffset) {
  if (flags & (kFlagEncrypted | kFlagStrongEncryption)) return "encrypted";
  if (info.method != kZipStored && info.method != kZipDeflated) return "unsupported compression method";
  if (info.compressedSize == kZip64Marker || info.uncompressedSize == kZip64Marker || localHeaderOffset == kZip64Marker)
    return "Zip64 entry";
  if (info.uncompressedSize > kMaxZipEntrySize) return "declared size too large";
  if (info.method == kZipStored && info.compressedSize != info.uncompressedSize) return "stored sizes differ";
  if (info.method == kZipDeflated && info.uncompressedSize > info.compressedSize * kMaxDeflateRatio + 64)
    return "declared size impossible for its compressed size";
  return nullptr;
}

struct InflateEnd {
  z_stream* stream;
  ~InflateEnd() { inflateEnd(stream); }
};

// Fails unless the stream ends exactly when out is full.
bool Inflate(const unsigned char* source, uint32_t sourceSize, std::vector<unsigned char>& out, int& zlibResult,
             unsigned long& produced) {
  z_stream stream = {};
  zlibResult = inflateInit2(&stream, -MAX_WBITS);
  if (zlibResult != Z_OK) return false;
  InflateEnd end{&stream};
  unsigned char none = 0;  // zlib refuses a null output pointer even when nothing is expected
  stream.next_in = source;
  stream.avail_in = sourceSize;
  stream.next_out = out.empty() ? &none : out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  zlibResult = inflate(&stream, Z_FINISH);
  produced = stream.total_out;
  return zlibResult == Z_STREAM_END && stream.total_out == out.size();
}

uint32_t Crc32(const std::vector<unsigned char>& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  if (!bytes.empty()) crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
  return static_cast<uint32_t>(crc);
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes) {
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LOG_INFOW(L"ERR:zip: cannot open %ls (error %lu)", path.c_str(), ::GetLastError());
    return false;
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxZipEntrySize) {
    LOG_INFOW(L"ERR:zip: %ls has no usable size (error %lu)", path.c_str(), ::GetLastError());
    return false;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size())) {
    LOG_INFOW(L"ERR:zip: cannot read %ls (error %lu)", path.c_str(), ::GetLastError());
    return false;
  }
  return true;
}

}  // namespace

bool CZipArchive::Open(const void* data, size_t size) {
  Close();
  if (!data) {
    LOG_INFO("ERR:zip: no archive data");
    return false;
  }
  if (Parse(static_cast<const unsigned char*>(data), size)) return true;
  Close();
  return false;
}

bool CZipArchive::OpenFile(const std::wstring& path) {
  Close();
  if (ReadWholeFile(path, owned_) && Parse(owned_.data(), owned_.size())) return true;
  LOG_INFOW(L"ERR:zip: %ls is not a readable archive", path.c_str());
  Close();
  return false;
}

void CZipArchive::Close() {
  data_ = nullptr;
  size_ = 0;
  owned_.clear();
  owned_.shrink_to_fit();
  entries_.clear();
}

bool CZipArchive::Parse(const unsigned char* data, size_t size) {
  size_t endRecord = 0;
  if (!FindEndRecord(data, size, endRecord)) {
    LOG_INFO("ERR:zip: no end record in %u bytes", static_cast<unsigned>(size));
    return false;
  }
  const unsigned char* record = data + endRecord;
  unsigned disk = Read16(record + 4), directoryDisk = Read16(record + 6);
  unsigned countHere = Read16(record + 8), count = Read16(record + 10);
  uint32_t directorySize = Read32(record + 12), directoryOffset = Read32(record + 16);
  if (disk != 0 || directoryDisk != 0 || countHere != count) {
    LOG_INFO("ERR:zip: multi-volume archives are not supported");
    return false;
  }
  if (count == 0xFFFF || directorySize == kZip64Marker || directoryOffset == kZip64Marker) {
    LOG_INFO("ERR:zip: Zip64 archives are not supported");
    return false;
  }
  if (static_cast<uint64_t>(directoryOffset) + directorySize > endRecord) {
    LOG_INFO("ERR:zip: central directory (offset %u, size %u) outside the archive of %u bytes", directoryOffset,
             directorySize, static_cast<unsigned>(size));
    return false;
  }
  data_ = data;
  size_ = size;
  return ReadCentralDirectory(directoryOffset, directoryOffset + directorySize, count);
}

// A damaged record ends the walk, since the position of the next one depends on it; the entries
// before it stay usable.
bool CZipArchive::ReadCentralDirectory(size_t offset, size_t end, unsigned declaredCount) {
  entries_.reserve(std::min<size_t>(declaredCount, (end - offset) / kCentralHeaderSize));
  size_t pos = offset;
  for (unsigned i = 0; i < declaredCount; ++i) {
    const unsigned char* record = data_ + pos;
    if (end - pos < kCentralHeaderSize || Read32(record) != kCentralHeaderSignature) {
      LOG_INFO("ERR:zip: central directory record %u of %u is damaged", i + 1, declaredCount);
      break;
    }
    size_t recordSize = kCentralHeaderSize + Read16(record + 28) + Read16(record + 30) + Read16(record + 32);
    if (end - pos < recordSize) {
      LOG_INFO("ERR:zip: central directory record %u of %u runs past the directory", i + 1, declaredCount);
      break;
    }
    entries_.push_back(MakeEntry(record));
    pos += recordSize;
  }
  return declaredCount == 0 || !entries_.empty();
}

CZipArchive::Entry CZipArchive::MakeEntry(const unsigned char* record) {
  Entry entry;
  entry.flags = Read16(record + 8);
  entry.localHeaderOffset = Read32(record + 42);
  ZipEntryInfo& info = entry.info;
  info.method = Read16(record + 10);
  info.crc = Read32(record + 16);
  info.compressedSize = Read32(record + 20);
  info.uncompressedSize = Read32(record + 24);
  info.name = DecodeName(record + kCentralHeaderSize, Read16(record + 28), (entry.flags & kFlagUtf8Name) != 0);
  info.isFolder = !info.name.empty() && (info.name.back() == L'/' || info.name.back() == L'\\');
  info.supported = RefusalReason(info, entry.flags, entry.localHeaderOffset) == nullptr;
  entry.key = SlashSeparated(info.name);
  return entry;
}

const ZipEntryInfo* CZipArchive::GetEntryInfo(int index) const {
  if (index < 0 || index >= GetEntryCount()) return nullptr;
  return &entries_[static_cast<size_t>(index)].info;
}

int CZipArchive::FindEntry(const std::wstring& name) const {
  std::wstring key = SlashSeparated(name);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (SameTextIgnoringCase(entries_[i].key, key)) return static_cast<int>(i);
  }
  return -1;
}

bool CZipArchive::ReadEntry(int index, std::vector<unsigned char>& out) const {
  out.clear();
  if (index < 0 || index >= GetEntryCount()) {
    LOG_INFO("ERR:zip: no entry %d (archive has %d)", index, GetEntryCount());
    return false;
  }
  const Entry& entry = entries_[static_cast<size_t>(index)];
  if (const char* reason = RefusalReason(entry.info, entry.flags, entry.localHeaderOffset)) {
    LOG_INFOW(L"ERR:zip: %ls refused: %hs", entry.info.name.c_str(), reason);
    return false;
  }
  size_t dataStart = 0;
  if (!LocateData(entry, dataStart) || !Decode(entry, dataStart, out)) {
    out.clear();
    return false;
  }
  return true;
}

bool CZipArchive::LocateData(const Entry& entry, size_t& dataStart) const {
  const wchar_t* name = entry.info.name.c_str();
  uint64_t header = entry.localHeaderOffset;
  if (header + kLocalHeaderSize > size_ || Read32(data_ + header) != kLocalHeaderSignature) {
    LOG_INFOW(L"ERR:zip: local header of %ls missing at offset %lu", name, static_cast<unsigned long>(header));
    return false;
  }
  // The local name and extra field may differ in length from the central ones.
  const unsigned char* local = data_ + header;
  uint64_t start = header + kLocalHeaderSize + Read16(local + 26) + Read16(local + 28);
  if (start > size_ || entry.info.compressedSize > size_ - start) {
    LOG_INFOW(L"ERR:zip: data of %ls runs past the end of the archive", name);
    return false;
  }
  dataStart = static_cast<size_t>(start);
  return true;
}

bool CZipArchive::Decode(const Entry& entry, size_t dataStart, std::vector<unsigned char>& out) const {
  const ZipEntryInfo& info = entry.info;
  const unsigned char* source = data_ + dataStart;
  try {
    out.resize(info.uncompressedSize);
  } catch (const std::bad_alloc&) {
    LOG_INFOW(L"ERR:zip: no memory for %u bytes of %ls", info.uncompressedSize, info.name.c_str());
    return false;
  }
  if (info.method == kZipStored) {
    std::copy(source, source + info.uncompressedSize, out.begin());
  } else {
    int zlibResult = Z_OK;
    unsigned long produced = 0;
    if (!Inflate(source, info.compressedSize, out, zlibResult, produced)) {
      LOG_INFOW(L"ERR:zip: cannot inflate %ls (zlib %d, %lu of %u bytes)", info.name.c_str(), zlibResult, produced,
                info.uncompressedSize);
      return false;
    }
  }
  uint32_t crc = Crc32(out);
  if (crc != info.crc) {
    LOG_INFOW(L"ERR:zip: CRC of %ls is %08lx, expected %08lx", info.name.c_str(), static_cast<unsigned long>(crc),
              static_cast<unsigned long>(info.crc));
    return false;
  }
  return true;
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows trims trailing dots and spaces from path segments, so ". ." or "... " would act like
// "." or ".." once the file system sees them.
bool IsOnlyDotsAndSpaces(const std::wstring& segment) { return segment.find_first_not_of(L". ") == std::wstring::npos; }

// "CON", "nul.txt", "COM1 " and the like open a device instead of a file in the folder.
bool IsDeviceName(const std::wstring& segment) {
  std::wstring base = segment.substr(0, segment.find(L'.'));
  base.erase(base.find_last_not_of(L' ') + 1);
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (SameTextIgnoringCase(base, device)) return true;
  }
  if (base.size() != 4 || base[3] < L'1' || base[3] > L'9') return false;
  std::wstring stem = base.substr(0, 3);
  return SameTextIgnoringCase(stem, L"COM") || SameTextIgnoringCase(stem, L"LPT");
}

bool IsSafeSegment(const std::wstring& segment) {
  return segment.empty() || (!IsOnlyDotsAndSpaces(segment) && !IsDeviceName(segment));
}

bool CreateParentFolders(const std::wstring& filePath) {
  size_t slash = filePath.find_last_of(L'\\');
  return slash == std::wstring::npos || Base::CreateFolderTree(filePath.substr(0, slash));
}

// Returns ERROR_SUCCESS or the error of the call that failed.
DWORD WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes) {
  Scoped::CloseFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError();
  DWORD written = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    return ::GetLastError();
  return written == bytes.size() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

void ExtractFile(const CZipArchive& zip, int index, const std::wstring& target) {
  const std::wstring& name = zip.GetEntryInfo(index)->name;
  std::vector<unsigned char> bytes;
  if (!zip.ReadEntry(index, bytes)) {
    LOG_INFOW(L"ERR:ExtractZipToFolder: skipped unreadable entry %ls", name.c_str());
    return;
  }
  CreateParentFolders(target);
  DWORD error = WriteWholeFile(target, bytes);
  if (error != ERROR_SUCCESS)
    LOG_INFOW(L"ERR:ExtractZipToFolder: cannot write %ls to %ls (error %lu)", name.c_str(), target.c_str(), error);
}

void ExtractFolder(const CZipArchive& zip, int index, const std::wstring& target) {
  if (!Base::CreateFolderTree(target))
    LOG_INFOW(L"ERR:ExtractZipToFolder: cannot create folder %ls for %ls (error %lu)", target.c_str(),
              zip.GetEntryInfo(index)->name.c_str(), ::GetLastError());
}

// Whether an entry name stays below the folder it is unpacked into: relative, no drive or stream
// (":"), no "." or ".." segment (or one Windows would trim to it), no device name, and no NUL that
// would make the file system see a shorter name than the one checked.
bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find_first_of(std::wstring(L":\0", 2)) != std::wstring::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (!IsSafeSegment(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

void ExtractEntry(const CZipArchive& zip, int index, const std::wstring& root) {
  const ZipEntryInfo& info = *zip.GetEntryInfo(index);
  if (!IsSafeEntryName(info.name)) {
    LOG_INFOW(L"ERR:ExtractZipToFolder: refused entry name \"%ls\"", info.name.c_str());
    return;
  }
  std::wstring target = root + BackslashSeparated(info.name);
  if (info.uncompressedSize > 0)
    ExtractFile(zip, index, target);
  else
    ExtractFolder(zip, index, target);
}

}  // namespace

bool ExtractZipToFolder(const void* data, size_t size, const std::wstring& folder,
                        const std::function<bool(const std::wstring& name)>& wanted) {
  // An empty folder would put the entries at the root of the current drive.
  if (folder.empty()) {
    LOG_INFO("ERR:ExtractZipToFolder: no target folder");
    return false;
  }
  std::wstring root = BackslashSeparated(folder);
  if (root.back() != L'\\') root += L'\\';
  if (!Base::CreateFolderTree(root))
    LOG_INFOW(L"ERR:ExtractZipToFolder: cannot create %ls (error %lu)", root.c_str(), ::GetLastError());
  CZipArchive zip;
  if (!zip.Open(data, size)) {
    LOG_INFOW(L"ERR:ExtractZipToFolder: archive for %ls is unreadable", root.c_str());
    return false;
  }
  for (int i = 0; i < zip.GetEntryCount(); ++i) {
    const ZipEntryInfo& info = *zip.GetEntryInfo(i);
    if (wanted && (info.uncompressedSize == 0 || !wanted(info.name))) continue;
    ExtractEntry(zip, i, root);
  }
  return true;
}

}  // namespace SkinUI
