#pragma once

// Declarations the download engine shares with its callers.

#include <windows.h>

#include <memory>
#include <string>

#include "base/FileSystem.h"

struct RemoteFile;

// Progress codes the downloader hands its callback (first value, second value):
enum DownloadCallbackCode {
  kDownload_Start = 0,     // 0, 0; before the parameters are checked
  kDownload_FileSize = 1,  // remote size (0 when no answer gives it), 0; before any range starts
  kDownload_Progress = 2,  // bytes so far, remote size (0 when unknown); on a range thread, under the
                           // download's lock
  kDownload_End = 3,       // result code, elapsed whole seconds; always, also after a failure
};

// Results of a download.
enum DownloadResult {
  kDownloadResult_Success = 0,
  kDownloadResult_BadParam = -1,     // invalid parameters, or the target folder is not available
  kDownloadResult_NoFileSize = -3,   // the remote size could not be read
  kDownloadResult_ContentFail = -4,  // a range failed for good
  kDownloadResult_LocalWrite = -5,   // the file could not be created or written (disk full, locked,
                                     // read-only): the network is not to blame
  kDownloadResult_ProxyAuth = -6,    // the proxy kept asking for credentials (407)
  kDownloadResult_Cancelled = -7,    // the caller set the stop flag: the partial file and the state saved
                                     // so far stay
};

// Runs on the caller's thread for codes 0, 1 and 3 and on a range thread for code 2. It must not
// wait for anything that needs the downloader: code 2 arrives while the download's lock is held.
using DownloadCallback = void (*)(int code, long long first, long long second, void* pUserData);

struct DownloadParam {
  int nDownloadThread = 5;      // ranges and threads; 1 to 64 (more is cut to 64)
  void* pUserData = nullptr;    // handed back unchanged to the callback
  std::wstring strDownloadUrl;  // "http://" or "https://", host, "/", path
  std::wstring strSavePath;     // full path of the local file; normalized in place before use
  bool bSecureOnly = false;     // no request of the download may fall back from HTTPS to plain HTTP
  // The space check's answer, when there was one: the download takes the file's size, validator and
  // scheme from it instead of asking again.
  std::shared_ptr<const RemoteFile> pKnownFile;
  // Out, on success, when bComputeSha256 asks: the file's SHA-256 (lower-case hex), hashed while it
  // downloaded, and the stamp of the file it was computed for, taken as the download let it go.
  bool bComputeSha256 = false;
  std::string strSha256;
  Base::FileStamp writtenStamp;
};
