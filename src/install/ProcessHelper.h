#pragma once

// Process and shell helpers. Each reports failure only through its result; none writes to the log,
// so they are safe to call from the log's own paths and before it is configured.

#include <windows.h>

#include <string>

#include "base/Scoped.h"

// True when the C runtime can open the path for reading; folders, missing and locked files are false.
bool FileExists(const std::wstring& path);

// Finds the first running process whose executable file name equals `name` exactly (case matters).
// `pid` is written only on success.
bool FindProcess(const std::wstring& name, DWORD& pid);

// Asks the system to end the process; true once it could be opened, whether or not it has ended yet.
bool KillProcess(DWORD pid);

// Opens a web address or file with its registered handler.
void OpenInBrowser(HWND owner, const std::wstring& target);

// The arguments the downloaded installer understands for an unattended install into `installFolder`
// (which ends with a backslash), reporting its progress to `progressFilePath`.
std::wstring BuildSilentCommandLine(const std::wstring& installFolder, const std::wstring& progressFilePath);

// Starts the installer with those arguments; its process, empty when it could not be started.
Scoped::CloseHandle StartSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                                         const std::wstring& progressFilePath);

// Starts the installer with those arguments and waits until it has ended. False only when it could
// not be started.
bool RunSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                        const std::wstring& progressFilePath);

// How LaunchProduct started a program.
enum LaunchRoute {
  kLaunchRoute_None = 0,      // nothing was started
  kLaunchRoute_Elevated,      // with this program's own rights
  kLaunchRoute_Scheduler,     // handed to the system's task scheduler for the interactive user
  kLaunchRoute_ShellDesktop,  // handed to the desktop shell, which starts it with the user's rights
  kLaunchRoute_Direct,        // started directly; only when this program is not elevated itself
};

// Starts the installed product. With `runAsAdmin`, as it is, with this program's own rights; otherwise
// as the signed-in user without this program's elevation, by the first route that exists: the task
// scheduler, then the shell's desktop process, then, only when this program is not elevated, directly.
// kLaunchRoute_None when nothing could start it.
LaunchRoute LaunchProduct(const std::wstring& path, bool runAsAdmin);

// Whether this process runs with an elevated token; true when the system cannot say, so that a
// doubtful case never hands our rights on.
bool IsProcessElevated();
