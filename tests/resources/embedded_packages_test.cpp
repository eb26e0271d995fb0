#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "language/LanguageManager.h"
#include "resources/EmbeddedPackages.h"
#include "res/resource.h"
#include "trust/FileDigest.h"
#include "base/Scoped.h"
#include "toolkit/skin/ZipArchive.h"

using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;

namespace {

using TestSupport::BuildFile;

std::wstring TagOf(const std::string& bytes) {
  return DomainTagFromText(DomainTextFromBytes(bytes.data(), bytes.size()));
}

// The loopback program loaded for its resources only.
class BuiltProgram : public testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryExW(BuildFile(L"setup-loopback.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_) << ::GetLastError();
  }
  Scoped::FreeLibrary module_;
};

}  // namespace

TEST(DomainTag, TakesAtMost255BytesBeforeTheFirstZeroWithoutCrLfPairs) {
  EXPECT_EQ(TagOf("com_english\r\n"), L"com_english");
  EXPECT_EQ(TagOf("abc\n"), L"abc\n");
  EXPECT_EQ(TagOf("a\r\r\nb\r\n\r\n"), L"a\rb");
  EXPECT_EQ(TagOf(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(TagOf(std::string(255, 'x')), std::wstring(255, L'x'));
  EXPECT_EQ(TagOf(std::string(5000, 'z')), std::wstring(255, L'z'));
  EXPECT_EQ(TagOf(std::string(254, 'w') + "\r\n"), std::wstring(254, L'w') + L"\r");  // the cut splits the pair
}

TEST(DomainFile, WritesJustTheTagBytesAndNothingForAnEmptyTag) {
  ScratchDir scratch(L"domain");
  WriteDomainFile(L"", scratch.path());
  EXPECT_FALSE(IsFile(scratch / L"domain"));
  WriteDomainFile(L"com_english_and_a_longer_tail", scratch.path());
  WriteDomainFile(L"com_english", scratch.path());
  EXPECT_EQ(ReadFileBytes(scratch / L"domain"), "com_english");
  WriteDomainFile(L"", scratch.path());
  EXPECT_EQ(ReadFileBytes(scratch / L"domain"), "com_english");
  WriteDomainFile(L"com_english", scratch / L"missing\\");
  EXPECT_FALSE(IsFile(scratch / L"missing\\domain"));
}

TEST_F(BuiltProgram, CarriesTheSkinThePackAndTheDomain) {
  const void* data = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(LoadResourceBytes(module_.get(), L"ZIPRES", IDR_SKIN_ZIP, data, size));
  EXPECT_TRUE(SkinUI::CZipArchive().Open(data, size));
  ASSERT_TRUE(LoadResourceBytes(module_.get(), RT_RCDATA, IDR_LANGUAGE_ZIP, data, size));
  EXPECT_EQ(std::string(static_cast<const char*>(data), size),
            ReadFileBytes(BuildFile(L"packages/language-loopback.zip")));
  EXPECT_FALSE(LoadResourceBytes(module_.get(), RT_RCDATA, 999, data, size));
  EXPECT_EQ(data, nullptr);

  EXPECT_EQ(ReadDomainTag(module_.get()), L"com_english");
  LanguageManager language;
  LoadDomainFile(module_.get(), language);
  EXPECT_EQ(language.GetDomain(), L"com_english");
}

namespace {

// Checks every entry of the loopback pack against its copy in `pack`; the number of files checked.
int ExpectWholePack(const std::wstring& pack) {
  SkinUI::CZipArchive archive;
  EXPECT_TRUE(archive.OpenFile(BuildFile(L"packages/language-loopback.zip")));
  int files = 0;
  for (int i = 0; i < archive.GetEntryCount(); ++i) {
    std::wstring path = pack + archive.GetEntryInfo(i)->name;
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(archive.ReadEntry(i, bytes));
    if (archive.GetEntryInfo(i)->isFolder) {
      EXPECT_TRUE(TestSupport::IsFolder(path)) << TestSupport::Utf8(path);
    } else {
      EXPECT_EQ(ReadFileBytes(path), std::string(bytes.begin(), bytes.end())) << TestSupport::Utf8(path);
      ++files;
    }
  }
  return files;
}

}  // namespace

TEST_F(BuiltProgram, UnpacksTheLanguagePackEntryForEntry) {
  ScratchDir scratch(L"pack");
  const std::wstring pack = scratch / L"pelarin_down\\setup\\pack\\";
  ASSERT_TRUE(LoadResZipFile(module_.get(), pack));
  EXPECT_TRUE(IsFile(BannerPicturePath(pack, L"Swedish", 3)));
  // ten languages of eight files (texts, addresses, three slides and the same at 2x), language.ini and
  // productInfo.ini
  EXPECT_EQ(ExpectWholePack(pack), 82);
}

// Before the window only the settings and the chosen language's texts come out (the folder named in
// any case); the rest brings every other entry, so the three parts together are the whole pack.
TEST_F(BuiltProgram, UnpacksThePackInThreePartsThatMakeTheWhole) {
  ScratchDir scratch(L"pack");
  const std::wstring pack = scratch / L"pack\\";
  ASSERT_TRUE(LoadResZipSettings(module_.get(), pack));
  EXPECT_TRUE(IsFile(pack + L"language.ini") && IsFile(pack + L"productInfo.ini"));
  EXPECT_FALSE(TestSupport::IsFolder(pack + L"English"));
  ASSERT_TRUE(LoadResZipLanguage(module_.get(), pack, L"arabic"));
  EXPECT_TRUE(IsFile(pack + L"Arabic\\text.ini") && IsFile(pack + L"Arabic\\UrlInfo.ini"));
  EXPECT_FALSE(IsFile(BannerPicturePath(pack, L"Arabic", 1)));
  EXPECT_FALSE(TestSupport::IsFolder(pack + L"English"));
  ASSERT_TRUE(LoadResZipRest(module_.get(), pack, L"arabic"));
  EXPECT_TRUE(IsFile(BannerPicturePath(pack, L"Arabic", 1)));
  EXPECT_EQ(ExpectWholePack(pack), 82);
}

// The loopback pack pins the signed sample installer twice: its digest and the test publisher that
// signed it.
TEST_F(BuiltProgram, LoopbackPackExpectsTheSampleInstallersDigestAndSignerInEveryLanguage) {
  ScratchDir scratch(L"pack");
  const std::wstring pack = scratch / L"pack\\";
  ASSERT_TRUE(LoadResZipFile(module_.get(), pack));
  std::string sample;
  ASSERT_TRUE(FileDigest::Sha256File(BuildFile(L"tests/fixtures/SampleInstaller.exe"), sample));
  for (const wchar_t* language : {L"English", L"Arabic", L"Chinese", L"Japanese", L"Swedish"}) {
    std::wstring ini = pack + language + L"\\UrlInfo.ini";
    for (const wchar_t* key : {L"STR_DOWN_SHA256", L"STR_DOWN_SHA256_X64"}) {
      wchar_t value[128] = {};
      ::GetPrivateProfileStringW(L"URL", key, L"", value, 128, ini.c_str());
      EXPECT_TRUE(FileDigest::Sha256Equal(value, sample)) << TestSupport::Utf8(ini);
    }
    for (const wchar_t* key : {L"STR_DOWN_PUBLISHER", L"STR_DOWN_PUBLISHER_X64"}) {
      wchar_t value[128] = {};
      ::GetPrivateProfileStringW(L"URL", key, L"", value, 128, ini.c_str());
      EXPECT_EQ(std::wstring(SETUP_TEST_PUBLISHER), value) << TestSupport::Utf8(ini);
    }
  }
}

TEST(EmbeddedResources, ModuleWithoutThemYieldsNothing) {
  ScratchDir scratch(L"pack");
  HMODULE self = ::GetModuleHandleW(nullptr);
  EXPECT_FALSE(LoadResZipFile(self, scratch / L"pack\\"));
  EXPECT_EQ(ReadDomainTag(self), L"");
  LanguageManager language;
  language.SetDomain(L"before");
  LoadDomainFile(self, language);
  EXPECT_EQ(language.GetDomain(), L"");
}
