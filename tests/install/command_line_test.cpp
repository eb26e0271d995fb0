// The command line of unattended installs: what each form of each switch gives, and what is refused.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "install/CommandLine.h"

using TestSupport::Utf8;

namespace {

struct Case {
  const wchar_t* line;
  RunMode mode;
  const wchar_t* dir;  // as given (the test's current folder is not a drive root, so only full paths)
  const wchar_t* log;
  LANGID language;
  bool usage;
  const char* error;  // a part of the refusal; null: accepted
};

const Case kCases[] = {
    {L"", RunMode::kInteractive, L"", L"", 0, false, nullptr},
    {L"   ", RunMode::kInteractive, L"", L"", 0, false, nullptr},
    {L"/quiet", RunMode::kQuiet, L"", L"", 0, false, nullptr},
    {L"-QUIET", RunMode::kQuiet, L"", L"", 0, false, nullptr},
    {L"/Passive /passive", RunMode::kPassive, L"", L"", 0, false, nullptr},
    {L"/?", RunMode::kInteractive, L"", L"", 0, true, nullptr},
    {L"/dir=\"C:\\Program Files\\App\\\" /quiet", RunMode::kQuiet, L"C:\\Program Files\\App\\", L"", 0, false, nullptr},
    {L"\"/dir=C:\\My Apps\" /passive", RunMode::kPassive, L"C:\\My Apps", L"", 0, false, nullptr},
    {L"/dir:D:\\x /log \"C:\\logs\\setup one.log\"", RunMode::kInteractive, L"D:\\x", L"C:\\logs\\setup one.log", 0,
     false, nullptr},
    {L"/lang=1031", RunMode::kInteractive, L"", L"", 0x0407, false, nullptr},
    {L"-lang:0x0401", RunMode::kInteractive, L"", L"", 0x0401, false, nullptr},
    {L"/lang=132097", RunMode::kInteractive, L"", L"", 0x0401, false, nullptr},  // a sort id above the language
    {L"/quiet /passive", RunMode::kQuiet, L"", L"", 0, false, "only one of /quiet and /passive"},
    {L"/silent", RunMode::kInteractive, L"", L"", 0, false, "unknown switch /silent"},
    {L"quiet", RunMode::kInteractive, L"", L"", 0, false, "\"quiet\" is not a switch"},
    {L"/quiet=yes", RunMode::kInteractive, L"", L"", 0, false, "/quiet=yes takes no value"},
    {L"/dir", RunMode::kInteractive, L"", L"", 0, false, "/dir needs a value"},
    {L"/dir= /quiet", RunMode::kInteractive, L"", L"", 0, false, "/dir= needs a value"},
    {L"/dir=C:\\a /dir=C:\\b", RunMode::kInteractive, L"C:\\a", L"", 0, false, "/dir is given twice"},
    {L"/dir=C:\\a*b", RunMode::kInteractive, L"", L"", 0, false, "is not a usable path"},
    {L"/lang=German", RunMode::kInteractive, L"", L"", 0, false, "is not a language id"},
    {L"/lang=0", RunMode::kInteractive, L"", L"", 0, false, "is not a language id"},
    {L"/lang=99999999999", RunMode::kInteractive, L"", L"", 0, false, "is not a language id"},
};

}  // namespace

TEST(CommandLine, EachFormIsReadOrRefused) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Utf8(c.line));
    SetupOptions options = ParseCommandLine(c.line);
    if (c.error) {
      EXPECT_NE(std::string::npos, Utf8(options.error).find(c.error)) << Utf8(options.error);
      continue;
    }
    EXPECT_EQ("", Utf8(options.error));
    EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(options.mode));
    EXPECT_EQ(Utf8(c.dir), Utf8(options.installDir));
    EXPECT_EQ(Utf8(c.log), Utf8(options.logCopy));
    EXPECT_EQ(c.language, options.language);
    EXPECT_EQ(c.usage, options.showUsage);
  }
}

// Relative paths are made full against the current folder, as the tool that started the program means.
TEST(CommandLine, RelativePathsAreTakenFromTheCurrentFolder) {
  TestSupport::ScratchDir scratch(L"cmdline");
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(scratch.path().c_str()));
  SetupOptions options = ParseCommandLine(L"/log=logs\\setup.log /dir=..\\App");
  ::SetCurrentDirectoryW(previous);
  std::wstring parent = scratch.path().substr(0, scratch.path().find_last_of(L'\\', scratch.path().size() - 2) + 1);
  EXPECT_EQ(Utf8(scratch / L"logs\\setup.log"), Utf8(options.logCopy));
  EXPECT_EQ(Utf8(parent + L"App"), Utf8(options.installDir));
}

// A folder the folder field would refuse is an error, not a fallback; one whose parent exists is fine.
TEST(CommandLine, AnInstallFolderOnAMissingDriveIsRefused) {
  TestSupport::ScratchDir scratch(L"cmdline");
  SetupOptions fine = ParseCommandLine((L"/dir=\"" + (scratch / L"New Folder") + L"\"").c_str());
  CheckOptionsOnDisk(fine);
  EXPECT_EQ("", Utf8(fine.error));
  SetupOptions missing = ParseCommandLine(L"/dir=Q:\\Apps\\x");
  CheckOptionsOnDisk(missing);
  EXPECT_NE(std::string::npos, Utf8(missing.error).find("cannot be installed into")) << Utf8(missing.error);
}
