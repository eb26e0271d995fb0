#pragma once

// Folders on disk: the one way this program creates a folder together with its missing parents.

#include <windows.h>

#include <string>

namespace Base {

// Which file a handle has open and how it last stood: two stamps are equal only for the same file
// (volume and file index) with the same length and last write.
struct FileStamp {
  DWORD nVolume = 0;
  DWORD nIndexHigh = 0;
  DWORD nIndexLow = 0;
  long long nSize = -1;
  FILETIME lastWrite = {};

  bool operator==(const FileStamp& other) const;
};
// False (and `stamp` left unset) when the handle cannot say.
bool ReadFileStamp(HANDLE file, FileStamp& stamp);

bool IsFolder(const std::wstring& path);

// Creates the folder and whichever of its parents are missing; true when it exists afterwards.
// Backslash-separated; trailing separators are ignored. Prefixes that cannot be folders ("C:",
// "\\server\share") are passed over. On failure the last error is the one from creating the folder
// itself.
bool CreateFolderTree(const std::wstring& folder);

}  // namespace Base
