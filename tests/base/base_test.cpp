#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/FileSystem.h"
#include "base/ModulePath.h"
#include "base/ModuleResource.h"

using namespace Base;

TEST(ModulePath, NamesTheProgramAndItsFolderAndTheBaseNameThatNamesItsMutex) {
  EXPECT_EQ(TestSupport::ExeDir(), ModuleFolder());
  EXPECT_EQ(TestSupport::ExeDir() + L"test_base.exe", ModulePath());
  EXPECT_EQ(L"test_base", ProgramBaseName(ModulePath()));
  const std::wstring kernel = ModulePath(::GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(L"kernel32", ProgramBaseName(kernel)) << TestSupport::Utf8(kernel);
  EXPECT_EQ(L"", ModulePath(reinterpret_cast<HMODULE>(0x10)));  // no module there
  EXPECT_EQ(L"", ModuleFolder(reinterpret_cast<HMODULE>(0x10)));

  EXPECT_EQ(L"Install.beta", ProgramBaseName(L"C:\\Downloads\\Install.beta.exe"));
  EXPECT_EQ(L"setup", ProgramBaseName(L"C:\\a.b\\setup"));
  EXPECT_EQ(L"Setup (1)", ProgramBaseName(L"D:/x.y/Setup (1).exe"));
  EXPECT_EQ(L"", ProgramBaseName(L""));
}

TEST(CreateFolderTree, MakesEveryMissingLevelAndRefusesWhatCannotBeAFolder) {
  TestSupport::ScratchDir dir(L"base");
  const std::wstring deep = dir / L"a\\b c\\d";
  EXPECT_TRUE(CreateFolderTree(deep + L"\\"));
  EXPECT_TRUE(IsFolder(deep));
  EXPECT_TRUE(CreateFolderTree(deep));  // already there
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"file", "x"));
  EXPECT_FALSE(CreateFolderTree(dir / L"file\\below"));
  EXPECT_FALSE(IsFolder(dir / L"file"));
  EXPECT_FALSE(CreateFolderTree(L""));
  EXPECT_FALSE(CreateFolderTree(L"Q:\\no such drive\\x"));
}

TEST(ModuleResource, ReadsInPlaceOrCopiesAndTellsMissingFromEmpty) {
  const ResourceBytes found = FindModuleResource(nullptr, MAKEINTRESOURCEW(7), RT_RCDATA);
  ASSERT_TRUE(found);
  EXPECT_EQ("resource bytes", std::string(reinterpret_cast<const char*>(found.data), found.size));
  std::vector<unsigned char> copy = {1, 2};
  ASSERT_TRUE(CopyModuleResource(nullptr, MAKEINTRESOURCEW(7), RT_RCDATA, copy));
  EXPECT_EQ(14u, copy.size());

  std::vector<unsigned char> untouched = {9};
  EXPECT_FALSE(FindModuleResource(nullptr, MAKEINTRESOURCEW(99), RT_RCDATA));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(CopyModuleResource(nullptr, MAKEINTRESOURCEW(99), RT_RCDATA, untouched));
  EXPECT_FALSE(CopyModuleResource(nullptr, MAKEINTRESOURCEW(8), RT_RCDATA, untouched));  // empty counts as none
  EXPECT_EQ(std::vector<unsigned char>{9}, untouched);
}
