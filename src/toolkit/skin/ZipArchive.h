#pragma once

// Reads zip archives that sit in memory (a resource, or a file loaded whole). Only what our own
// packs and skins use is supported: stored and deflated entries without encryption or Zip64. The
// archive may come from a damaged download or a patched executable, so every size and offset in it
// is checked against the buffer before use; a bad entry is refused on its own and the rest of the
// archive stays readable.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace SkinUI {

enum ZipMethod : uint16_t { kZipStored = 0, kZipDeflated = 8 };

struct ZipEntryInfo {
  std::wstring name;  // as stored (normally with "/"), decoded from UTF-8 or code page 437
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t crc = 0;
  uint16_t method = 0;
  bool isFolder = false;   // the name ends with a separator
  bool supported = false;  // method, flags and sizes allow ReadEntry to try it
};

// Entries larger than this are refused whatever the archive claims: nothing we ship comes close,
// and a 32-bit process cannot afford to trust a forged size.
constexpr uint32_t kMaxZipEntrySize = 256u * 1024u * 1024u;

class CZipArchive {
 public:
  CZipArchive() = default;
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  // The memory is not copied: it must outlive the archive object (or the next Open/Close). Either
  // call first closes what was open, so a failure leaves the archive closed.
  bool Open(const void* data, size_t size);
  // Loads the whole file (up to kMaxZipEntrySize) and keeps it for as long as the archive is open.
  bool OpenFile(const std::wstring& path);
  void Close();
  bool IsOpen() const { return data_ != nullptr; }

  int GetEntryCount() const { return static_cast<int>(entries_.size()); }
  // Null for an index out of range.
  const ZipEntryInfo* GetEntryInfo(int index) const;
  // Case does not matter and "\" matches "/", as in the file system the skins were made on.
  // Returns -1 when there is no such entry.
  int FindEntry(const std::wstring& name) const;
  // Fills out with exactly the entry's uncompressed bytes after checking them against the stored
  // CRC-32; on any failure out is empty and the reason is logged.
  bool ReadEntry(int index, std::vector<unsigned char>& out) const;

 private:
  struct Entry {
    ZipEntryInfo info;
    std::wstring key;  // the name with "\\" turned into "/", for FindEntry
    uint16_t flags = 0;
    uint32_t localHeaderOffset = 0;
  };

  bool Parse(const unsigned char* data, size_t size);
  bool ReadCentralDirectory(size_t offset, size_t end, unsigned declaredCount);
  static Entry MakeEntry(const unsigned char* record);
  bool LocateData(const Entry& entry, size_t& dataStart) const;
  bool Decode(const Entry& entry, size_t dataStart, std::vector<unsigned char>& out) const;

  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  std::vector<unsigned char> owned_;  // file contents when opened through OpenFile
  std::vector<Entry> entries_;
};

// Unpacks every entry below folder (created with its parents when missing). Files are replaced,
// foreign files are left alone; a zero-size entry becomes a folder. Entries that cannot be read or
// written, and names that would land outside folder, are logged and skipped. Returns false only when
// the archive itself cannot be read.
// `wanted`, when given, picks the entries by name (folders are made for the files that need them).
bool ExtractZipToFolder(const void* data, size_t size, const std::wstring& folder,
                        const std::function<bool(const std::wstring& name)>& wanted = nullptr);

}  // namespace SkinUI
