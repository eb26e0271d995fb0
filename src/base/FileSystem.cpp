#include "base/FileSystem.h"

#include <windows.h>

namespace Base {

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolderTree(const std::wstring& path) {
  std::wstring folder = path;
  while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.empty()) return false;
  for (size_t pos = folder.find(L'\\', 1); pos != std::wstring::npos; pos = folder.find(L'\\', pos + 1)) {
    const std::wstring parent = folder.substr(0, pos);
    if (parent.back() != L':' && !IsFolder(parent)) ::CreateDirectoryW(parent.c_str(), nullptr);
  }
  return IsFolder(folder) || ::CreateDirectoryW(folder.c_str(), nullptr);
}

bool FileStamp::operator==(const FileStamp& other) const {
  return nSize >= 0 && nVolume == other.nVolume && nIndexHigh == other.nIndexHigh && nIndexLow == other.nIndexLow &&
         nSize == other.nSize && ::CompareFileTime(&lastWrite, &other.lastWrite) == 0;
}

bool ReadFileStamp(HANDLE file, FileStamp& stamp) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(file, &info)) return false;
  stamp.nVolume = info.dwVolumeSerialNumber;
  stamp.nIndexHigh = info.nFileIndexHigh;
  stamp.nIndexLow = info.nFileIndexLow;
  stamp.nSize = (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.lastWrite = info.ftLastWriteTime;
  return true;
}

}  // namespace Base
