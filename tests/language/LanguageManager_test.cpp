#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "IniFiles.h"
#include "TestSupport.h"
#include "language/LanguageManager.h"
#include "language/ProfileReader.h"
#include "log/Log.h"
#include "base/SystemInfo.h"

namespace {

const wchar_t kProduct[] =
    L"STR_GA_TTTLE=Brenmark Solvetta\nSTR_PRODUCT_NAME=Brenmark Solvetta\nSTR_DIR1_NAME=Brenmark Solvetta\n"
    L"STR_DIR2_NAME=\nSTR_EXE_NAME=Solvetta.exe\nSTR_LISENCE_COLOR=#55E0FF\nSTR_BRAND_NAME=Brenmark\n"
    L"STR_RUN_AS_ADMIN=0\n";
const wchar_t kLicence[] = L"https://www.example/producturl?key=license_agreement&lang=English&pid=2100";

// A pack written by the test: 8-bit language.ini like the shipped one, everything else UTF-16.
class Pack {
 public:
  Pack() {
    WriteAnsiIni(dir_ / L"language.ini", "[Language]\n1033=English\n1025=Arabic\n1031=arabic\n");
    for (const wchar_t* folder : {L"English", L"Arabic", L"arabic"})
      ::CreateDirectoryW((dir_ / folder).c_str(), nullptr);
    Product(kProduct);
    Write(L"English\\UrlInfo.ini",
          L"[URL]\nSTR_DOWN_URL=https://dl/x86.exe\nSTR_DOWN_URL_X64=https://dl/x64.exe\nSTR_LICENCE_URL=" +
              std::wstring(kLicence) + L"\nSTR_INSTALL_URL=https://w/i.html\n");
    Write(L"English\\text.ini",
          L"[LANSTR]\nSTR_HIDE = Hide\nSTR_START=Start Now\nSTR_MESSAGEBOX_TITLE=PRODUCT Setup\n"
          L"STR_EXTRA=PRODUCT by BRAND in COLOR\n");
    Write(L"Arabic\\text.ini", L"[LANSTR]\nSTR_INSTALL=\u062A\u062B\u0628\u064A\u062A\n");
  }
  void Write(const std::wstring& name, const std::wstring& lines) { WriteUtf16Ini(dir_ / name, lines); }
  void Product(const std::wstring& lines) { Write(L"productInfo.ini", L"[PRODUCT]\n" + lines); }
  LanguageManager Load(LANGID language = 1033) const {
    LanguageManager manager;
    manager.InitForLanguage(dir_.path(), language);
    return manager;
  }
  LanguageManager LoadWithProduct(const std::wstring& lines) {
    Product(lines);
    return Load();
  }
  const TestSupport::ScratchDir dir_{L"pack"};
};

const std::wstring kShippedPack = [] {
  std::wstring path = L"Z:" + TestSupport::Wide(SETUP_SOURCE_DIR "/packages/language/");
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}();

}  // namespace

TEST(LanguageChoice, FollowsLanguageIniAndLogsTheCode) {
  Pack pack;
  pack.Load();  // makes sure the log has a file
  std::wstring log = LogFilePath();
  size_t logged = TestSupport::ReadFileBytes(log).size();
  LanguageManager arabic = pack.Load(1025);
  EXPECT_NE(std::string::npos, TestSupport::ReadFileBytes(log).find(" Language Code:1025\r\n", logged));
  EXPECT_EQ(L"Arabic", arabic.GetLanguage());
  EXPECT_TRUE(arabic.IsRightToLeft());
  EXPECT_EQ(L"\u062A\u062B\u0628\u064A\u062A", arabic.GetString(L"STR_INSTALL"));

  EXPECT_EQ(L"English", pack.Load(1033).GetLanguage());
  EXPECT_EQ(L"English", pack.Load(2057).GetLanguage());  // not listed
  EXPECT_FALSE(pack.Load(2057).IsRightToLeft());
  EXPECT_EQ(L"arabic", pack.Load(1031).GetLanguage());
  EXPECT_FALSE(pack.Load(1031).IsRightToLeft());  // only the exact folder name reads right to left
}

TEST(Texts, PackEntriesOverBuiltInsWithPlaceholdersFilled) {
  Pack pack;
  LanguageManager manager = pack.Load();
  EXPECT_EQ(L"Hide", manager.GetString(L"STR_HIDE"));
  EXPECT_EQ(L"Start Now", manager.GetString(L"STR_START"));  // ordinary space beats the built-in no-break one
  EXPECT_EQ(L"Brenmark Solvetta Setup", manager.GetString(L"STR_MESSAGEBOX_TITLE"));
  EXPECT_EQ(L"Brenmark Solvetta by Brenmark in #55E0FF", manager.GetString(L"STR_EXTRA"));
  EXPECT_EQ(L"I've read and agreed to {c #55E0FF}Brenmark License Agreement{/c}", manager.GetString(L"STR_LISENCE"));
  EXPECT_EQ(L"MB", manager.GetString(L"STR_MB"));
  EXPECT_EQ(L"", manager.GetString(L"STR_NOT_THERE"));
  EXPECT_EQ(L"Start\u00A0Now", pack.Load(1025).GetString(L"STR_START"));

  // Product first, brand last: a product name may carry the brand placeholder, never the other way.
  manager = pack.LoadWithProduct(L"STR_PRODUCT_NAME=BRAND Solvetta\nSTR_BRAND_NAME=PRODUCT\n");
  EXPECT_EQ(L"PRODUCT Solvetta Setup", manager.GetString(L"STR_MESSAGEBOX_TITLE"));
}

