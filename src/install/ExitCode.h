#pragma once

// What the program ends with, for the software-distribution tools and scripts that start it and decide
// from the code alone. Codes follow Windows Installer's where it has one for the case, and a Windows
// error code that names the cause elsewhere. The README and the usage text carry the same table.

enum SetupExitCode {
  kExit_Installed = 0,
  kExit_ProductRunning = 32,    // ERROR_SHARING_VIOLATION: the product runs and would have to be closed
  kExit_InvalidSwitch = 87,     // ERROR_INVALID_PARAMETER: unknown switch, malformed value, unusable /dir
  kExit_DiskFull = 112,         // ERROR_DISK_FULL: the install drive lacks three times the installer
  kExit_Cancelled = 1602,       // ERROR_INSTALL_USEREXIT
  kExit_Failure = 1603,         // ERROR_INSTALL_FAILURE: anything else
  kExit_AlreadyRunning = 1618,  // ERROR_INSTALL_ALREADY_RUNNING: another copy of this installer runs
  kExit_DownloadFailed = 1619,  // ERROR_INSTALL_PACKAGE_OPEN_FAILED: the full installer could not be fetched
  kExit_PayloadRefused = 1620,  // ERROR_INSTALL_PACKAGE_INVALID: it arrived but is not the pinned file
};

// The table as the usage text shows it, one code per line.
const wchar_t* ExitCodeTable();
