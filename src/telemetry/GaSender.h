#pragma once

// Analytics events: three moments of a run, and in the current Measurement Protocol also a failed
// download with its reason class. In v1 each event is one bodiless HEAD request whose query carries
// the whole event; in the current protocol one JSON body POSTed over HTTPS (MpEventBody.h). Fire and
// forget: nothing waits for them, nothing is logged, a failed report changes nothing.

#include <windows.h>

#include <atomic>
#include <string>

enum GaEventKind {
  kGaEvent_StartInstall = 0,  // "Downloader_Start_Install"
  kGaEvent_Downloaded = 1,    // "Downloader_Installed"
  kGaEvent_DownloadFailed = 2,  // "Downloader_Failed", current protocol only
};

// Parameter of GaThreadProc; allocated by the starter, freed by the thread.
class CGaSender;
struct GaThreadParam {
  CGaSender* sender;
  int kind;
  const char* failureReason = nullptr;  // a static text (DownloadFailureReason)
};

// Where the current protocol's events go and what they carry besides their name.
struct MpTarget {
  std::wstring host;
  unsigned short port = 443;
  std::wstring measurementId;
  std::wstring apiSecret;
  std::wstring clientId;
  std::wstring category;
  std::wstring label;
};

class CGaSender {
 public:
  // The one process-wide sender, created on first use (before any event thread) and never destroyed.
  static CGaSender& GetInstance();

  // v1: the collection host and the event path without its action. Switches the sender to v1.
  void SetTarget(const std::wstring& host, const std::wstring& basePath);
  // The current protocol. Switches the sender to it.
  void SetMpTarget(const MpTarget& target);

  // HTTPS first; when that fails, plain HTTP, and every later event of the run stays on plain HTTP.
  bool SendStartInstall();
  // Over the scheme the start event settled on; no fallback.
  bool SendDownloaded();
  bool SendInstallSucceed();
  // Current protocol only: v1 has no such event and sends nothing (false).
  bool SendDownloadFailed(const char* reason);

  // One request each; true when it was sent and answered, whatever the status.
  bool SendHttps(const std::wstring& fullPath);
  bool SendHttp(const std::wstring& fullPath);

  bool IsSecure() const { return bSecure; }

  // POSTs one event body to /mp/collect over HTTPS; true when it was sent and answered.
  bool SendMp(const char* name, const char* failureReason = nullptr);

  // Sends the event `kind` names (1: downloaded, 2: failed download, anything else: start), frees
  // the parameter.
  static DWORD WINAPI GaThreadProc(LPVOID parameter);

 private:
  CGaSender() = default;
  bool Send(const std::wstring& fullPath, bool secure);
  std::wstring EventPath(const char* action) const;

  std::wstring MpPath() const;

  bool bMp = false;
  MpTarget mpTarget;
  std::wstring strHost;
  std::wstring strBasePath;
  // Written by the start event's thread, read by later event threads.
  std::atomic<bool> bSecure{true};
};

// "collect?v=1&t=event&tid=" TID "&cid=" CID "&ec=" TITLE " (Windows version)&el=" CID; nothing is
// percent-encoded here.
std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title);

// The category both protocols report: the analytics title and " (Windows version)".
std::wstring GaCategory(const std::wstring& title);

// Points the sender at the build's collection host, in the build's protocol, with this machine's
// client identifier and the product's analytics title. Called once, on the window's thread, before
// any event.
void SetupGaSender(const std::wstring& gaTitle);

// Runs GaThreadProc for `kind` on a thread of its own; the caller neither waits nor keeps the handle.
bool StartGaEventThread(int kind, const char* failureReason = nullptr);

// Reports a failed download (its DownloadResult; 0 when the file arrived but was refused) on a
// thread of its own.
bool StartDownloadFailedEvent(int downloadResult);
