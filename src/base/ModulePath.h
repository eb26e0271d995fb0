#pragma once

// Where a module's file lies, and the program's base name that names its mutex and its work folder.

#include <windows.h>

#include <string>

namespace Base {

// Full path of the module's file (the program's own for null), however long; empty when it cannot be read.
std::wstring ModulePath(HMODULE module = nullptr);
// The module's folder with its trailing backslash; empty when the path cannot be read.
std::wstring ModuleFolder(HMODULE module = nullptr);
// The file name without its folder and its last extension: "a.b" for "C:\x.y\a.b.exe", "Setup (1)"
// for "D:/Setup (1).exe"; the whole name when it has no dot. Either slash separates folders.
std::wstring ProgramBaseName(const std::wstring& path);

}  // namespace Base
