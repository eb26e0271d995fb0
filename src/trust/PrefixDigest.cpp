#include "trust/PrefixDigest.h"

#include <vector>

#include "log/Log.h"

namespace {

constexpr DWORD kChunk = 1 << 20;
// How often the thread looks for newly written bytes when nobody nudges it.
constexpr DWORD kIdleMs = 100;

}  // namespace

CPrefixDigest::CPrefixDigest(const std::wstring& path, std::function<long long()> writtenPrefix)
    : path_(path), writtenPrefix_(std::move(writtenPrefix)) {}

CPrefixDigest::~CPrefixDigest() {
  stop_ = true;
  Nudge();
  if (thread_.joinable()) thread_.join();
}

// The download's own handle does not share writing; this one reads beside it.
bool CPrefixDigest::Start() {
  wake_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  file_.reset(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  hash_ = std::make_unique<FileDigest::Sha256Stream>();
  if (!wake_ || !file_ || !hash_->IsReady()) {
    LOG_INFO("ERR:the digest cannot follow the download (error %lu): it is computed after it",
             static_cast<unsigned long>(::GetLastError()));
    return false;
  }
  thread_ = std::thread(&CPrefixDigest::Run, this);
  return true;
}

void CPrefixDigest::Nudge() {
  if (wake_) ::SetEvent(wake_.get());
}

void CPrefixDigest::Run() {
  while (!stop_) {
    const long long target = finalSize_;
    const long long written = target >= 0 ? target : writtenPrefix_();
    if (written > hashed_ && !failed_) {
      failed_ = !HashUpTo(written);
      continue;
    }
    if (target >= 0) return;
    ::WaitForSingleObject(wake_.get(), kIdleMs);
  }
}

bool CPrefixDigest::HashUpTo(long long end) {
  std::vector<char> buffer(kChunk);
  LARGE_INTEGER at = {};
  at.QuadPart = hashed_.load();
  if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return false;
  while (hashed_ < end && !stop_) {
    const long long left = end - hashed_;
    const DWORD want = static_cast<DWORD>(left < kChunk ? left : kChunk);
    DWORD read = 0;
    if (!::ReadFile(file_.get(), buffer.data(), want, &read, nullptr) || read == 0) return false;
    if (!hash_->Append(buffer.data(), read)) return false;
    hashed_ += read;
  }
  return true;
}

bool CPrefixDigest::Finish(long long size, std::string& hex) {
  if (!thread_.joinable()) return false;
  finalSize_ = size;
  Nudge();
  thread_.join();
  if (failed_ || hashed_ != size) {
    LOG_INFO("ERR:the digest that followed the download stopped at byte %lld of %lld", hashed_.load(), size);
    return false;
  }
  return hash_->Finish(hex);
}
