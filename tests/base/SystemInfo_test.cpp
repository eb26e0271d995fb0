#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "base/SystemInfo.h"

using TestSupport::ExeDir;

TEST(FileVersion, NeedsAFixedVersionAndATranslationTable) {
  EXPECT_EQ(L"1.2.3.4", GetFileVersion(ExeDir() + L"VersionProbe.exe"));
  EXPECT_EQ(L"", GetFileVersion(ExeDir() + L"VersionProbeNoTranslation.exe"));
  EXPECT_EQ(L"", GetFileVersion(TestSupport::BuildFile(L"tests/install/SleepyChild.exe")));
  EXPECT_EQ(L"", GetFileVersion(ExeDir() + L"NoSuchFile.exe"));
}

TEST(DiskSpace, FreeMegabytes) {
  EXPECT_EQ(1, BytesToMB(1572864));
  EXPECT_EQ(0, BytesToMB(1ULL << 52));  // 2^32 MiB: cut to 32 bits
  int freeMB = -7;
  ASSERT_TRUE(GetDiskFreeMB(L"C:\\", freeMB));
  EXPECT_GT(freeMB, 0);
  int before = freeMB;
  EXPECT_FALSE(GetDiskFreeMB(L"Q:\\no\\such\\folder\\", freeMB));
  EXPECT_EQ(before, freeMB);
}

TEST(Folders, ProgramFilesAndWorkDir) {
  std::wstring folder = GetProgramFilesDir();
  ASSERT_GT(folder.size(), 1u);
  EXPECT_EQ(L'\\', folder.back());
  EXPECT_TRUE(TestSupport::IsFolder(folder));
  // A 32-bit program on 64-bit Windows is given the (x86) folder; a 64-bit build the native one.
  EXPECT_EQ(IsWindows64() && sizeof(void*) == 4, folder.find(L"(x86)") != std::wstring::npos);
  EXPECT_EQ(folder + L"pelarin_down\\test_base\\", GetWorkDir());
}

TEST(Windows, NameAndBitness) {
  EXPECT_FALSE(GetWindowsProductName().empty());
  BOOL wow64 = FALSE;
  ASSERT_TRUE(::IsWow64Process(::GetCurrentProcess(), &wow64));
  // A 32-bit program runs under WOW64 exactly on 64-bit Windows; a 64-bit one only runs there.
  EXPECT_EQ(wow64 != FALSE || sizeof(void*) == 8, IsWindows64());
  EXPECT_TRUE(IsArchitecture64(PROCESSOR_ARCHITECTURE_AMD64));
  EXPECT_TRUE(IsArchitecture64(PROCESSOR_ARCHITECTURE_IA64));
  EXPECT_FALSE(IsArchitecture64(PROCESSOR_ARCHITECTURE_INTEL));
  EXPECT_FALSE(IsArchitecture64(12));  // ARM64
}
