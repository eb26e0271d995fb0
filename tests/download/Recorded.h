#pragma once

// One download run in a test, with every callback it made.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "download/HttpDownload.h"
#include "TestSupport.h"

struct Call {
  int code;
  long long first, second;
};

class Recorded {
 public:
  Recorded(const std::wstring& url, const std::wstring& savePath, int threads) {
    param.nDownloadThread = threads;
    param.pUserData = this;
    param.strDownloadUrl = url;
    param.strSavePath = savePath;
  }
  // With a policy, through a CHttpDownload of its own; else as the installer runs it.
  bool Run() {
    unsigned char flag = 1;
    bool ok = false;
    if (policy) {
      CHttpDownload download(param, &Recorded::Callback, &flag);
      download.SetRetryPolicy(*policy);
      ok = download.Download() == 0;
    } else {
      ok = RunHttpDownload(param, &Recorded::Callback, &flag);
    }
    EXPECT_EQ(flag, 0);
    return ok;
  }
  int Result() const { return calls.empty() || calls.back().code != 3 ? 1 : static_cast<int>(calls.back().first); }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const Call& call : calls) {
      if (codes.empty() || codes.back() != call.code) codes.push_back(call.code);
    }
    return codes;
  }
  long long LastProgress() const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
      if (it->code == 2) return it->first;
    }
    return -1;
  }

  DownloadParam param;
  std::vector<Call> calls;
  const RetryPolicy* policy = nullptr;

 private:
  static void Callback(int code, long long first, long long second, void* user) {
    Recorded* self = static_cast<Recorded*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->calls.push_back(Call{code, first, second});
  }
  std::mutex lock_;
};

const std::vector<int> kFullSequence = {0, 1, 2, 3};

// The installer's policy with pauses short enough for the suite: 100 ms doubling to 400 ms.
inline RetryPolicy QuickRetries() {
  RetryPolicy policy;
  policy.nFirstPauseMs = 100;
  policy.nLongestPauseMs = 400;
  return policy;
}

// Runs backend_probe.exe (a fresh process, whose backend failure counters start at 0) with `downloads`
// ("URL THREADS ..."), logging into `folder`log and saving into `folder`save (`folder` ends with a
// backslash); hands back its exit code and its log.
inline int RunBackendProbe(const std::wstring& folder, const std::wstring& downloads, std::string& log) {
  const std::wstring command = L"\"" + TestSupport::ExeDir() + L"backend_probe.exe\" \"" + folder + L"log\" \"" +
                               folder + L"save\" " + downloads;
  const int code = TestSupport::RunProcess(command, 60000);
  log = TestSupport::ReadFileBytes(folder + L"log\\pelarin_down.log");
  return code;
}

inline int CountIn(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The tests' URLs are ASCII.
inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
