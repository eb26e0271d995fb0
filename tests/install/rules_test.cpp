#include <gtest/gtest.h>

#include <windows.h>

#include <netlistmgr.h>
#include <shlobj.h>

#include <climits>
#include <string>

#include "FlowTestSupport.h"
#include "TestSupport.h"
#include "install/InstallFlow.h"
#include "install/Prefetch.h"
#include "install/SilentRun.h"
#include "base/Scoped.h"

using TestSupport::ScratchDir;
using TestSupport::WriteFileBytes;

namespace {

testing::Environment* const g_log = testing::AddGlobalTestEnvironment(new FlowTest::LogEnvironment);

constexpr int kMiB = 1 << 20;

// A drive letter this system does not have.
std::wstring MissingDrive() {
  DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter)
    if (!(drives & (1u << (letter - L'A')))) return std::wstring(1, letter) + L":";
  return L"";
}

}  // namespace

TEST(SpaceRule, NeedsThreeTimesTheInstallerInWholeMebibytes) {
  int size = SizeToMB(300 * kMiB);
  EXPECT_EQ(300, size);
  EXPECT_FALSE(HasRoomFor(size, 899));
  EXPECT_TRUE(HasRoomFor(size, 900));
  EXPECT_EQ(0, SizeToMB(1048575));  // counts as nothing and needs nothing
  EXPECT_TRUE(HasRoomFor(SizeToMB(1048575), 0));
  EXPECT_EQ(1, SizeToMB(kMiB));
  EXPECT_EQ(2047, SizeToMB(INT_MAX));
  EXPECT_FALSE(HasRoomFor(2047, 6140));  // the largest size the engine reports cannot overflow
  EXPECT_TRUE(HasRoomFor(2047, 6141));
  EXPECT_EQ(4097, SizeToMB((4LL << 30) + kMiB));  // past 4 GiB, nothing wraps
  EXPECT_FALSE(HasRoomFor(4097, 12290));
  EXPECT_TRUE(HasRoomFor(4097, 12291));
  EXPECT_EQ(L"Not enough space, need 900 MB", StorageMessage(L"Not enough space, need", 300, L""));
  EXPECT_EQ(L"x 3 Mo", StorageMessage(L"x", 1, L"Mo"));
}

TEST(InstallFolder, GetsItsBackslashAndIsTestedLikeTheFolderItNames) {
  EXPECT_EQ(L"C:\\Program Files (x86)\\", InstallFolderFromText(L"C:\\Program Files (x86)"));
  EXPECT_EQ(L"D:\\Apps\\", InstallFolderFromText(L"D:\\Apps\\"));
  EXPECT_EQ(L"\\", InstallFolderFromText(L""));
  EXPECT_EQ(L"D:", DriveOfFolder(L"D:\\Apps\\"));
  EXPECT_EQ(L"", DriveOfFolder(L"\\\\server\\share\\"));

  ScratchDir dir(L"folder");
  EXPECT_TRUE(IsInstallFolderAccepted(dir.path()));
  EXPECT_TRUE(IsInstallFolderAccepted(dir / L"new\\"));           // the last level is made later
  EXPECT_FALSE(IsInstallFolderAccepted(dir / L"new\\deeper\\"));  // an upper level is missing
  std::wstring drive = MissingDrive();
  ASSERT_FALSE(drive.empty());
  EXPECT_FALSE(IsInstallFolderAccepted(drive + L"\\Apps\\"));

  FlowTest::LogTail log;
  std::wstring folder;
  EXPECT_TRUE(AcceptInstallFolder(dir.path().substr(0, dir.path().size() - 1), folder));
  EXPECT_EQ(dir.path(), folder);
  EXPECT_NE(std::string::npos, log.Text().find("sel path:" + TestSupport::Utf8(dir.path())));
}

// What the folder chooser returns: "This PC" has no file-system path and leaves the folder as it was
// (with a log line); a real folder gives its path.
TEST(InstallFolder, AChosenItemWithoutAFileSystemPathKeepsTheFolder) {
  Scoped::CoTaskMemFree thisPc;
  ASSERT_EQ(S_OK,
            ::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, reinterpret_cast<PIDLIST_ABSOLUTE*>(thisPc.put())));
  FlowTest::LogTail log;
  std::wstring path = L"D:\\Apps\\";
  EXPECT_FALSE(ChosenFolderPath(static_cast<PCIDLIST_ABSOLUTE>(thisPc.get()), path));
  EXPECT_EQ(L"D:\\Apps\\", path);
  EXPECT_NE(std::string::npos, log.Text().find("ERR:BrowseInstallFolder")) << log.Text();
  EXPECT_FALSE(ChosenFolderPath(nullptr, path));
  EXPECT_EQ(L"D:\\Apps\\", path);

  ScratchDir dir(L"chosen");
  Scoped::CoTaskMemFree folder(::ILCreateFromPathW(dir.path().c_str()));
  ASSERT_TRUE(folder);
  EXPECT_TRUE(ChosenFolderPath(static_cast<PCIDLIST_ABSOLUTE>(folder.get()), path));
  EXPECT_EQ(dir.path().substr(0, dir.path().size() - 1), path);
}

