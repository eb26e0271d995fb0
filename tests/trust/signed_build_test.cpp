#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "trust/FileDigest.h"
#include "trust/PayloadTrust.h"

using TestSupport::ReadFileBytes;

// The installer's own test builds, signed after linking by the build's signing rule with the test
// build signer: setup-vendor-loopback.exe from its PEM chain and key, setup-proxyhost.exe from its
// password-protected PKCS#12 file. WinVerifyTrust accepts both and names the signer; setup.exe,
// built without a certificate, has no signature at all.
namespace {

std::wstring Built(const std::wstring& name) {
  std::wstring path = L"Z:" + TestSupport::Wide(SETUP_BINARY_DIR) + L"/" + name;
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

// The SHA-256 of the build signer's certificate, as the signing script wrote it.
std::wstring BuildSignerCertificateSha256() {
  std::string text = ReadFileBytes(Built(L"test-signing/build-signer.sha256"));
  return TestSupport::Wide(text.substr(0, text.find_first_of("\r\n")));
}

// The size of the certificate table a PE file's header names (0: unsigned), -1 when it is no PE file.
long long CertificateTableSize(const std::wstring& path) {
  const std::string image = ReadFileBytes(path);
  auto at = [&](size_t offset, size_t bytes) -> unsigned long long {
    unsigned long long value = 0;
    for (size_t i = 0; i < bytes && offset + i < image.size(); ++i)
      value |= static_cast<unsigned long long>(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return value;
  };
  if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) return -1;
  const size_t header = static_cast<size_t>(at(0x3C, 4));
  if (image.compare(header, 4, std::string("PE\0\0", 4)) != 0) return -1;
  const size_t optional = header + 24;
  const size_t directories = optional + (at(optional, 2) == 0x10B ? 96 : 112);
  return static_cast<long long>(at(directories + 4 * 8 + 4, 4));  // entry 4: the certificate table
}

}  // namespace

TEST(SignedBuild, TheSignedTestBuildsNameTheirSigner) {
  const std::wstring certificate = BuildSignerCertificateSha256();
  ASSERT_TRUE(FileDigest::IsSha256Text(certificate)) << TestSupport::Utf8(certificate);
  for (const wchar_t* name : {L"setup-vendor-loopback.exe", L"setup-proxyhost.exe"}) {
    SCOPED_TRACE(TestSupport::Utf8(name));
    EXPECT_GT(CertificateTableSize(Built(name)), 0);
    EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Built(name), PublisherPin{SETUP_TEST_BUILD_SIGNER, certificate}));
    EXPECT_EQ(kPublisher_NameMismatch, VerifyPublisher(Built(name), PublisherPin{SETUP_TEST_PUBLISHER, L""}));
  }
}

TEST(SignedBuild, ABuildWithoutACertificateIsUnsigned) {
  if (SETUP_TEST_SHIPPED_SIGNED) GTEST_SKIP() << "this build was configured with SETUP_SIGN_CERT";
  EXPECT_EQ(0, CertificateTableSize(Built(L"setup.exe")));
  EXPECT_EQ(kPublisher_BadSignature, VerifyPublisher(Built(L"setup.exe"), PublisherPin{SETUP_TEST_BUILD_SIGNER, L""}));
}
