#include "language/LanguageManager.h"

#include "language/ProfileReader.h"
#include "log/Log.h"
#include "base/SystemInfo.h"
#include "base/TextHelper.h"

namespace {

const wchar_t kDefaultLanguage[] = L"English";
const wchar_t kRightToLeftLanguage[] = L"Arabic";
const wchar_t kDefaultBrand[] = L"Pelarin";

// What the window shows when the pack lacks a text; the pack's own entries replace these.
const LanguageManager::Table& DefaultStrings() {
  static const LanguageManager::Table table = {
      {L"STR_INSTALL", L"Install"},
      {L"STR_BROWSE", L"Browse"},
      {L"STR_LISENCE", L"I've read and agreed to {c COLOR}BRAND License Agreement{/c}"},
      {L"STR_CUSTOMIZE_INSTALL", L"Customize Installation"},
      {L"STR_INSTALL_PATH", L"Installation Path"},
      {L"STR_SELECT_FOLDER", L"Select a location to install the program"},
      {L"STR_STORAGE", L"Insuficient storage. Storage required:"},
      {L"STR_PATH_INVALID", L"The installation path is invalid."},
      {L"STR_INSTALLING", L"Installing..."},
      {L"STR_HIDE", L"Hide"},
      {L"STR_MESSAGEBOX_TITLE", L"PRODUCT Setup"},
      {L"STR_NETWORK_ERROR", L"Network error. Please check your network settings."},
      {L"STR_DISK_ERROR",
       L"The installer could not be saved: the disk is full or the folder cannot be written. "
       L"Please free some space and try again."},
      {L"STR_PROXY_ERROR",
       L"Your proxy server refused the download: it asks for credentials that Setup cannot "
       L"give. Please check your proxy settings."},
      {L"STR_OPERATE_TIP",
       L"Click Abort to cancel installation, Retry to try again, or Ignore to download via browser."},
      {L"STR_SOFT_RUN",
       L"PRODUCT is running. Continuing installation will forcely quit the program. Are you sure to install?"},
      {L"STR_CLOSE_TIP1", L"Are you sure you want to quit?"},
      {L"STR_CLOSE_TIP2", L"Installation is in progress. Are you sure you want to quit?"},
      {L"STR_START", L"Start\u00A0Now"},  // no-break space: the button must not wrap between the words
      {L"STR_START_FAILED", L"PRODUCT could not be started. Its program should be here:"},
      {L"STR_MB", L"MB"},
  };
  return table;
}

std::wstring Lookup(const LanguageManager::Table& table, const std::wstring& key) {
  auto found = table.find(key);
  return found == table.end() ? std::wstring() : found->second;
}

}  // namespace

void LanguageManager::Init(const std::wstring& packFolder) {
  Reset(packFolder);
  InitCurrentLanguage();
  LoadTables();
}

void LanguageManager::InitForLanguage(const std::wstring& packFolder, LANGID language) {
  Reset(packFolder);
  ChooseLanguage(language);
  LoadTables();
}

void LanguageManager::ChooseFrom(const std::wstring& packFolder, LANGID language) {
  Reset(packFolder);
  if (language)
    ChooseLanguage(language);
  else
    InitCurrentLanguage();
}

void LanguageManager::Reset(const std::wstring& packFolder) {
  domainTag_.clear();
  rightToLeft_ = false;
  packFolder_ = packFolder;
}

// Product settings come before the texts: the texts take the product's names.
void LanguageManager::LoadTables() {
  LoadProductInfo();
  LoadUrlInfo();
  LoadStringTable();
}

void LanguageManager::InitCurrentLanguage() { ChooseLanguage(::GetUserDefaultUILanguage()); }

void LanguageManager::ChooseLanguage(LANGID language) {
  languageFolder_ = kDefaultLanguage;
  std::wstring code = std::to_wstring(language);
  LOG_INFOW(L"Language Code:%ls", code.c_str());
  std::wstring folder = ReadProfileString(packFolder_ + L"language.ini", L"Language", code);
  if (!folder.empty()) languageFolder_ = folder;
  rightToLeft_ = languageFolder_ == kRightToLeftLanguage;
}

void LanguageManager::LoadStringTable() {
  strings_ = DefaultStrings();
  ReadProfileSection(packFolder_ + languageFolder_ + L"\\text.ini", L"LANSTR", strings_);
  const std::wstring product = GetProductName();
  const std::wstring colour = GetLicenceColor();
  const std::wstring brand = GetBrandName();
  // The order matters: a product name may itself carry the BRAND placeholder.
  for (auto& entry : strings_) {
    ReplaceAll(entry.second, L"PRODUCT", product);
    ReplaceAll(entry.second, L"COLOR", colour);
    ReplaceAll(entry.second, L"BRAND", brand);
  }
}

void LanguageManager::LoadProductInfo() { ReadProfileSection(packFolder_ + L"productInfo.ini", L"PRODUCT", product_); }

void LanguageManager::LoadUrlInfo() {
  ReadProfileSection(packFolder_ + languageFolder_ + L"\\UrlInfo.ini", L"URL", addresses_);
}

std::wstring LanguageManager::GetString(const std::wstring& key) const { return Lookup(strings_, key); }
std::wstring LanguageManager::GetProductValue(const std::wstring& key) const { return Lookup(product_, key); }
std::wstring LanguageManager::GetUrlValue(const std::wstring& key) const { return Lookup(addresses_, key); }

std::wstring LanguageManager::GetGaTitle() const { return GetProductValue(L"STR_GA_TTTLE"); }
std::wstring LanguageManager::GetProductName() const { return GetProductValue(L"STR_PRODUCT_NAME"); }
std::wstring LanguageManager::GetLicenceColor() const { return GetProductValue(L"STR_LISENCE_COLOR"); }
std::wstring LanguageManager::GetExeName() const { return GetProductValue(L"STR_EXE_NAME"); }

std::wstring LanguageManager::GetBrandName() const {
  std::wstring brand = GetProductValue(L"STR_BRAND_NAME");
  return brand.empty() ? kDefaultBrand : brand;
}

std::wstring LanguageManager::GetProductDir() const {
  std::wstring dir;
  for (const wchar_t* key : {L"STR_DIR1_NAME", L"STR_DIR2_NAME"}) {
    std::wstring level = GetProductValue(key);
    if (!level.empty()) dir += level + L"\\";
  }
  return dir;
}

std::wstring LanguageManager::GetProductExePath() const { return GetProductDir() + GetExeName(); }

bool LanguageManager::IsRunAsAdmin() const { return GetProductValue(L"STR_RUN_AS_ADMIN") != L"0"; }

std::wstring LanguageManager::GetDownloadUrl() const { return GetDownloadUrl(IsWindows64()); }

std::wstring LanguageManager::GetDownloadUrl(bool windows64) const {
  return GetUrlValue(windows64 ? L"STR_DOWN_URL_X64" : L"STR_DOWN_URL");
}

std::wstring LanguageManager::GetLicenceUrl() const { return AddDomainTag(GetUrlValue(L"STR_LICENCE_URL")); }
std::wstring LanguageManager::GetInstallUrl() const { return AddDomainTag(GetUrlValue(L"STR_INSTALL_URL")); }

// Only the site's own product pages (addressed by "key=") know what to do with the tag.
std::wstring LanguageManager::AddDomainTag(const std::wstring& address) const {
  if (address.empty() || domainTag_.empty()) return address;
  if (address.find(L"key=") == std::wstring::npos) return address;
  return address + L"&custom=" + domainTag_;
}
