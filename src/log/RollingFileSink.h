#pragma once

// A spdlog sink that appends to one file and, once the file has grown past its limit, moves it to a
// single backup "<file>.1" and starts again. Records are written straight through (no buffering of our
// own), so a crash loses nothing that was logged and other processes can read the file while we run.

#include <windows.h>

#include <mutex>
#include <string>

#include <spdlog/sinks/base_sink.h>

#include "base/Scoped.h"

namespace Log {

class RollingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  RollingFileSink(std::wstring path, unsigned long long maxSize);
  const std::wstring& path() const { return path_; }
  bool IsOpen() const { return static_cast<bool>(file_); }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override {}

 private:
  bool Open();
  void RollOverIfFull();

  std::wstring path_;
  unsigned long long maxSize_;
  Scoped::CloseFile file_;
};

}  // namespace Log
