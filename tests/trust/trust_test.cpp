#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "SuiteLog.h"
#include "TestSupport.h"
#include "install/InstallFlow.h"
#include "log/Log.h"
#include "trust/FileDigest.h"
#include "trust/HeldFile.h"
#include "trust/PayloadTrust.h"

using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;
using TestSupport::Utf8;
using TestSupport::WriteFileBytes;

namespace {

testing::Environment* const g_log = testing::AddGlobalTestEnvironment(new SuiteLog::Environment);

// What the log gained since the mark was taken.
class LogTail {
 public:
  LogTail() : start_(All().size()) {}
  std::string Text() const { return All().substr(start_); }
  bool Has(const std::string& part) const { return Text().find(part) != std::string::npos; }

 private:
  static std::string All() { return ReadFileBytes(SuiteLog::File()); }
  size_t start_;
};

using TestSupport::BuildFile;

std::wstring Signed() { return BuildFile(L"tests/fixtures/SampleInstaller.exe"); }
std::wstring Unsigned() { return BuildFile(L"tests/fixtures/SampleInstaller-unsigned.exe"); }
std::wstring SignedByAnother() { return BuildFile(L"tests/fixtures/SampleInstaller-other.exe"); }

// The SHA-256 of the test publisher's certificate, as the signing script wrote it.
std::wstring PublisherCertificateSha256() {
  std::string text = ReadFileBytes(BuildFile(L"test-signing/publisher.sha256"));
  return TestSupport::Wide(text.substr(0, text.find_first_of("\r\n")));
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  return text;
}

// A copy of `source` in `dir` with one byte in the middle of its image inverted.
std::wstring AlteredCopy(const std::wstring& source, const ScratchDir& dir) {
  std::string bytes = ReadFileBytes(source);
  bytes[bytes.size() / 3] = static_cast<char>(~bytes[bytes.size() / 3]);
  std::wstring copy = dir / L"altered.exe";
  return WriteFileBytes(copy, bytes) ? copy : std::wstring();
}

PublisherPin TestPublisher() { return PublisherPin{SETUP_TEST_PUBLISHER, L""}; }

}  // namespace

// The file the loopback pack expects: signed by the pinned publisher, with or without its certificate
// pinned too (the digest in either case), and the signer named in the log.
TEST(PublisherCheck, AcceptsTheFileSignedByThePinnedPublisher) {
  LogTail log;
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Signed(), TestPublisher()));
  EXPECT_TRUE(log.Has("VerifyPublisher accepted, signed by \"" + Utf8(SETUP_TEST_PUBLISHER) + "\"")) << log.Text();

  std::wstring certificate = PublisherCertificateSha256();
  ASSERT_TRUE(FileDigest::IsSha256Text(certificate)) << Utf8(certificate);
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Signed(), PublisherPin{SETUP_TEST_PUBLISHER, Upper(certificate)}));
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Signed(), PublisherPin{L"", certificate}));
}

// What WinVerifyTrust refuses, each with its code in the log: no signature at all (TRUST_E_NOSIGNATURE),
// one byte changed after signing (TRUST_E_BAD_DIGEST), and a file that is not there.
TEST(PublisherCheck, RefusesWhatTheSignatureDoesNotVouchFor) {
  LogTail unsignedLog;
  EXPECT_EQ(kPublisher_BadSignature, VerifyPublisher(Unsigned(), TestPublisher()));
  EXPECT_TRUE(unsignedLog.Has("code 0x800B0100")) << unsignedLog.Text();

  ScratchDir dir(L"trust");
  std::wstring altered = AlteredCopy(Signed(), dir);
  ASSERT_FALSE(altered.empty());
  LogTail alteredLog;
  EXPECT_EQ(kPublisher_BadSignature, VerifyPublisher(altered, TestPublisher()));
  EXPECT_TRUE(alteredLog.Has("code 0x80096010")) << alteredLog.Text();

  EXPECT_EQ(kPublisher_BadSignature, VerifyPublisher(dir / L"missing.exe", TestPublisher()));
}

