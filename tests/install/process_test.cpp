#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "FlowTestSupport.h"
#include "TestSupport.h"
#include "install/SilentRun.h"
#include "install/SingleInstance.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"

using FlowTest::BuildFile;
using TestSupport::ScratchDir;

namespace {

// Starts `program` with `arguments`; the process handle, empty when it could not start.
Scoped::CloseHandle Start(const std::wstring& program, const std::wstring& arguments) {
  std::wstring line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return {};
  Scoped::CloseHandle thread(info.hThread);
  return Scoped::CloseHandle(info.hProcess);
}

DWORD ExitCodeAfter(const Scoped::CloseHandle& process, DWORD ms) {
  if (::WaitForSingleObject(process.get(), ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

bool WaitForProcess(const std::wstring& name, DWORD& pid, DWORD ms) {
  for (DWORD waited = 0; waited <= ms; waited += 50, ::Sleep(50))
    if (FindProcess(name, pid)) return true;
  return false;
}

// A copy of the instance probe under `name` in `dir`.
std::wstring ProbeCopy(const ScratchDir& dir, const std::wstring& name) {
  std::wstring path = dir / name;
  ::CopyFileW(BuildFile(L"tests/install/InstanceProbe.exe").c_str(), path.c_str(), FALSE);
  return path;
}

}  // namespace

TEST(SilentRunHelper, KillsTheInstallersHelperProcess) {
  ScratchDir dir(L"helper");
  std::wstring helper = dir / L"pelarin-download.tmp";
  ASSERT_TRUE(::CopyFileW(BuildFile(L"tests/install/SleepyChild.exe").c_str(), helper.c_str(), FALSE));
  DWORD pid = 0;
  ASSERT_FALSE(FindProcess(L"pelarin-download.tmp", pid));
  Scoped::CloseHandle process = Start(helper, L"60000");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitForProcess(L"pelarin-download.tmp", pid, 5000));
  FlowTest::LogTail log;
  EXPECT_TRUE(KillSilentInstallProcess());
  EXPECT_EQ(0u, ExitCodeAfter(process, 5000));  // ended by us, not by its own exit code 7
  EXPECT_NE(std::string::npos, log.Text().find("KillSilentInstallProcess"));
  process.reset();
  for (int i = 0; i < 100 && FindProcess(L"pelarin-download.tmp", pid); ++i) ::Sleep(50);
  EXPECT_FALSE(KillSilentInstallProcess());
}

TEST(SilentRunHelper, CreatesTheWholeProductFolder) {
  ScratchDir dir(L"product");
  std::wstring folder = dir / L"Apps\\Brenmark Solvetta\\";
  CreateProductFolder(folder);
  EXPECT_TRUE(TestSupport::IsFolder(folder));
  CreateProductFolder(folder);  // an existing folder is fine
  EXPECT_TRUE(TestSupport::IsFolder(folder));
}

// Without the system's scheduler library (Wine has none) the product still starts, and the log says
// how; with our own rights it starts as it is.
TEST(StartProduct, StartsTheProductAndLogsTheRoute) {
  ScratchDir dir(L"start");
  std::wstring product = dir / L"Solvetta.exe";
  ASSERT_TRUE(::CopyFileW(BuildFile(L"tests/install/SleepyChild.exe").c_str(), product.c_str(), FALSE));
  for (bool asAdmin : {false, true}) {
    FlowTest::LogTail log;
    ASSERT_TRUE(StartProductProcess(product, asAdmin)) << asAdmin;
    DWORD pid = 0;
    ASSERT_TRUE(WaitForProcess(L"Solvetta.exe", pid, 5000)) << asAdmin;
    EXPECT_TRUE(KillProcess(pid));
    std::string text = log.Text();
    if (asAdmin) {
      EXPECT_NE(std::string::npos, text.find("StartProduct by own rights")) << text;
    } else if (IsProcessElevated()) {  // as under Wine: never directly with our rights
      EXPECT_TRUE(text.find("StartProduct by desktop shell") != std::string::npos ||
                  text.find("StartProduct by task scheduler") != std::string::npos)
          << text;
    }
    for (int i = 0; i < 100 && FindProcess(L"Solvetta.exe", pid); ++i) ::Sleep(50);
  }
  FlowTest::LogTail log;
  EXPECT_FALSE(StartProductProcess(dir / L"absent.exe", false));
  EXPECT_NE(std::string::npos, log.Text().find("ERR:StartProduct")) << log.Text();
}

// A second copy of the same file ends at once with -1 while the first runs; a copy under another
// name runs beside it; once the first has ended the same name runs again.
TEST(SingleInstance, OneCopyPerProgramFileName) {
  ScratchDir dir(L"instance");
  std::wstring first = ProbeCopy(dir, L"Install.beta.exe");
  std::wstring renamed = ProbeCopy(dir, L"Install.beta (1).exe");
  Scoped::CloseHandle holder = Start(first, L"20000");
  ASSERT_TRUE(holder);
  for (int i = 0; i < 100 && !Scoped::CloseHandle(::OpenMutexW(SYNCHRONIZE, FALSE, L"Install.beta")); ++i) ::Sleep(50);
  Scoped::CloseHandle second = Start(first, L"0");
  EXPECT_EQ(static_cast<DWORD>(-1), ExitCodeAfter(second, 10000));
  Scoped::CloseHandle other = Start(renamed, L"0");
  EXPECT_EQ(0u, ExitCodeAfter(other, 10000));
  ScratchDir lower(L"instance");
  Scoped::CloseHandle otherCase = Start(ProbeCopy(lower, L"install.beta.exe"), L"0");
  EXPECT_EQ(0u, ExitCodeAfter(otherCase, 10000));                         // mutex names differ by case
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), ExitCodeAfter(holder, 0));  // the first copy is unaffected
  ::TerminateProcess(holder.get(), 0);
  ::WaitForSingleObject(holder.get(), 5000);
  Scoped::CloseHandle again = Start(first, L"0");
  EXPECT_EQ(0u, ExitCodeAfter(again, 10000));
}
