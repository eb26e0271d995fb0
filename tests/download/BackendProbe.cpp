// Runs downloads one after another in a fresh process, whose backend failure counters start at 0,
// and logs into the given folder: backend_probe LOGFOLDER SAVEFOLDER (URL THREADS)...
// Exit code: the number of downloads that failed.

#include <windows.h>

#include <string>

#include "HttpDownload.h"
#include "log/Log.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 5 || argc % 2 == 0) return 100;
  LogInit(L"pelarin_down.log", argv[1]);
  int failed = 0;
  for (int i = 3; i + 1 < argc; i += 2) {
    DownloadParam param;
    param.strDownloadUrl = argv[i];
    param.nDownloadThread = _wtoi(argv[i + 1]);
    param.strSavePath = std::wstring(argv[2]) + L"\\probe" + std::to_wstring(i) + L".bin";
    if (!RunHttpDownload(param, nullptr, nullptr)) ++failed;
  }
  return failed;
}
