#pragma once

// The installer's command line, for installs nobody watches: quiet and passive modes, the install
// folder, a copy of the log and the interface language. Switches are case-insensitive and start with
// "/" or "-"; a value follows "=" or ":" (or comes as the next word), quoted or not. No switches at
// all is the interactive install a person starts with a double click.

#include <windows.h>

#include <string>
#include <vector>

enum class RunMode {
  kInteractive,  // the home page, the questions, the product started by the user
  kPassive,      // the progress page only; no question; closes itself when done
  kQuiet,        // no window and no question at all
};

struct SetupOptions {
  RunMode mode = RunMode::kInteractive;
  std::wstring installDir;  // full path; empty: the usual default
  std::wstring logCopy;     // full path of a second log file; empty: none
  LANGID language = 0;      // 0: the user's interface language
  bool showUsage = false;   // "/?"
  std::wstring error;       // why the command line is refused; empty when it is not

  bool Unattended() const { return mode != RunMode::kInteractive; }
  // "interactive", "passive" or "quiet", for the log and the analytics events.
  const char* ModeName() const;
};

// The words of a command line: blanks separate them outside double quotes; quotes are dropped and a
// backslash is an ordinary character, so that "C:\Program Files\App\" stays a folder.
std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine);

// The options of a command line without the program's own name (what wWinMain receives). Relative
// paths are made full against the current folder. `error` names the first word that is refused.
SetupOptions ParseCommandLine(const wchar_t* commandLine);

// The checks that need the disk: a /dir the folder field would refuse is an error.
void CheckOptionsOnDisk(SetupOptions& options);

// The usage and the exit codes, as "/?" shows them.
std::wstring UsageText();
