#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "TestSupport.h"
#include "telemetry/ClientId.h"
#include "tool/ScopedWin.h"

namespace {

// Keeps whatever identifier the machine had and puts it back afterwards.
class ClientId : public testing::Test {
 protected:
  void SetUp() override { hadValue_ = Read(saved_); }
  void TearDown() override {
    if (hadValue_) {
      Write(saved_);
    } else {
      Delete();
    }
  }

  // In the process's own view, where GetClientId writes.
  static bool Read(std::wstring& text) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kClientIdKey, kClientIdValue, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    text = buffer;
    return true;
  }
  static void Write(const std::wstring& text) {
    Scoped::RegCloseKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key.get(), kClientIdValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static void Delete() {
    Scoped::RegCloseKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
      ::RegDeleteValueW(key.get(), kClientIdValue);
    }
  }

  std::wstring ProbeInAnotherProcess() {
    TestSupport::ScratchDir dir(L"cid");
    std::wstring out = dir / L"id.txt";
    EXPECT_EQ(TestSupport::RunProcess(L"\"" + TestSupport::ExeDir() + L"client_id_probe.exe\" \"" + out + L"\""), 0);
    std::string bytes = TestSupport::ReadFileBytes(out);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

 private:
  bool hadValue_ = false;
  std::wstring saved_;
};

const std::wregex kForm(L"[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}");

}  // namespace

TEST_F(ClientId, IsMadeOnceStoredAndTheSameInLaterRuns) {
  Delete();
  std::wstring first = GetClientId();
  ASSERT_EQ(first.size(), 36u);
  EXPECT_TRUE(std::regex_match(first, kForm)) << TestSupport::Utf8(first);
  std::wstring stored;
  ASSERT_TRUE(Read(stored));
  EXPECT_EQ(stored, first);
  EXPECT_EQ(GetClientId(), first);
  EXPECT_EQ(ProbeInAnotherProcess(), first);
}

TEST_F(ClientId, WritesTheThirdGroupInLowerCaseAndTheOthersInUpperCase) {
  bool sawLetterInThirdGroup = false;
  for (int i = 0; i < 8; ++i) {
    Delete();
    std::wstring id = GetClientId();
    ASSERT_TRUE(std::regex_match(id, kForm)) << TestSupport::Utf8(id);
    sawLetterInThirdGroup |= id.substr(14, 4).find_first_of(L"abcdef") != std::wstring::npos;
  }
  EXPECT_TRUE(sawLetterInThirdGroup) << "eight identifiers without a letter in the third group";
}

TEST_F(ClientId, ReturnsAnyStoredTextUnchanged) {
  Write(L"made by an older release");
  EXPECT_EQ(GetClientId(), L"made by an older release");
  EXPECT_EQ(ProbeInAnotherProcess(), L"made by an older release");
}
