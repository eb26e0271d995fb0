#pragma once

// Analytics events (Measurement Protocol v1): three moments of a run, each one bodiless HEAD request
// whose query carries the whole event. Fire and forget: nothing waits for them, nothing is logged,
// a failed report changes nothing.

#include <windows.h>

#include <atomic>
#include <string>

enum GaEventKind {
  kGaEvent_StartInstall = 0,  // "Downloader_Start_Install"
  kGaEvent_Downloaded = 1,    // "Downloader_Installed"
};

// Parameter of GaThreadProc; allocated by the starter, freed by the thread.
class CGaSender;
struct GaThreadParam {
  CGaSender* sender;
  int kind;
};

class CGaSender {
 public:
  // The one process-wide sender, created on first use (before any event thread) and never destroyed.
  static CGaSender& GetInstance();

  void SetTarget(const std::wstring& host, const std::wstring& basePath);

  // HTTPS first; when that fails, plain HTTP, and every later event of the run stays on plain HTTP.
  bool SendStartInstall();
  // Over the scheme the start event settled on; no fallback.
  bool SendDownloaded();
  bool SendInstallSucceed();

  // One request each; true when it was sent and answered, whatever the status.
  bool SendHttps(const std::wstring& fullPath);
  bool SendHttp(const std::wstring& fullPath);

  bool IsSecure() const { return bSecure; }

  // Sends the event `kind` names (1: downloaded, anything else: start), frees the parameter.
  static DWORD WINAPI GaThreadProc(LPVOID parameter);

 private:
  CGaSender() = default;
  bool Send(const std::wstring& fullPath, bool secure);
  std::wstring EventPath(const char* action) const;

  std::wstring strHost;
  std::wstring strBasePath;
  // Written by the start event's thread, read by later event threads.
  std::atomic<bool> bSecure{true};
};

// "collect?v=1&t=event&tid=" TID "&cid=" CID "&ec=" TITLE " (Windows version)&el=" CID; nothing is
// percent-encoded here.
std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title);

// Points the sender at the build's collection host with this machine's client identifier and the
// product's analytics title. Called once, on the window's thread, before any event.
void SetupGaSender(const std::wstring& gaTitle);

// Runs GaThreadProc for `kind` on a thread of its own; the caller neither waits nor keeps the handle.
bool StartGaEventThread(int kind);
