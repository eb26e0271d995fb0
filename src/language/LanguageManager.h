#pragma once

// The language pack: which language the user sees, its texts with the product's names filled in, the
// product's settings and the web addresses of that language.

#include <windows.h>

#include <map>
#include <string>

class LanguageManager {
 public:
  using Table = std::map<std::wstring, std::wstring>;

  // Loads the pack in `packFolder` (ends with a backslash) for the user's interface language.
  void Init(const std::wstring& packFolder);
  // The same for an explicit Windows language id.
  void InitForLanguage(const std::wstring& packFolder, LANGID language);

  // Init in two steps, for a pack that is unpacked as it is needed: the language first (from the pack's
  // language.ini; `language` 0 is the user's), whose folder GetLanguage then names; then its tables.
  void ChooseFrom(const std::wstring& packFolder, LANGID language);
  void LoadTables();

  void InitCurrentLanguage();
  // Picks the language folder language.ini names for `language`, English when it names none.
  void ChooseLanguage(LANGID language);
  void LoadStringTable();
  void LoadProductInfo();
  void LoadUrlInfo();

  std::wstring GetString(const std::wstring& key) const;
  std::wstring GetLanguage() const { return languageFolder_; }
  bool IsRightToLeft() const { return rightToLeft_; }

  std::wstring GetProductValue(const std::wstring& key) const;
  std::wstring GetUrlValue(const std::wstring& key) const;
  std::wstring GetGaTitle() const;
  std::wstring GetProductName() const;
  std::wstring GetLicenceColor() const;
  std::wstring GetBrandName() const;
  std::wstring GetExeName() const;
  // Folder below the install location, e.g. L"Brenmark Solvetta\\"; empty when the product names none.
  std::wstring GetProductDir() const;
  std::wstring GetProductExePath() const;
  bool IsRunAsAdmin() const;

  std::wstring GetDownloadUrl() const;
  std::wstring GetDownloadUrl(bool windows64) const;
  std::wstring GetLicenceUrl() const;
  std::wstring GetInstallUrl() const;

  // Share of the progress bar the download takes; the silent install fills the rest.
  int GetDownloadRatio() const { return 90; }
  // Milliseconds between reads of the installer's progress file.
  int GetReadFileTimeout() const { return 1500; }

  void SetDomain(const std::wstring& tag) { domainTag_ = tag; }
  std::wstring GetDomain() const { return domainTag_; }

 private:
  void Reset(const std::wstring& packFolder);
  std::wstring AddDomainTag(const std::wstring& address) const;

  Table strings_;
  Table addresses_;
  Table product_;
  std::wstring packFolder_;
  std::wstring languageFolder_;
  std::wstring domainTag_;
  bool rightToLeft_ = false;
};
