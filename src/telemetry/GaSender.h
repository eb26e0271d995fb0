#pragma once

// Analytics events: three moments of a run, and in the current Measurement Protocol also a failed
// download with its reason class. In v1 each event is one bodiless HEAD request whose query carries
// the whole event; in the current protocol one JSON body POSTed over HTTPS (MpEventBody.h). Fire and
// forget: each goes out on a detached thread of its own, nothing waits for it, a failed report
// changes nothing. Each request takes the proxy route the user's settings give for the host, as the
// download does, and gives up after a few seconds of silence.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>

enum GaEventKind {
  kGaEvent_StartInstall = 0,    // "Downloader_Start_Install"
  kGaEvent_Downloaded = 1,      // "Downloader_Installed"
  kGaEvent_DownloadFailed = 2,  // "Downloader_Failed", current protocol only
  kGaEvent_InstallSucceed = 3,  // "Installed_Succeed"
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
  std::string installMode;  // "interactive", "passive" or "quiet"; empty: not reported
};

class CGaSender {
 public:
  // The collection service answers within a fraction of a second; an event that has got nowhere
  // after a few seconds is lost anyway, and its thread should not linger on a host that accepts and
  // never answers. The receive bound also bounds the wait for the answer's headers. Name resolution
  // keeps the platform's own bound, as the download's does.
  static constexpr DWORD kConnectTimeoutMs = 5000;
  static constexpr DWORD kSendTimeoutMs = 5000;
  static constexpr DWORD kReceiveTimeoutMs = 5000;
  // How long a later v1 event waits for the start event to settle the scheme: the bounds of its
  // HTTPS attempt and room for finding the route (a proxy script may take seconds). Past it the
  // later event goes over HTTPS, the start event's first choice.
  static constexpr DWORD kSchemeWaitMs = kConnectTimeoutMs + kSendTimeoutMs + kReceiveTimeoutMs + 5000;

  // The one process-wide sender, created on first use (before any event thread) and never destroyed.
  static CGaSender& GetInstance();

  // v1: the collection host and the event path without its action. Switches the sender to v1.
  void SetTarget(const std::wstring& host, const std::wstring& basePath);
  // The current protocol. Switches the sender to it.
  void SetMpTarget(const MpTarget& target);

  // HTTPS first; when that fails, plain HTTP, and every later event of the run stays on plain HTTP.
  bool SendStartInstall();
  // v1: a start event is on its way, so later events wait (on their own threads) for the scheme it
  // settles on. Called by whoever starts it, before its thread runs.
  void BeginSchemeChoice();
  // Over the scheme the start event settled on; no fallback.
  bool SendDownloaded();
  bool SendInstallSucceed();
  // Current protocol only: v1 has no such event and sends nothing (false).
  bool SendDownloadFailed(const char* reason);

  // One request each; true when it was sent and answered, whatever the status.
  bool SendHttps(const std::wstring& fullPath);
  bool SendHttp(const std::wstring& fullPath);

  bool IsSecure() const;

  // POSTs one event body to /mp/collect over HTTPS; true when it was sent and answered.
  bool SendMp(const char* name, const char* failureReason = nullptr);

  // The event `kind` names (see GaEventKind), over its protocol; true when answered.
  bool SendEvent(int kind, const char* failureReason);

  // Sends the event `kind` names (1: downloaded, 2: failed download, 3: installed, anything else:
  // start), frees the parameter.
  static DWORD WINAPI GaThreadProc(LPVOID parameter);

 private:
  CGaSender() = default;
  bool Send(const std::wstring& fullPath, bool secure);
  std::wstring EventPath(const char* action) const;
  void SettleScheme(bool secure);
  // The scheme of a later v1 event, once the start event has settled it (or kSchemeWaitMs passed).
  bool SchemeForLaterEvent();
  // Milliseconds since the run's previous event (the first: since the run started), at least 1.
  unsigned long long TakeEngagementMs();

  std::wstring MpPath() const;

  bool bMp = false;
  MpTarget mpTarget;
  std::wstring strHost;
  std::wstring strBasePath;
  // The start event's thread writes the scheme, later event threads read it; never destroyed, like
  // the sender, so that an event thread still running at exit finds them.
  mutable std::mutex schemeMutex;
  std::condition_variable schemeSettled;
  bool bSchemePending = false;
  bool bSecure = true;
  std::mutex engagementMutex;
  unsigned long long nPreviousEventMs = 0;  // 0: no event yet
};

// The event's name as reported, for the log.
const char* GaEventName(int kind);

// The run's session for the current protocol: the process's start time in seconds since 1970, the
// same for every event of the process.
unsigned long long GaSessionId();

// "collect?v=1&t=event&tid=" TID "&cid=" CID "&ec=" TITLE " (Windows version)&el=" CID; nothing is
// percent-encoded here.
std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title);

// The category both protocols report: the analytics title and " (Windows version)".
std::wstring GaCategory(const std::wstring& title);

// Points the sender at the build's collection host, in the build's protocol, with this machine's
// client identifier and the product's analytics title. Called once, on the window's thread, before
// any event. `installMode` tells the current protocol's events how the run was started (v1 events
// keep their fixed query).
void SetupGaSender(const std::wstring& gaTitle, const char* installMode = nullptr);

// Runs GaThreadProc for `kind` on a detached thread of its own; the caller neither waits nor keeps
// the handle.
bool StartGaEventThread(int kind, const char* failureReason = nullptr);

// Reports a failed download (its DownloadResult; 0 when the file arrived but was refused) on a
// thread of its own.
bool StartDownloadFailedEvent(int downloadResult);