// A valid signature is not enough: a file another publisher signed is refused by name, and a
// certificate other than the pinned one is refused even under the pinned name. Under Wine this is
// the line that keeps a file signed under any root out, since Wine accepts roots in no store.
TEST(PublisherCheck, RefusesAnotherSignerOrAnotherCertificate) {
  LogTail log;
  EXPECT_EQ(kPublisher_NameMismatch, VerifyPublisher(SignedByAnother(), TestPublisher()));
  EXPECT_TRUE(
      log.Has("signed by \"" + Utf8(SETUP_OTHER_PUBLISHER) + "\", expected \"" + Utf8(SETUP_TEST_PUBLISHER) + "\""))
      << log.Text();

  EXPECT_EQ(kPublisher_CertificateMismatch,
            VerifyPublisher(Signed(), PublisherPin{SETUP_TEST_PUBLISHER, std::wstring(64, L'a')}));
  EXPECT_EQ(kPublisher_CertificateMismatch,
            VerifyPublisher(SignedByAnother(), PublisherPin{L"", PublisherCertificateSha256()}));
  // The name is compared whole: a pin that is only part of the signer's name does not match it.
  const std::wstring part = std::wstring(SETUP_TEST_PUBLISHER).substr(0, 7);
  EXPECT_EQ(kPublisher_NameMismatch, VerifyPublisher(Signed(), PublisherPin{part, L""}));
}

TEST(PublisherCheck, NoPinLooksAtNothing) {
  ScratchDir dir(L"trust");
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(dir / L"missing.exe", PublisherPin{}));
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Unsigned(), PublisherPin{}));
}

// The payload check applies every pin it is given and deletes a file any of them refuses; a file it
// accepts stays held.
TEST(PayloadCheck, EveryPinMustHoldAndARefusedFileIsDeleted) {
  std::string digest;
  ASSERT_TRUE(FileDigest::Sha256File(Signed(), digest));
  const std::wstring sha256 = TestSupport::Wide(digest);
  ScratchDir dir(L"trust");
  const std::wstring copy = dir / L"payload.exe";
  auto served = [&](const std::wstring& source) { return ::CopyFileW(source.c_str(), copy.c_str(), FALSE) != FALSE; };

  ASSERT_TRUE(served(Signed()));
  {
    HeldFile accepted(copy);
    EXPECT_TRUE(VerifyPayload(accepted, sha256, TestPublisher()));
    EXPECT_TRUE(accepted.IsHeld());
  }
  EXPECT_TRUE(IsFile(copy));
  const struct {
    std::wstring source;
    std::wstring sha256;
    PublisherPin publisher;
  } refused[] = {
      {Signed(), sha256, PublisherPin{SETUP_OTHER_PUBLISHER, L""}},           // digest right, signer wrong
      {SignedByAnother(), sha256, PublisherPin{SETUP_OTHER_PUBLISHER, L""}},  // signer right, digest wrong
      {Unsigned().c_str(), L"", TestPublisher()},
  };
  for (const auto& payload : refused) {
    SCOPED_TRACE(Utf8(payload.source));
    ASSERT_TRUE(served(payload.source));
    HeldFile file(copy);
    LogTail log;
    EXPECT_FALSE(VerifyPayload(file, payload.sha256, payload.publisher));
    EXPECT_FALSE(file.IsHeld());
    EXPECT_FALSE(IsFile(copy));
    EXPECT_TRUE(log.Has("ERR:VerifyPayload refused the download: its ")) << log.Text();
  }
}

// The digest and the signature are read through the held handle, not through the path: a handle of
// the signed installer passes under the unsigned one's name, and the other way round it fails.
TEST(PayloadCheck, DigestAndSignatureAreReadThroughTheHeldHandle) {
  HeldFile signedFile(Signed());
  HeldFile unsignedFile(Unsigned());
  ASSERT_TRUE(signedFile.IsHeld() && unsignedFile.IsHeld());
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Unsigned(), TestPublisher(), signedFile.get()));
  EXPECT_EQ(kPublisher_BadSignature, VerifyPublisher(Signed(), TestPublisher(), unsignedFile.get()));

  std::string byPath, byHandle, again;
  ASSERT_TRUE(FileDigest::Sha256File(Signed(), byPath));
  ASSERT_TRUE(FileDigest::Sha256Handle(signedFile.get(), byHandle));
  ASSERT_TRUE(FileDigest::Sha256Handle(signedFile.get(), again));  // from the start again, not from where it ended
  EXPECT_EQ(byPath, byHandle);
  EXPECT_EQ(byPath, again);
  // The signature check after the digest, as the payload check runs them, on the same handle.
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Signed(), TestPublisher(), signedFile.get()));
}
