#pragma once

// The installer's one-time environment: its private work folder, the log, the language pack unpacked
// from the program's resources, and the language manager built from it. The window controller owns
// one and runs it before the skin is chosen, because the skin depends on the reading direction.

#include <windows.h>

#include <string>
#include <thread>

#include "language/LanguageManager.h"

// Starts the log of the work folder, and its copy at `logCopy` when that is not empty (a copy that
// cannot be written is logged, and the run goes on).
void StartSetupLog(const std::wstring& logCopy);

class CSetupEnvironment {
 public:
  // `language` 0: the user's interface language; otherwise that language, with the usual fallback.
  explicit CSetupEnvironment(HMODULE module, LANGID language = 0) : module_(module), chosenLanguage_(language) {}
  ~CSetupEnvironment() { WaitForPictures(); }
  CSetupEnvironment(const CSetupEnvironment&) = delete;
  CSetupEnvironment& operator=(const CSetupEnvironment&) = delete;

  // Work folder, log, language pack and string tables. Runs once; later calls do nothing. Of the pack,
  // only the settings and the chosen language's texts come out before the window: the other languages
  // and the pictures come out on a thread of their own, since the first paint needs none of them.
  void InitEnvironment();
  // Returns once the whole pack is on disk; call before showing a picture of it.
  void WaitForPictures();
  // Reads the site tag from the resources into the language manager (after InitEnvironment).
  void LoadDomainFile();
  // The machine and program facts logged once at start.
  void LogStartupLines() const;

  const std::wstring& GetWorkDir() const { return workDir_; }
  std::wstring GetPackDir() const { return workDir_ + L"language\\"; }
  LanguageManager& Language() { return language_; }
  const LanguageManager& Language() const { return language_; }

 private:
  HMODULE module_;
  LANGID chosenLanguage_;
  bool ready_ = false;
  std::wstring workDir_;
  LanguageManager language_;
  std::thread pictures_;
};
