#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "trust/HeldFile.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"

using TestSupport::ExeDir;
using TestSupport::ScratchDir;

namespace {

const wchar_t kSleepy[] = L"SleepyChild.exe";

Scoped::CloseHandle StartSleepy(const std::wstring& arguments, DWORD& pid) {
  std::wstring line = L"\"" + ExeDir() + kSleepy + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return {};
  Scoped::CloseHandle thread(info.hThread);
  pid = info.dwProcessId;
  return Scoped::CloseHandle(info.hProcess);
}

bool SleepyRuns(DWORD& pid, DWORD ms) {
  for (DWORD waited = 0; waited <= ms; waited += 100, ::Sleep(100))
    if (FindProcess(kSleepy, pid)) return true;
  return false;
}

std::wstring SampleInstallerPath() {
  return L"Z:" + TestSupport::Wide(SETUP_BINARY_DIR) + L"\\tests\\fixtures\\SampleInstaller.exe";
}

bool SystemHasWdc() {
  return static_cast<bool>(Scoped::FreeLibrary(::LoadLibraryExW(L"wdc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)));
}

}  // namespace

TEST(Processes, FindByExactNameAndKill) {
  DWORD pid = 0, found = 0;
  Scoped::CloseHandle child = StartSleepy(L"", pid);
  ASSERT_TRUE(child);
  ASSERT_TRUE(SleepyRuns(found, 5000));
  EXPECT_EQ(pid, found);
  DWORD untouched = 12345;
  EXPECT_FALSE(FindProcess(L"sleepychild.exe", untouched));  // case matters
  EXPECT_FALSE(FindProcess(L"SleepyChild", untouched));
  EXPECT_FALSE(FindProcess(std::wstring(300, L'S'), untouched));
  EXPECT_EQ(12345u, untouched);

  EXPECT_TRUE(KillProcess(pid));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.get(), 5000));
  DWORD code = 7;
  ::GetExitCodeProcess(child.get(), &code);
  EXPECT_EQ(0u, code);  // ended by us, not by its own exit code 7
}

// The product's executable name may be long; a running program whose name merely starts with the
// same 63 characters is not the product and must not be found (the caller would end it).
TEST(Processes, ALongNameMustMatchWhole) {
  ScratchDir dir(L"longname");
  const std::wstring shortName = std::wstring(59, L'p') + L".exe";  // 63 characters
  ASSERT_TRUE(::CopyFileW((ExeDir() + kSleepy).c_str(), (dir / shortName).c_str(), FALSE));
  std::wstring line = L"\"" + (dir / shortName) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  Scoped::CloseHandle process(info.hProcess), thread(info.hThread);
  DWORD found = 0;
  for (int i = 0; i < 50 && !FindProcess(shortName, found); ++i) ::Sleep(100);
  EXPECT_EQ(info.dwProcessId, found);
  DWORD untouched = 12345;
  EXPECT_FALSE(FindProcess(shortName + L".product.exe", untouched));
  EXPECT_EQ(12345u, untouched);
  ::TerminateProcess(process.get(), 0);
  ::WaitForSingleObject(process.get(), 5000);
}

TEST(Processes, KillOfAnEndedProcessFails) {
  DWORD pid = 0;
  Scoped::CloseHandle child = StartSleepy(L"0", pid);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.get(), 10000));
  child.reset();  // while a handle is open the id still names the ended process
  // Wine keeps an ended process reachable by id for about half a second after its last handle closed.
  for (int i = 0; i < 100 && Scoped::CloseHandle(::OpenProcess(SYNCHRONIZE, FALSE, pid)); ++i) ::Sleep(50);
  EXPECT_FALSE(KillProcess(pid));
}

