#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "TestSupport.h"
#include "base/Scoped.h"
#include "trust/HeldFile.h"

using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;
using TestSupport::WriteFileBytes;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Opens(const std::wstring& path, DWORD access) {
  return static_cast<bool>(
      Scoped::CloseFile(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr)));
}

}  // namespace

// While the file is held, none of the ways to put other bytes under its name works: writing to it,
// deleting it, renaming it away, renaming another file over it. Each fails because the hold shares
// neither writing nor deleting: a sharing violation, or for a replacing rename "access denied" (so
// Windows answers too when the target is open). Reading is shared, and once the file is let go all of
// it works.
TEST(HeldFile, NothingCanReplaceTheFileWhileItIsHeld) {
  ScratchDir dir(L"held");
  const std::wstring path = dir / L"payload.exe";
  const std::wstring other = dir / L"other.exe";
  ASSERT_TRUE(WriteFileBytes(path, "checked"));
  ASSERT_TRUE(WriteFileBytes(other, "planted"));
  HeldFile held(path);
  ASSERT_TRUE(held.IsHeld());
  EXPECT_EQ(path, held.path());

  const struct {
    const char* what;
    std::function<bool()> change;
    DWORD error;
  } changes[] = {
      {"open for writing", [&] { return Opens(path, GENERIC_WRITE); }, ERROR_SHARING_VIOLATION},
      {"open for appending", [&] { return Opens(path, FILE_APPEND_DATA); }, ERROR_SHARING_VIOLATION},
      {"open for deleting", [&] { return Opens(path, DELETE); }, ERROR_SHARING_VIOLATION},
      {"delete", [&] { return ::DeleteFileW(path.c_str()) != FALSE; }, ERROR_SHARING_VIOLATION},
      {"rename away", [&] { return ::MoveFileExW(path.c_str(), (dir / L"moved.exe").c_str(), 0) != FALSE; },
       ERROR_SHARING_VIOLATION},
      {"rename over it", [&] { return ::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; },
       ERROR_ACCESS_DENIED},
  };
  for (const auto& attempt : changes) {
    SCOPED_TRACE(attempt.what);
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(attempt.change());
    EXPECT_EQ(attempt.error, ::GetLastError());
  }
  EXPECT_EQ("checked", ReadFileBytes(path));
  EXPECT_TRUE(Opens(path, GENERIC_READ));

  held.Release();
  EXPECT_FALSE(held.IsHeld());
  EXPECT_TRUE(::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ("planted", ReadFileBytes(path));
}

TEST(HeldFile, AMissingFileIsNotHeldAndSaysWhy) {
  ScratchDir dir(L"held");
  HeldFile missing(dir / L"missing.exe");
  EXPECT_FALSE(missing.IsHeld());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.OpenError());
}
