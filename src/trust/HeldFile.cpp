#include "trust/HeldFile.h"

HeldFile::HeldFile(const std::wstring& path)
    : path_(path),
      file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {
  if (!file_) openError_ = ::GetLastError();
}