TEST(FileExists, OnlyReadableFiles) {
  ScratchDir dir;
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"present.txt", "x"));
  EXPECT_TRUE(FileExists(dir / L"present.txt"));
  EXPECT_FALSE(FileExists(dir / L"missing.txt"));
  EXPECT_FALSE(FileExists(dir.path()));
  Scoped::CloseFile locked(
      ::CreateFileW((dir / L"present.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(FileExists(dir / L"present.txt"));
}

TEST(SilentInstaller, WaitsForTheInstallerAndPassesExactlyTheArguments) {
  EXPECT_EQ(L" /verysilent /pelarin_down /wait_run /path=\"D:\\Apps\\\" /progress=\"C:\\t\\p.txt\"",
            BuildSilentCommandLine(L"D:\\Apps\\", L"C:\\t\\p.txt"));
  // The sample full installer refuses any other command line, reports in steps, leaves its helper
  // process running and installs the product only at its end.
  ScratchDir dir;
  std::wstring folder = dir / L"Apps\\";
  std::wstring progress = dir / L"temp.progress";
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  ASSERT_TRUE(RunSilentInstaller(SampleInstallerPath(), folder, progress));
  std::wstring product = folder + L"Brenmark Solvetta\\";
  EXPECT_EQ(TestSupport::Utf8(BuildSilentCommandLine(folder, progress)),
            TestSupport::ReadFileBytes(product + L"install-command-line.txt"));
  EXPECT_TRUE(TestSupport::IsFile(product + L"Solvetta.exe"));
  EXPECT_EQ("100\r\n", TestSupport::ReadFileBytes(progress));
  DWORD helper = 0;
  ASSERT_TRUE(FindProcess(L"pelarin-download.tmp", helper));
  EXPECT_TRUE(KillProcess(helper));
  EXPECT_FALSE(RunSilentInstaller(dir / L"absent.exe", folder, progress));
}

// The downloaded installer stays held from its check to its start: starting a program opens its file
// for reading and execution with reading shared, which the hold allows. The real sample installer
// starts from a held copy and installs.
TEST(SilentInstaller, StartsWhileItsFileIsHeld) {
  ScratchDir dir;
  const std::wstring installer = dir / L"pelarin-download.exe";
  ASSERT_TRUE(::CopyFileW(SampleInstallerPath().c_str(), installer.c_str(), FALSE));
  const std::wstring folder = dir / L"Apps\\";
  const std::wstring progress = dir / L"temp.progress";
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  HeldFile held(installer);
  ASSERT_TRUE(held.IsHeld());
  Scoped::CloseHandle process = StartSilentInstaller(installer, folder, progress);
  ASSERT_TRUE(process) << ::GetLastError();
  held.Release();
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 30000));
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(TestSupport::IsFile(folder + L"Brenmark Solvetta\\Solvetta.exe"));
  DWORD helper = 0;
  if (FindProcess(L"pelarin-download.tmp", helper)) KillProcess(helper);
}

TEST(LaunchProduct, AsAdminStartsTheProgramAsItIs) {
  EXPECT_EQ(kLaunchRoute_Elevated, LaunchProduct(ExeDir() + kSleepy, true));
  DWORD pid = 0;
  ASSERT_TRUE(SleepyRuns(pid, 5000));
  EXPECT_TRUE(KillProcess(pid));
}

// Without the system's scheduler DLL the next route starts the program, and a DLL of that name dropped
// where a load by bare name looks is never picked up.
TEST(LaunchProduct, AsUserIgnoresAPlantedSchedulerDll) {
  if (SystemHasWdc()) GTEST_SKIP() << "this system has the scheduler route";
  ScratchDir dir;
  ASSERT_TRUE(
      ::CopyFileW(TestSupport::BuildFile(L"tests/base/PlantedWdc.dll").c_str(), (dir / L"wdc.dll").c_str(), FALSE));
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
  const LaunchRoute route = LaunchProduct(ExeDir() + kSleepy, false);
  bool loaded = ::GetModuleHandleW(L"wdc.dll") != nullptr;
  bool trapWorks = static_cast<bool>(Scoped::FreeLibrary(::LoadLibraryW(L"wdc.dll")));
  ::SetCurrentDirectoryW(previous);
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(trapWorks);  // a plain load by name would have found it
  EXPECT_NE(kLaunchRoute_Scheduler, route);
  DWORD pid = 0;
  if (route != kLaunchRoute_None) {
    ASSERT_TRUE(SleepyRuns(pid, 5000));
    EXPECT_TRUE(KillProcess(pid));
  } else {
    EXPECT_FALSE(SleepyRuns(pid, 1000));
  }
}
