#include "install/Prefetch.h"

#include <netlistmgr.h>
#include <objbase.h>

#include <thread>
#include <utility>

#include "download/HttpDownload.h"
#include "log/Log.h"

namespace {

// CLSID_NetworkListManager, spelled out so that no GUID library is needed.
const CLSID kNetworkListManager = {0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};

class ComScope {
 public:
  ComScope() : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComScope() {
    if (ok_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool ok_;
};

}  // namespace

bool IsMeteredCost(DWORD cost) {
  const DWORD metered = NLM_CONNECTION_COST_FIXED | NLM_CONNECTION_COST_VARIABLE | NLM_CONNECTION_COST_ROAMING |
                        NLM_CONNECTION_COST_OVERDATALIMIT | NLM_CONNECTION_COST_APPROACHINGDATALIMIT;
  return (cost & metered) != 0;
}

DWORD ReadConnectionCost() {
  INetworkCostManager* manager = nullptr;
  if (FAILED(::CoCreateInstance(kNetworkListManager, nullptr, CLSCTX_ALL, __uuidof(INetworkCostManager),
                                reinterpret_cast<void**>(&manager)))) {
    return NLM_CONNECTION_COST_UNKNOWN;
  }
  DWORD cost = NLM_CONNECTION_COST_UNKNOWN;
  if (FAILED(manager->GetCost(&cost, nullptr))) cost = NLM_CONNECTION_COST_UNKNOWN;
  manager->Release();
  return cost;
}

CPrefetch::CPrefetch(const InstallFlowSettings& settings) : settings_(settings) {}

std::shared_ptr<CPrefetch> CPrefetch::Begin(const InstallFlowSettings& settings, bool enabled, bool clicked) {
  if (!enabled) {
    LOG_INFO("prefetch: turned off in this build");
    return nullptr;
  }
  auto prefetch = std::make_shared<CPrefetch>(settings);
  std::thread([prefetch, clicked] { prefetch->Run(clicked); }).detach();
  return prefetch;
}

// What the download's callback is handed.
struct PrefetchContext {
  CPrefetch* prefetch;
  const DownloadParam* param;
};

void CPrefetch::Run(bool clicked) {
  if (!clicked) {
    ComScope com;
    const DWORD cost = ReadConnectionCost();
    if (IsMeteredCost(cost)) {
      LOG_INFO("prefetch: none, the connection is metered (cost 0x%lx)", static_cast<unsigned long>(cost));
      OnEnd(kDownloadResult_Cancelled, DownloadParam());
      return;
    }
  }
  LOG_INFO(clicked ? "prefetch: Install was clicked first; the download starts now, beside the space check"
                   : "prefetch: the full installer comes in the background until Install is clicked");
  PrefetchContext context{this, nullptr};
  DownloadParam param = settings_.DownloadParameters(&context);
  context.param = &param;
  RunHttpDownload(param, &CPrefetch::Callback, &stop_);
}

void CPrefetch::Callback(int code, long long first, long long second, void* user) {
  const PrefetchContext& context = *static_cast<PrefetchContext*>(user);
  CPrefetch& self = *context.prefetch;
  if (code == kDownload_End) {
    self.OnEnd(static_cast<int>(first), *context.param);
    return;
  }
  std::shared_ptr<CInstallFlow> adopter;
  {
    std::lock_guard<std::mutex> hold(self.lock_);
    if (code == kDownload_FileSize) self.size_ = first;
    if (code == kDownload_Progress) self.bytes_ = first;
    adopter = self.adopter_;
  }
  if (code == kDownload_FileSize) self.sizeKnown_.notify_all();
  if (code == kDownload_Progress && adopter) adopter->OnDownloadProgress(first, second);
}

// An adopted download ends in the flow, on this thread, as the flow's own would on its download thread.
void CPrefetch::OnEnd(int result, const DownloadParam& param) {
  std::shared_ptr<CInstallFlow> adopter;
  {
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    result_ = result;
    sha256_ = param.strSha256;
    stamp_ = param.writtenStamp;
    adopter = adopter_;
    spent_ = adopter != nullptr;
  }
  sizeKnown_.notify_all();
  LOG_INFO("prefetch: ended with %d%s", result, adopter ? ", for the install" : ", before Install was clicked");
  if (adopter) adopter->OnDownloadEnd(result, param);
}

long long CPrefetch::KnownSize() const {
  std::lock_guard<std::mutex> hold(lock_);
  return size_;
}

long long CPrefetch::WaitForSize() const {
  std::unique_lock<std::mutex> hold(lock_);
  sizeKnown_.wait(hold, [this] { return size_ > 0 || ended_; });
  return size_;
}

bool CPrefetch::Adopt(const std::shared_ptr<CInstallFlow>& flow) {
  DownloadParam done;
  long long size = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (spent_) return false;
    if (!ended_) {
      adopter_ = flow;
      LOG_INFO("prefetch: the install takes over the download at %lld of %lld bytes", bytes_, size_);
      if (size_ > 0) flow->OnDownloadProgress(bytes_, size_);
      return true;
    }
    if (result_ != kDownloadResult_Success) return false;
    spent_ = true;
    done.strSha256 = sha256_;
    done.writtenStamp = stamp_;
    size = size_;
  }
  LOG_INFO("prefetch: the full installer was already there when Install was clicked");
  flow->OnDownloadProgress(size, size);
  flow->OnDownloadEnd(kDownloadResult_Success, done);
  return true;
}

void CPrefetch::Release(const CInstallFlow* flow) {
  std::lock_guard<std::mutex> hold(lock_);
  if (adopter_.get() == flow) adopter_.reset();
}

void CPrefetch::Cancel() {
  __atomic_store_n(&stop_, 1, __ATOMIC_RELEASE);
  std::lock_guard<std::mutex> hold(lock_);
  adopter_.reset();
}
