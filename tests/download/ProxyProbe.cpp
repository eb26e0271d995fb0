// Reaches one URL in a fresh process, so that the proxy it finds is read from the settings a test
// has just written (routes are resolved once per process), and logs into the given folder:
//   proxy_probe LOGFOLDER request TYPE URL OUTPUT [secure-only]
//       one request of backend TYPE (0 WinHTTP, 1 WinINet), body to OUTPUT, HTTPS alone when asked;
//       exit code: the HTTP status, or 1 when no answer came
//   proxy_probe LOGFOLDER download URL OUTPUT THREADS   the download engine; exit code: its result code
//                                                       negated (0 success, 6 proxy sign-in, ...)
//   proxy_probe LOGFOLDER at-exit HOST                  the route to HOST, then again from an exit
//                                                       handler that runs after static destruction

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "download/HttpDownload.h"
#include "log/Log.h"
#include "download/BaseRequest.h"
#include "download/ProxyResolver.h"

namespace {

int Request(int type, const std::wstring& url, const std::wstring& output, bool secureOnly) {
  std::unique_ptr<CBaseRequest> request = CBaseRequest::CreateInstance(type);
  if (!request) return 1;
  if (secureOnly) request->eSchemes = CBaseRequest::Schemes::kSecureOnly;
  if (!request->OpenUrl(url)) return 1;
  int status = 0;
  if (!request->GetStatusCode(status)) return 1;
  FILE* file = _wfopen(output.c_str(), L"wb");
  if (!file) return 1;
  std::string buffer(65536, '\0');
  for (int count; (count = request->HttpRead(&buffer[0], static_cast<int>(buffer.size()))) > 0;) {
    fwrite(buffer.data(), 1, static_cast<size_t>(count), file);
  }
  fclose(file);
  return status;
}

int Download(const std::wstring& url, const std::wstring& output, int threads) {
  DownloadParam param;
  param.strDownloadUrl = url;
  param.strSavePath = output;
  param.nDownloadThread = threads;
  return -CHttpDownload(param, nullptr, nullptr).Download();
}

std::wstring g_exitHost;

// Registered before the resolver exists, so it runs after every static object made later is gone,
// as a detached range thread would at that moment.
void RouteAtExit() {
  const ProxyRoute route = CProxyResolver::Process().RouteTo(true, g_exitHost);
  LOG_INFOW(L"probe: at exit %ls", route.Describe().c_str());
}

int RouteAtExitMode(const std::wstring& host) {
  g_exitHost = host;
  std::atexit(&RouteAtExit);
  LOG_INFOW(L"probe: in main %ls", CProxyResolver::Process().RouteTo(true, host).Describe().c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 100;
  LogInit(L"pelarin_down.log", argv[1]);
  const std::wstring mode = argv[2];
  if (mode == L"at-exit") return RouteAtExitMode(argv[3]);
  if (argc < 6) return 100;
  if (mode == L"request") {
    return Request(_wtoi(argv[3]), argv[4], argv[5], argc > 6 && std::wstring(argv[6]) == L"secure-only");
  }
  if (mode == L"download") return Download(argv[3], argv[4], _wtoi(argv[5]));
  return 100;
}