TEST(DownloadProgress, FillsTheDownloadShareAndNeverGoesBack) {
  CDownloadProgress progress;
  EXPECT_EQ(0, progress.Map(0, 1000, 90));
  EXPECT_EQ(44, progress.Map(499, 1000, 90));  // 44.91, truncated
  // A retried range lowers the downloader's count; the bar moves up by 10 bytes instead.
  EXPECT_EQ(45, progress.Map(100, 1000, 90));
  EXPECT_EQ(509, progress.LastBytes());
  EXPECT_EQ(90, progress.Map(5000, 1000, 90));  // never past the file size
  EXPECT_EQ(1000, progress.LastBytes());
  progress.Reset();
  EXPECT_EQ(0, progress.LastBytes());
  EXPECT_EQ(0, progress.Map(10, 0, 90));  // an unknown size shows nothing instead of dividing by zero
}

TEST(DownloadOutcome, OnlyZeroSucceeds) {
  EXPECT_EQ(kOutcome_Success, OutcomeOfResult(0));
  for (int result : {-1, -3, -4, 1})
    EXPECT_EQ(kOutcome_Failed, OutcomeOfResult(result)) << result;  // -1 is no longer a dead end
}

TEST(ProgressFile, ParsesTheStartAndMapsItOntoTheLastTenPercent) {
  EXPECT_EQ(90, InstallPercent(90, 0));
  EXPECT_EQ(93, InstallPercent(90, 37));
  EXPECT_EQ(95, InstallPercent(90, 50));
  EXPECT_EQ(99, InstallPercent(90, 99));
  EXPECT_EQ(100, InstallPercent(90, 100));
  EXPECT_EQ(105, InstallPercent(90, 150));  // not limited
  EXPECT_EQ(85, InstallPercent(90, -50));
  EXPECT_EQ(214748454, InstallPercent(90, LONG_MAX));  // computed without overflowing
  EXPECT_EQ(37, ParseProgressText(" \t37abc"));
  EXPECT_EQ(-4, ParseProgressText("-4"));
  EXPECT_EQ(0, ParseProgressText("junk"));

  ScratchDir dir(L"progress");
  const std::wstring file = dir / L"temp.progress";
  int percent = -1;
  EXPECT_FALSE(ProgressFilePercent(file, 90, percent));  // missing: the display keeps its value
  EXPECT_EQ(-1, percent);
  struct Case {
    std::string text;
    int shown;
  };
  for (const Case& c : {Case{"37\r\n", 93}, Case{"150", 105}, Case{"junk", 90}, Case{"", 90}, Case{"100\r\n", 100},
                        Case{std::string(10, ' ') + "42", 90},  // only 10 bytes count
                        Case{"9999999999", 214748454}}) {
    ASSERT_TRUE(WriteFileBytes(file, c.text));
    ASSERT_TRUE(ProgressFilePercent(file, 90, percent)) << c.text;
    EXPECT_EQ(c.shown, percent) << c.text;
  }
  DeleteStaleProgressFile(file);
  EXPECT_FALSE(TestSupport::IsFile(file));
}

// Plain HTTP after a failed HTTPS attempt only where a digest names the one file that may run; a
// publisher's name, with or without its certificate, names every file that certificate signed.
TEST(PayloadPolicy, OnlyADigestAllowsPlainHttp) {
  const std::wstring digest = L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  const PublisherPin name{L"Pelarin Test Publisher", L""};
  const PublisherPin nameAndCertificate{L"Pelarin Test Publisher", std::wstring(64, L'c')};
  const struct {
    std::wstring sha256;
    PublisherPin publisher;
    const wchar_t* policy;
    bool secureOnly;
  } cases[] = {
      {digest, {}, L"digest", false},
      {digest, name, L"digest+publisher", false},
      {digest, nameAndCertificate, L"digest+publisher+certificate", false},
      {L"", name, L"publisher", true},
      {L"", nameAndCertificate, L"publisher+certificate", true},
      {L"", {L"", std::wstring(64, L'c')}, L"publisher+certificate", true},
      {L"", {}, L"none", true},
      {L"not a digest", name, L"digest+publisher", true},  // names no file: refuses every one, HTTPS only
  };
  for (const auto& pins : cases) {
    InstallFlowSettings settings;
    settings.payloadSha256 = pins.sha256;
    settings.payloadPublisher = pins.publisher;
    SCOPED_TRACE(TestSupport::Utf8(pins.policy));
    EXPECT_EQ(pins.policy, settings.PayloadPolicy());
    EXPECT_EQ(pins.secureOnly, settings.SecureOnly());
  }
}

// A connection with a price per byte, roaming, or at or near its data limit is metered; an unrestricted
// one is not, and neither is one whose cost Windows cannot tell.
TEST(Prefetch, StaysOffAMeteredConnection) {
  struct Case {
    DWORD cost;
    bool metered;
  };
  for (const Case& c : {Case{NLM_CONNECTION_COST_UNKNOWN, false}, Case{NLM_CONNECTION_COST_UNRESTRICTED, false},
                        Case{NLM_CONNECTION_COST_UNRESTRICTED | NLM_CONNECTION_COST_CONGESTED, false},
                        Case{NLM_CONNECTION_COST_FIXED, true}, Case{NLM_CONNECTION_COST_VARIABLE, true},
                        Case{NLM_CONNECTION_COST_UNRESTRICTED | NLM_CONNECTION_COST_ROAMING, true},
                        Case{NLM_CONNECTION_COST_FIXED | NLM_CONNECTION_COST_APPROACHINGDATALIMIT, true},
                        Case{NLM_CONNECTION_COST_UNRESTRICTED | NLM_CONNECTION_COST_OVERDATALIMIT, true}}) {
    EXPECT_EQ(c.metered, IsMeteredCost(c.cost)) << std::hex << c.cost;
  }
}