TEST(Product, Values) {
  Pack pack;
  LanguageManager shipped = pack.Load();
  EXPECT_EQ(L"Brenmark Solvetta\\Solvetta.exe", shipped.GetProductExePath());
  EXPECT_EQ(L"Brenmark", shipped.GetBrandName());
  EXPECT_FALSE(shipped.IsRunAsAdmin());

  ::DeleteFileW((pack.dir_ / L"productInfo.ini").c_str());
  LanguageManager bare = pack.Load();
  EXPECT_EQ(L"Pelarin", bare.GetBrandName());
  EXPECT_EQ(L"I've read and agreed to {c }Pelarin License Agreement{/c}", bare.GetString(L"STR_LISENCE"));
  EXPECT_TRUE(bare.IsRunAsAdmin());
  EXPECT_EQ(L"", bare.GetProductDir());

  EXPECT_EQ(L"Sub\\", pack.LoadWithProduct(L"STR_DIR1_NAME=\nSTR_DIR2_NAME=Sub\n").GetProductDir());
  EXPECT_EQ(L"Top\\Sub\\", pack.LoadWithProduct(L"STR_DIR1_NAME=Top\nSTR_DIR2_NAME=Sub\n").GetProductDir());
  EXPECT_FALSE(pack.LoadWithProduct(L"STR_RUN_AS_ADMIN = 0 \n").IsRunAsAdmin());
  for (const wchar_t* value : {L"1", L"00", L""})
    EXPECT_TRUE(pack.LoadWithProduct(std::wstring(L"STR_RUN_AS_ADMIN=") + value + L"\n").IsRunAsAdmin());
}

TEST(Addresses, DomainTagAndBitness) {
  Pack pack;
  LanguageManager manager = pack.Load();
  EXPECT_EQ(kLicence, manager.GetLicenceUrl());
  manager.SetDomain(L"com_english");
  EXPECT_EQ(kLicence + std::wstring(L"&custom=com_english"), manager.GetLicenceUrl());
  EXPECT_EQ(L"https://w/i.html", manager.GetInstallUrl());  // no "key=": left alone
  EXPECT_EQ(L"https://dl/x64.exe", manager.GetDownloadUrl(true));
  EXPECT_EQ(L"https://dl/x86.exe", manager.GetDownloadUrl(false));
  EXPECT_EQ(manager.GetDownloadUrl(IsWindows64()), manager.GetDownloadUrl());

  pack.Write(L"English\\UrlInfo.ini", L"[URL]\nSTR_DOWN_URL=https://dl/x86.exe\nSTR_DOWN_URL_X64=\n");
  LanguageManager sparse = pack.Load();
  sparse.SetDomain(L"com_english");
  EXPECT_EQ(L"", sparse.GetLicenceUrl());
  EXPECT_EQ(L"", sparse.GetDownloadUrl(true));  // no fallback to the 32-bit download
}

// Addresses of the shipped pack are filled in only at build time, so they are not looked at here.
TEST(ShippedPack, EveryLanguageCarriesTheSameTexts) {
  std::map<std::wstring, std::wstring> languages;
  ReadProfileSection(kShippedPack + L"language.ini", L"Language", languages);
  ASSERT_EQ(10u, languages.size());
  auto keysOf = [](const std::wstring& folder) {
    std::map<std::wstring, std::wstring> texts;
    ReadProfileSection(kShippedPack + folder + L"\\text.ini", L"LANSTR", texts);
    std::set<std::wstring> keys;
    for (const auto& text : texts)
      if (!text.second.empty()) keys.insert(text.first);
    return keys;
  };
  const std::set<std::wstring> english = keysOf(L"English");
  EXPECT_EQ(28u, english.size());  // 21 window and message texts, 4 default-action names, 3 slide headlines
  for (const auto& language : languages) {
    SCOPED_TRACE(TestSupport::Utf8(language.second));
    LanguageManager manager;
    manager.InitForLanguage(kShippedPack, static_cast<LANGID>(std::stoi(language.first)));
    EXPECT_EQ(language.second, manager.GetLanguage());
    EXPECT_EQ(language.second == L"Arabic", manager.IsRightToLeft());
    std::set<std::wstring> keys = keysOf(language.second);
    EXPECT_EQ(language.second == L"Indonesian" || language.second == L"Swedish", keys.erase(L"STR_MB") == 1);
    EXPECT_EQ(english, keys);
  }
  LanguageManager manager;
  manager.InitForLanguage(kShippedPack, 1033);
  EXPECT_EQ(L"Brenmark Solvetta Setup", manager.GetString(L"STR_MESSAGEBOX_TITLE"));
  EXPECT_NE(std::wstring::npos, manager.GetString(L"STR_LISENCE").find(L"{c #55E0FF}Brenmark"));
}
