#include "log/RollingFileSink.h"

namespace Log {

RollingFileSink::RollingFileSink(std::wstring path, unsigned long long maxSize)
    : path_(std::move(path)), maxSize_(maxSize) {
  Open();
}

bool RollingFileSink::Open() {
  // Shared for delete as well, so that another copy of the program can roll the file over while
  // this one still has it open.
  file_.reset(::CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file_);
}

void RollingFileSink::sink_it_(const spdlog::details::log_msg& msg) {
  if (!file_ && !Open()) return;
  spdlog::memory_buf_t formatted;
  formatter_->format(msg, formatted);
  DWORD written = 0;
  ::WriteFile(file_.get(), formatted.data(), static_cast<DWORD>(formatted.size()), &written, nullptr);
  RollOverIfFull();
}

void RollingFileSink::RollOverIfFull() {
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file_.get(), &size) || static_cast<unsigned long long>(size.QuadPart) <= maxSize_) return;
  file_.reset();
  std::wstring backup = path_ + L".1";
  ::DeleteFileW(backup.c_str());
  ::MoveFileW(path_.c_str(), backup.c_str());
  Open();
}

}  // namespace Log
