#include "Window/SetupEnvironment.h"

#include "log/Log.h"
#include "resources/EmbeddedPackages.h"
#include "base/SystemInfo.h"
#include "base/ModulePath.h"

void StartSetupLog(const std::wstring& logCopy) {
  LogInit(L"pelarin_down.log", (::GetWorkDir() + L"Log").c_str());
  if (!logCopy.empty() && !LogCopyTo(logCopy))
    LOG_INFOW(L"ERR:the log cannot be written to %ls as well, error %lu", logCopy.c_str(), ::GetLastError());
}

void CSetupEnvironment::InitEnvironment() {
  if (ready_) return;
  ready_ = true;
  workDir_ = ::GetWorkDir();
  StartSetupLog(std::wstring());
  // Only what the first paint reads comes out before it: the settings, then the chosen language's texts.
  ::LoadResZipSettings(module_, GetPackDir());
  language_.ChooseFrom(GetPackDir(), chosenLanguage_);
  ::LoadResZipLanguage(module_, GetPackDir(), language_.GetLanguage());
  pictures_ = std::thread([module = module_, pack = GetPackDir(), folder = language_.GetLanguage()] {
    ::LoadResZipRest(module, pack, folder);
  });
  language_.LoadTables();
}

void CSetupEnvironment::WaitForPictures() {
  if (pictures_.joinable()) pictures_.join();
}

void CSetupEnvironment::LoadDomainFile() { ::LoadDomainFile(module_, language_); }

void CSetupEnvironment::LogStartupLines() const {
  LOG_INFOW(L"Windows Version:%ls", GetWindowsProductName().c_str());
  LOG_INFOW(L"Windows Bit:%ls", IsWindows64() ? L"x64" : L"x86");
  LOG_INFOW(L"downloader version:%ls", GetFileVersion(Base::ModulePath(module_)).c_str());
  LOG_INFO("DownloadRatio:%d  ==== ReadFileTimeout:%d", language_.GetDownloadRatio(), language_.GetReadFileTimeout());
}
