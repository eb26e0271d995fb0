#pragma once

// Facts about the machine and the running program. Stateless; each falls back quietly (an empty text
// or false) when the system cannot answer.

#include <windows.h>

#include <string>

// Marketing name of the installed Windows, from the 64-bit registry view; empty when unreadable.
std::wstring GetWindowsProductName();

// True on a 64-bit Windows, whatever the bitness of this program.
bool IsWindows64();
// The decision behind IsWindows64: x64 and Itanium count as 64-bit, everything else does not.
bool IsArchitecture64(WORD processorArchitecture);

// "major.minor.build.revision" of a file's fixed version, or empty when it has no version resource
// or no translation table.
std::wstring GetFileVersion(const std::wstring& path);

// Free space of the volume holding `path`, in whole MiB; `freeMB` is untouched on failure.
bool GetDiskFreeMB(const std::wstring& path, int& freeMB);
int BytesToMB(unsigned long long bytes);

// The Program Files folder this program's bitness installs into, with a trailing backslash; a lone
// backslash when the shell cannot say.
std::wstring GetProgramFilesDir();

// True when this process runs as LocalSystem, LocalService or NetworkService: a service context,
// where there is no signed-in user of its own to start anything as.
bool IsServiceAccount();

// Folder the installer keeps its downloads in: <Program Files>\pelarin_down\<program base name>\.
std::wstring GetWorkDir();
