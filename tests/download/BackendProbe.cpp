// Runs downloads one after another in a fresh process, whose backend failure counters start at 0,
// and logs into the given folder: backend_probe LOGFOLDER SAVEFOLDER (URL THREADS)...
// Every request object made is logged with its backend ("probe: new WinHttp request"). Connections
// silent for 2 s are abandoned. Exit code: the number of downloads that failed.

#include <windows.h>

#include <memory>
#include <string>

#include "download/HttpDownload.h"
#include "log/Log.h"
#include "download/BaseRequest.h"

namespace {

std::unique_ptr<CBaseRequest> LoggedRequest(int type) {
  std::unique_ptr<CBaseRequest> request = CBaseRequest::CreateInstance(type);
  if (request) LOG_INFO("probe: new %s request", request->GetTypeName());
  return request;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5 || argc % 2 == 0) return 100;
  LogInit(L"pelarin_down.log", argv[1]);
  int failed = 0;
  for (int i = 3; i + 1 < argc; i += 2) {
    DownloadParam param;
    param.strDownloadUrl = argv[i];
    param.nDownloadThread = _wtoi(argv[i + 1]);
    param.strSavePath = std::wstring(argv[2]) + L"\\probe" + std::to_wstring(i) + L".bin";
    RetryPolicy policy;
    policy.nStallMs = 2000;
    CHttpDownload download(param, nullptr, nullptr);
    download.SetRequestFactory(&LoggedRequest);
    download.SetRetryPolicy(policy);
    if (download.Download() != 0) ++failed;
  }
  return failed;
}
