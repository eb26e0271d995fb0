#pragma once

// A file held open from its check until the program it holds has started. It is opened for reading
// and shared for reading only, so while it is held nobody can write to it, delete it, rename it or
// rename another file over it: the file that was checked is the file that runs, also in a work folder
// that others may write to. Starting a program opens its file for reading and execution and shares
// reading, which the hold allows.

#include <windows.h>

#include <string>

#include "base/Scoped.h"

class HeldFile {
 public:
  // Opens `path`; IsHeld says whether that worked, OpenError why not.
  explicit HeldFile(const std::wstring& path);
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool IsHeld() const { return static_cast<bool>(file_); }
  HANDLE get() const { return file_.get(); }
  const std::wstring& path() const { return path_; }
  DWORD OpenError() const { return openError_; }
  // Lets the file go: from here on anyone may change or delete it.
  void Release() { file_.reset(); }

 private:
  std::wstring path_;
  Scoped::CloseFile file_;
  DWORD openError_ = ERROR_SUCCESS;
};
