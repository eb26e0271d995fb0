#pragma once

// Process and shell helpers. Each reports failure only through its result; none writes to the log,
// so they are safe to call from the log's own paths and before it is configured.

#include <windows.h>

#include <string>

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

// Starts the installer with those arguments and waits until it has ended. False only when it could
// not be started.
bool RunSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                        const std::wstring& progressFilePath);

// Starts the installed product: as it is when `runAsAdmin`, otherwise through the system's task
// scheduler as the signed-in user. Nothing is reported; a system without that route starts nothing.
void LaunchProduct(const std::wstring& path, bool runAsAdmin);
