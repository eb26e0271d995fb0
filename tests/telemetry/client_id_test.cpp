#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "telemetry/ClientId.h"
#include "base/Scoped.h"

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
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
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

// A GUID that could not be made must not be stored: every later run would read the empty text back and
// report it as the machine's identifier.
TEST_F(ClientId, AnIdentifierThatCouldNotBeMadeIsNotStored) {
  Delete();
  EXPECT_EQ(GetClientId([] { return std::wstring(); }), L"");
  std::wstring stored;
  EXPECT_FALSE(Read(stored)) << TestSupport::Utf8(stored);
  const std::wstring made = GetClientId();  // the next run makes a real one
  EXPECT_TRUE(std::regex_match(made, kForm)) << TestSupport::Utf8(made);
}

namespace {

// While alive, the identifier's key may be written but not read by anyone.
class WriteOnlyKey {
 public:
  WriteOnlyKey() {
    Scoped::RegCloseKey key;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, READ_CONTROL | WRITE_DAC, key.put()), ERROR_SUCCESS);
    DWORD size = 0;
    ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    EXPECT_EQ(::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size), ERROR_SUCCESS);
    // Everyone: write and change the permissions, nothing else.
    SECURITY_DESCRIPTOR sd;
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(everyone);
    ::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize);
    BYTE aclBuffer[256];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    ::InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
    ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_WRITE | WRITE_DAC | READ_CONTROL, everyone);
    ::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    EXPECT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  }
  ~WriteOnlyKey() {
    Scoped::RegCloseKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
      ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data());
  }

 private:
  std::vector<BYTE> saved_;
};

}  // namespace

// An identifier that exists but cannot be read this time must survive: replacing it would make the
// machine a new client for good.
TEST_F(ClientId, AKeyThatCannotBeReadGivesNoIdentifierAndKeepsTheStoredOne) {
  Write(L"kept from an earlier run");
  {
    WriteOnlyKey guard;
    Scoped::RegCloseKey probe;
    ASSERT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, KEY_READ, probe.put()), ERROR_SUCCESS)
        << "the key's permissions did not take";
    EXPECT_EQ(GetClientId(), L"");
  }
  std::wstring stored;
  ASSERT_TRUE(Read(stored));
  EXPECT_EQ(stored, L"kept from an earlier run");
}
