#pragma once

// Folders on disk: the one way this program creates a folder together with its missing parents.

#include <string>

namespace Base {

bool IsFolder(const std::wstring& path);

// Creates the folder and whichever of its parents are missing; true when it exists afterwards.
// Backslash-separated; trailing separators are ignored. Prefixes that cannot be folders ("C:",
// "\\server\share") are passed over. On failure the last error is the one from creating the folder
// itself.
bool CreateFolderTree(const std::wstring& folder);

}  // namespace Base
