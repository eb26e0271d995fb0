// The benchmark's yardstick: the least code that fetches one file over HTTPS in N parallel byte ranges
// with WinHTTP (a size query, then one request per range read in 100 KiB blocks and written at its
// offset). No log, no callbacks, no retries.
//   winhttp_loop HOST PATH OUTPUT RANGES     prints "bytes=N seconds=S", exit 0 on success

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Handle {
  HINTERNET h = nullptr;
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
};

const wchar_t* g_host;
const wchar_t* g_path;
HINTERNET g_session;
HANDLE g_file;
std::atomic<long long> g_bytes{0};
std::atomic<bool> g_failed{false};

bool Open(Handle& connect, Handle& request, const wchar_t* verb, const std::wstring& headers) {
  connect.h = WinHttpConnect(g_session, g_host, INTERNET_DEFAULT_HTTPS_PORT, 0);
  if (!connect.h) return false;
  request.h = WinHttpOpenRequest(connect.h, verb, g_path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                 WINHTTP_FLAG_SECURE);
  if (!request.h) return false;
  return WinHttpSendRequest(request.h, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
         WinHttpReceiveResponse(request.h, nullptr);
}

long long RemoteSize() {
  Handle connect, request;
  if (!Open(connect, request, L"HEAD", L"")) return -1;
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return -1;
  }
  return _wtoi64(text);
}

void FetchRange(long long start, long long end) {
  Handle connect, request;
  if (!Open(connect, request, L"GET", L"Range: bytes=" + std::to_wstring(start) + L"-" + std::to_wstring(end))) {
    g_failed = true;
    return;
  }
  std::vector<char> buffer(102400);
  long long offset = start;
  DWORD read = 0;
  while (WinHttpReadData(request.h, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(g_file, buffer.data(), read, &written, &at) || written != read) break;
    offset += read;
  }
  g_bytes += offset - start;
  if (offset != end + 1) g_failed = true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  g_host = argv[1];
  g_path = argv[2];
  int ranges = _wtoi(argv[4]);
  LARGE_INTEGER begin, end, frequency;
  QueryPerformanceCounter(&begin);
  g_session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  long long size = RemoteSize();
  g_file = CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (size < 0 || ranges < 1 || g_file == INVALID_HANDLE_VALUE) return 1;
  std::vector<std::thread> threads;
  long long chunk = size / ranges;
  for (int i = 0; i < ranges; ++i) {
    long long start = i * chunk, last = i == ranges - 1 ? size - 1 : start + chunk - 1;
    threads.emplace_back(FetchRange, start, last);
  }
  for (std::thread& thread : threads) thread.join();
  CloseHandle(g_file);
  WinHttpCloseHandle(g_session);
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  std::printf("bytes=%lld seconds=%.3f\n", g_bytes.load(),
              static_cast<double>(end.QuadPart - begin.QuadPart) / frequency.QuadPart);
  return g_failed || g_bytes != size ? 1 : 0;
}
