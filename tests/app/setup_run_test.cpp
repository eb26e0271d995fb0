#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "tool/SystemInfo.h"

using TestSupport::IsFile;
using TestSupport::IsFolder;
using TestSupport::ReadFileBytes;

namespace {

// The build folder as Wine sees it (the Unix root is drive Z:).
std::wstring BuildDir() {
  std::wstring dir = L"Z:" + TestSupport::Wide(SETUP_BINARY_DIR) + L"\\";
  for (auto& c : dir) {
    if (c == L'/') c = L'\\';
  }
  return dir;
}

std::wstring WorkDirFor(const std::wstring& baseName) { return GetProgramFilesDir() + L"pelarin_down\\" + baseName + L"\\"; }

int RunInstaller(const std::wstring& exe) { return TestSupport::RunProcess(L"\"" + exe + L"\"", 120000); }

const wchar_t* const kLanguages[] = {L"Arabic",     L"Chinese",  L"ChineseTW", L"English", L"French",
                                     L"Indonesian", L"Japanese", L"Korean",    L"Spanish", L"Swedish"};
const wchar_t* const kLanguageFiles[] = {L"pr_1.png", L"pr_2.png", L"pr_3.png", L"text.ini", L"UrlInfo.ini"};

// A copy of the loopback installer under another file name, in a scratch folder, so each test owns
// its work folder (named after the program file) and can start from nothing.
class InstallerCopy {
 public:
  explicit InstallerCopy(const std::wstring& fileName) : path_(folder_ / fileName) {
    ::CopyFileW((BuildDir() + L"setup-loopback.exe").c_str(), path_.c_str(), FALSE);
    std::wstring base = fileName.substr(0, fileName.find_last_of(L'.'));
    workDir_ = WorkDirFor(base);
    TestSupport::RemoveTree(workDir_);
  }
  ~InstallerCopy() { TestSupport::RemoveTree(workDir_); }
  const std::wstring& path() const { return path_; }
  const std::wstring& workDir() const { return workDir_; }
  std::wstring pack() const { return workDir_ + L"language\\"; }
  std::string log() const { return ReadFileBytes(workDir_ + L"Log\\pelarin_down.log"); }

 private:
  TestSupport::ScratchDir folder_{L"app"};
  std::wstring path_;
  std::wstring workDir_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(SetupRun, FirstStartUnpacksThePackAndLogsTheStartUpFacts) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(RunInstaller(installer.path()), 0);

  EXPECT_TRUE(IsFile(installer.pack() + L"language.ini"));
  EXPECT_TRUE(IsFile(installer.pack() + L"productInfo.ini"));
  for (const wchar_t* language : kLanguages) {
    for (const wchar_t* file : kLanguageFiles) {
      EXPECT_TRUE(IsFile(installer.pack() + language + L"\\" + file)) << TestSupport::Utf8(file);
    }
  }

  std::string log = installer.log();
  for (const char* line : {"LoadResZipFile", "Language Code:", "LoadDomainFile", "Domain:com_english\r\n",
                           "Windows Version:", "Windows Bit:x64", "downloader version:1.0.0.1",
                           "DownloadRatio:90  ==== ReadFileTimeout:1500"}) {
    EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
  }
  // Start-up order: the pack is unpacked before the language is chosen, the site tag read after.
  EXPECT_LT(log.find("LoadResZipFile"), log.find("Language Code:"));
  EXPECT_LT(log.find("Language Code:"), log.find("LoadDomainFile"));
}

TEST(SetupRun, TheLoopbackPackPointsEveryAddressAtLocalhost) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(RunInstaller(installer.path()), 0);
  std::string urls = ReadFileBytes(installer.pack() + L"English\\UrlInfo.ini");
  ASSERT_GE(urls.size(), 2u);
  std::wstring text(reinterpret_cast<const wchar_t*>(urls.data() + 2), (urls.size() - 2) / 2);
  EXPECT_NE(text.find(L"STR_DOWN_URL=https://localhost/solvetta/brenmark-solvetta_setup_x64.exe\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"STR_LICENCE_URL=https://localhost/producturl?key=license_agreement&lang=English&pid=2100\r\n"),
            std::wstring::npos);
  EXPECT_EQ(text.find(L"@"), std::wstring::npos);
}

TEST(SetupRun, ASecondStartRewritesThePackAndKeepsForeignFiles) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(RunInstaller(installer.path()), 0);
  std::wstring text = installer.pack() + L"English\\text.ini";
  std::string original = ReadFileBytes(text);
  ASSERT_FALSE(original.empty());
  ASSERT_TRUE(TestSupport::WriteFileBytes(text, "damaged"));
  ASSERT_TRUE(TestSupport::WriteFileBytes(installer.pack() + L"notes.txt", "mine"));

  ASSERT_EQ(RunInstaller(installer.path()), 0);
  EXPECT_EQ(ReadFileBytes(text), original);
  EXPECT_EQ(ReadFileBytes(installer.pack() + L"notes.txt"), "mine");
  // The log is appended to, not replaced.
  std::string log = installer.log();
  EXPECT_NE(log.find("LoadResZipFile"), log.rfind("LoadResZipFile"));
}

TEST(SetupRun, TheWorkFolderIsNamedAfterTheProgramFileUpToItsLastDot) {
  InstallerCopy installer(L"Install.beta.exe");
  ASSERT_EQ(RunInstaller(installer.path()), 0);
  EXPECT_TRUE(IsFolder(WorkDirFor(L"Install.beta") + L"language"));
  EXPECT_TRUE(IsFile(WorkDirFor(L"Install.beta") + L"Log\\pelarin_down.log"));
}
