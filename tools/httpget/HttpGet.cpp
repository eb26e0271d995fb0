// httpget [--secure-only] [--no-split] [--sha256] URL OUTPUT [THREADS]: the installer's download engine
// on the command line. --secure-only forbids every plain-HTTP request, as the installer does for a
// payload nothing pins; --no-split keeps every range on the connection it started on (the benchmark's
// yardstick for splitting); --sha256 hashes the file as it comes, as the installer does for a pinned
// payload.
// Shows a one-line progress bar while it runs (when the error stream is a console), then prints
//   result=R bytes=N seconds=S MBps=X
// and with --sha256 also
//   sha256=HEX after_last_byte_ms=M
// (M: from the last byte written to the download's end, which waits for the digest).
// and exits with 0 when the download succeeded. THREADS defaults to the installer's 5.

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <string>
#include <thread>

#include "download/HttpDownload.h"
#include "log/Log.h"

namespace {

struct Progress {
  std::atomic<long long> nFileSize{0};
  std::atomic<long long> nDownloaded{0};
  std::atomic<int> nResult{1};
  std::atomic<bool> bDone{false};
  std::atomic<double> nLastByteSeconds{0};
  LARGE_INTEGER begin = {};
};

double Seconds(const LARGE_INTEGER& begin) {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs under the download's lock: only stores what the bar shows.
void OnProgress(int code, long long first, long long, void* user) {
  Progress& progress = *static_cast<Progress*>(user);
  if (code == kDownload_FileSize) progress.nFileSize = first;
  if (code == kDownload_Progress) {
    progress.nDownloaded = first;
    if (first == progress.nFileSize) progress.nLastByteSeconds = Seconds(progress.begin);
  }
  if (code == kDownload_End) progress.nResult = static_cast<int>(first);
}

void DrawBar(const Progress& progress, double seconds) {
  const int width = 40;
  const long long size = progress.nFileSize, done = progress.nDownloaded;
  double share = size > 0 ? static_cast<double>(done) / size : 0.0;
  char bar[width + 1] = {};
  for (int i = 0; i < width; ++i) bar[i] = i < static_cast<int>(share * width) ? '#' : '.';
  std::fprintf(stderr, "\r[%s] %5.1f%% %12lld/%lld bytes %8.2f MB/s ", bar, share * 100.0, done, size,
               seconds > 0 ? done / seconds / 1e6 : 0.0);
  std::fflush(stderr);
}

bool ErrorStreamIsConsole() { return ::GetFileType(::GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR; }

// Redraws the bar four times a second until the download is over.
void ShowProgress(const Progress& progress, const LARGE_INTEGER& begin) {
  while (!progress.bDone) {
    DrawBar(progress, Seconds(begin));
    for (int i = 0; i < 25 && !progress.bDone; ++i) ::Sleep(10);
  }
  DrawBar(progress, Seconds(begin));
  std::fprintf(stderr, "\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DownloadParam param;
  RetryPolicy policy;
  for (; argc > 1 && std::wstring(argv[1]).compare(0, 2, L"--") == 0; --argc, ++argv) {
    const std::wstring option = argv[1];
    if (option == L"--secure-only") {
      param.bSecureOnly = true;
    } else if (option == L"--no-split") {
      policy.nMinSplitBytes = LLONG_MAX;
      policy.nMinTailSplitBytes = LLONG_MAX;
    } else if (option == L"--sha256") {
      param.bComputeSha256 = true;
    } else {
      argc = 0;  // the usage line
      break;
    }
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: httpget [--secure-only] [--no-split] [--sha256] URL OUTPUT [THREADS]\n");
    return 2;
  }
  param.strDownloadUrl = argv[1];
  param.strSavePath = argv[2];
  param.nDownloadThread = argc == 4 ? _wtoi(argv[3]) : 5;
  Progress progress;
  param.pUserData = &progress;

  LARGE_INTEGER& begin = progress.begin;
  ::QueryPerformanceCounter(&begin);
  std::thread bar;
  if (ErrorStreamIsConsole()) bar = std::thread(ShowProgress, std::cref(progress), std::cref(begin));
  CHttpDownload download(param, &OnProgress, nullptr);
  download.SetRetryPolicy(policy);
  bool ok = download.Download() == kDownloadResult_Success;
  double seconds = Seconds(begin);
  progress.bDone = true;
  if (bar.joinable()) bar.join();

  int winHttpFailures = 0, internetFailures = 0;
  CHttpDownload::GetBackendFailures(winHttpFailures, internetFailures);
  if (winHttpFailures || internetFailures) {
    std::printf("failed attempts: WinHttp=%d Internet=%d\n", winHttpFailures, internetFailures);
  }
  const long long bytes = progress.nDownloaded;
  std::printf("result=%d bytes=%lld seconds=%.3f MBps=%.1f\n", progress.nResult.load(), bytes, seconds,
              seconds > 0 ? bytes / seconds / 1e6 : 0.0);
  if (param.bComputeSha256) {
    std::printf("sha256=%s after_last_byte_ms=%.0f\n", param.strSha256.c_str(),
                (seconds - progress.nLastByteSeconds) * 1000.0);
  }
  return ok ? 0 : 1;
}
