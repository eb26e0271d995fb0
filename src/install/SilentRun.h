#pragma once

// The steps around the silent run of the downloaded full installer that need no window: the product
// folder and its domain file, the installer's progress file, its helper process, and the start of the
// installed product.

#include <string>

// Shown percentage for the installer's own percentage `n`: the download's share of the bar plus n
// percent of the rest, truncated. `n` is not limited (150 shows 105 with the share 90); only a value
// whose result leaves the int range is held at the range's end.
int InstallPercent(int downloadShare, long n);

// The two temporary files of an install, in the work folder (which ends with a backslash).
std::wstring InstallerPathIn(const std::wstring& workDir);     // the downloaded full installer
std::wstring ProgressFilePathIn(const std::wstring& workDir);  // the installer's progress file

// Ends the installer's helper process and deletes both temporary files; errors are ignored. Without a
// work folder (the environment is not set up yet) there is nothing to remove.
// What becomes of a download that did not finish: kept (with its state file) for the next attempt or
// run to go on from, or deleted with the rest. A partial file without a state file is always deleted.
enum class PartialDownload { kDelete, kKeep };
void RemoveInstallFiles(const std::wstring& workDir, PartialDownload partial = PartialDownload::kDelete);

// The number at the start of the progress file's text, read as strtol reads it (blanks, a sign,
// digits); 0 when there are no digits.
long ParseProgressText(const char* text);

// The first 10 bytes of the progress file, parsed; false when the file cannot be opened, so the
// display keeps its value.
bool ReadProgressFile(const std::wstring& path, long& n);

// The percentage the bar shows for the progress file at `path`; false when it cannot be read this
// time, so the display keeps its value.
bool ProgressFilePercent(const std::wstring& path, int downloadShare, int& percent);

// Deletes a progress file left by an earlier run, so that the first poll sees only this run's.
void DeleteStaleProgressFile(const std::wstring& path);

// Creates the product folder with every missing level; failures are not reported (the installer
// may still manage).
void CreateProductFolder(const std::wstring& productFolder);

// Ends the first process named "pelarin-download.tmp" (the installer's helper); true when one was found.
bool KillSilentInstallProcess();

// Starts the installed product: with our own rights when `runAsAdmin`, otherwise as the signed-in
// user without our elevation. Logs which way was taken; false when none could start it.
bool StartProductProcess(const std::wstring& productPath, bool runAsAdmin);
