#include <gtest/gtest.h>

#include <set>
#include <string>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "base/Scoped.h"
#include "toolkit/skin/ZipArchive.h"

using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;
using namespace ZipTest;

namespace {

bool Extract(const std::string& zip, const std::wstring& folder) {
  GuardedBuffer buffer(zip);
  return SkinUI::ExtractZipToFolder(buffer.data(), buffer.size(), folder);
}

// Names directly inside a folder (which ends with a backslash), folders with a trailing backslash.
std::set<std::wstring> Listing(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found = {};
  HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &found);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &found)) {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.insert(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  }
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  return names;
}

}  // namespace

TEST(ZipExtract, WritesFilesAndFoldersAndReplacesThemOnTheNextRun) {
  ScratchDir scratch(L"unzip");
  const std::wstring target = scratch / L"deep\\er\\pack";  // missing parents, no trailing backslash
  const std::string text(40000, 'T');
  ASSERT_TRUE(Extract(ZipWriter()
                          .Add("English/", "")
                          .Add("English/text.ini", text, true)
                          .Add("language.ini", "first version, rather long")
                          .Add("nested/a/b/file.txt", "no folder entries above me", true)
                          .Add("zero", "")  // an empty entry always becomes a folder
                          .Build(),
                      target));
  EXPECT_EQ(ReadFileBytes(target + L"\\English\\text.ini"), text);
  EXPECT_EQ(ReadFileBytes(target + L"\\nested\\a\\b\\file.txt"), "no folder entries above me");
  EXPECT_EQ(Listing(target + L"\\"), (std::set<std::wstring>{L"English\\", L"language.ini", L"nested\\", L"zero\\"}));

  ASSERT_TRUE(TestSupport::WriteFileBytes(target + L"\\English\\mine.txt", "user file"));
  ASSERT_TRUE(Extract(ZipWriter().Add("language.ini", "second").Build(), target + L"\\"));
  EXPECT_EQ(ReadFileBytes(target + L"\\language.ini"), "second");  // the longer old tail is gone
  EXPECT_EQ(ReadFileBytes(target + L"\\English\\text.ini"), text);
  EXPECT_EQ(ReadFileBytes(target + L"\\English\\mine.txt"), "user file");
}

TEST(ZipExtract, RefusesNamesThatLeaveTheTargetFolder) {
  ScratchDir scratch(L"unzip");
  const std::wstring target = scratch / L"box\\target\\";
  ZipWriter writer;
  for (const char* name :
       {"../evil1.txt", "a/../../evil2.txt", "..\\evil3.txt", "\\abs4.txt", "/abs5.txt", "C:evil6.txt", "x:y", "ok/..",
        ".. /evil7.txt", "../evildir/", "good.txt:stream", "CON", "sub/nul.txt", ""})
    writer.Add(name, "evil");
  writer.Add("good.txt", "good").Add(std::string("good.txt\0hidden", 15), "evil");
  ASSERT_TRUE(Extract(writer.Build(), target));

  EXPECT_EQ(Listing(target), std::set<std::wstring>{L"good.txt"});
  EXPECT_EQ(ReadFileBytes(target + L"good.txt"), "good");
  EXPECT_EQ(Listing(scratch.path()), std::set<std::wstring>{L"box\\"});
  EXPECT_EQ(Listing(scratch / L"box\\"), std::set<std::wstring>{L"target\\"});
  for (const wchar_t* outside : {L"\\abs4.txt", L"\\abs5.txt", L"C:evil6.txt"})
    EXPECT_FALSE(TestSupport::IsFile(outside)) << TestSupport::Utf8(outside);
}

TEST(ZipExtract, SkipsWhatItCannotReadOrWriteAndWritesTheRest) {
  ScratchDir scratch(L"unzip");
  ZipWriter writer;
  writer.Add("good1.txt", "1").Add("badflate.txt", std::string(2000, 'x'), true).Add("badcrc.txt", "crc");
  writer.Add("locked.txt", "new").Add("good2.txt", "2", true);
  std::string zip = writer.Build();
  zip[writer.placed[1].data] = '\xFF';
  Put(zip, writer.placed[2].central + kCrc, 0);

  ASSERT_TRUE(TestSupport::WriteFileBytes(scratch / L"locked.txt", "old"));
  {
    Scoped::CloseFile held(
        ::CreateFileW((scratch / L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_TRUE(Extract(zip, scratch.path()));
  }
  EXPECT_EQ(Listing(scratch.path()), (std::set<std::wstring>{L"good1.txt", L"good2.txt", L"locked.txt"}));
  EXPECT_EQ(ReadFileBytes(scratch / L"locked.txt"), "old");
  EXPECT_EQ(ReadFileBytes(scratch / L"good2.txt"), "2");

  EXPECT_TRUE(Extract(ZipWriter().Build(), scratch / L"empty"));
  EXPECT_FALSE(Extract("this is no zip archive at all", scratch / L"other"));
  EXPECT_FALSE(Extract(zip.substr(0, zip.size() - 1), scratch / L"other"));
  EXPECT_FALSE(Extract(zip, L""));
}
