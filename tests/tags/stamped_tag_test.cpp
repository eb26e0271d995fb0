#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SuiteLog.h"
#include "TestSupport.h"
#include "base/DerElement.h"
#include "base/PeSignatureReader.h"
#include "base/Scoped.h"
#include "log/Log.h"
#include "resources/EmbeddedPackages.h"
#include "resources/StampedSiteTag.h"
#include "trust/PayloadTrust.h"

using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;
using TestSupport::WriteFileBytes;

namespace {

testing::Environment* const g_log = testing::AddGlobalTestEnvironment(new SuiteLog::Environment);

std::string LogText() { return ReadFileBytes(SuiteLog::File()); }

using TestSupport::BuildFile;

std::wstring Stamped() { return BuildFile(L"tests/tags/setup-french.exe"); }
std::wstring SignedOnly() { return BuildFile(L"tests/tags/setup-signed.exe"); }
std::wstring Unsigned() { return BuildFile(L"setup-loopback.exe"); }

DWORD Dword(const std::string& bytes, size_t at) {
  DWORD value = 0;
  if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

void SetDword(std::string& bytes, size_t at, DWORD value) { std::memcpy(&bytes[at], &value, 4); }

// Where the security directory's entry (file offset, size) lies in a PE file's bytes.
size_t SecurityEntry(const std::string& bytes) {
  const size_t optional = Dword(bytes, 0x3C) + 24;
  const bool pe32 = static_cast<unsigned char>(bytes[optional]) == 0x0B && bytes[optional + 1] == 0x01;
  return optional + (pe32 ? 96 : 112) + 4 * 8;
}

// The stamped program's bytes and where its certificate table and tag lie.
struct StampedFile {
  std::string bytes = ReadFileBytes(Stamped());
  size_t entry = SecurityEntry(bytes);
  size_t table = Dword(bytes, entry);
  size_t tag = bytes.find("com_french", table);
};

// The tag a damaged copy gives, with the status of the stamped tag and the log line that says why.
struct DamagedOutcome {
  StampedTagStatus status;
  std::wstring tag;
  std::string log;
};

DamagedOutcome ReadCopy(const std::string& bytes) {
  ScratchDir dir(L"tags");
  const std::wstring copy = dir / L"damaged.exe";
  EXPECT_TRUE(WriteFileBytes(copy, bytes));
  Scoped::FreeLibrary module(::LoadLibraryExW(Unsigned().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  EXPECT_TRUE(module);
  std::string stamped, why;
  DamagedOutcome outcome;
  outcome.status = ReadStampedTag(copy, stamped, why);
  const size_t before = LogText().size();
  outcome.tag = ReadDomainTag(module.get(), copy);
  outcome.log = LogText().substr(before);
  return outcome;
}

std::vector<unsigned char> SignatureOf(const std::wstring& path) {
  std::vector<unsigned char> pkcs7;
  EXPECT_EQ(Base::kPeSignature_Found, Base::PeSignatureReader(path).Read(pkcs7));
  return pkcs7;
}

}  // namespace

// The build signed the loopback installer and stamped "com_french" into the signature: the reader
// finds it and the domain tag takes it over the resource's "com_english"; without a stamp, or without
// a signature, the resource's tag stays.
TEST(StampedTag, ReadsTheStampAndFallsBackToTheResourceWithoutOne) {
  Scoped::FreeLibrary module(::LoadLibraryExW(Unsigned().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  std::string tag, why;
  EXPECT_EQ(kStampedTag_Found, ReadStampedTag(Stamped(), tag, why)) << why;
  EXPECT_EQ("com_french", tag);
  size_t before = LogText().size();
  EXPECT_EQ(L"com_french", ReadDomainTag(module.get(), Stamped()));
  EXPECT_NE(LogText().find("site tag stamped into the signature: com_french", before), std::string::npos);

  EXPECT_EQ(kStampedTag_NotStamped, ReadStampedTag(SignedOnly(), tag, why));
  before = LogText().size();
  EXPECT_EQ(L"com_english", ReadDomainTag(module.get(), SignedOnly()));
  EXPECT_NE(LogText().find("site tag from resource 106: no site tag is stamped into the signature", before),
            std::string::npos);

  EXPECT_EQ(kStampedTag_NoSignature, ReadStampedTag(Unsigned(), tag, why));
  EXPECT_EQ("the program is not signed", why);
  EXPECT_EQ(L"com_english", ReadDomainTag(module.get(), Unsigned()));
  EXPECT_EQ(kStampedTag_NoSignature, ReadStampedTag(BuildFile(L"no-such-file.exe"), tag, why));
  EXPECT_EQ(L"com_english", ReadDomainTag(module.get(), L""));
}

// The stamp leaves the signature valid: WinVerifyTrust accepts the stamped file and names the signer.
TEST(StampedTag, WinVerifyTrustStillAcceptsTheStampedProgram) {
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(Stamped(), PublisherPin{SETUP_TEST_PUBLISHER, L""}));
  // and a changed tag byte is outside the digest too, while a changed image byte is not
  StampedFile file;
  ASSERT_NE(std::string::npos, file.tag);
  ScratchDir dir(L"tags");
  std::string retagged = file.bytes;
  retagged[file.tag + 4] = 'g';
  ASSERT_TRUE(WriteFileBytes(dir / L"retagged.exe", retagged));
  EXPECT_EQ(kPublisher_Accepted, VerifyPublisher(dir / L"retagged.exe", PublisherPin{SETUP_TEST_PUBLISHER, L""}));
}

// Windows' strict check (EnableCertPaddingCheck) refuses anything after the PKCS#7 blob but zero
// padding to the next 8 bytes. Wine does not make that check, so this test looks at the state it
// decides on: the entry's length, the directory's size and the bytes after the DER element.
TEST(StampedTag, OnlyZeroPaddingFollowsTheSignature) {
  StampedFile file;
  const DWORD size = Dword(file.bytes, file.entry + 4);
  const DWORD length = Dword(file.bytes, file.table);
  EXPECT_EQ(size, length);
  EXPECT_EQ(0u, length % 8);
  EXPECT_EQ(file.bytes.size(), file.table + size);
  std::vector<unsigned char> pkcs7 = SignatureOf(Stamped());
  Base::DerElement outer;
  ASSERT_TRUE(Base::DerElement::Read(pkcs7.data(), pkcs7.size(), outer));
  ASSERT_LE(outer.totalSize(), pkcs7.size());
  EXPECT_LT(pkcs7.size() - outer.totalSize(), 8u);
  for (size_t i = outer.totalSize(); i < pkcs7.size(); ++i) EXPECT_EQ(0, pkcs7[i]) << i;
}

// Damaged, truncated or hostile certificate tables: the reader says so, the program keeps the
// resource's tag and logs why, and nothing reads outside the file.
TEST(StampedTag, DamagedSignatureDataFallsBackToTheResource) {
  const StampedFile file;
  ASSERT_NE(std::string::npos, file.tag);
  struct Case {
    const char* name;
    std::string bytes;
    StampedTagStatus expected;
    const char* logged;
  };
  std::vector<Case> cases;
  cases.push_back({"cut inside the table", file.bytes.substr(0, file.table + 300), kStampedTag_Damaged,
                   "the signature data is damaged"});
  std::string bytes = file.bytes;
  SetDword(bytes, file.entry + 4, 0);  // zero-sized directory
  cases.push_back({"zero-sized directory", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  SetDword(bytes, file.entry, 0);
  SetDword(bytes, file.entry + 4, 0);
  cases.push_back({"empty directory", bytes, kStampedTag_NoSignature, "the program is not signed"});
  bytes = file.bytes;
  SetDword(bytes, file.entry, static_cast<DWORD>(file.bytes.size() + 16));
  cases.push_back({"directory past the end", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  SetDword(bytes, file.entry, 0xFFFFFFF8);
  SetDword(bytes, file.entry + 4, 0x10);  // offset + size wraps around 32 bits
  cases.push_back({"directory wrapping around", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  SetDword(bytes, file.table, 0xFFFFFFF0);  // WIN_CERTIFICATE length
  cases.push_back({"entry longer than the table", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  bytes.replace(file.table + 9, 5, "\x84\xff\xff\xff\xff", 5);  // the ContentInfo's length
  cases.push_back({"garbage DER length", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  bytes.replace(file.tag - 1, 5, "\x84\x7f\xff\xff\xf0", 5);  // the tag's UTF8String length
  cases.push_back({"tag with a huge length", bytes, kStampedTag_Damaged, "the signature data is damaged"});
  bytes = file.bytes;
  bytes[file.tag + 3] = ' ';
  cases.push_back({"tag breaking the rules", bytes, kStampedTag_Invalid, "the stamped site tag is invalid"});
  bytes = file.bytes;
  SetDword(bytes, 0x3C, 0x7FFFFFF0);
  cases.push_back({"PE header past the end", bytes, kStampedTag_NoSignature, "the program file's headers are damaged"});

  for (const Case& c : cases) {
    DamagedOutcome outcome = ReadCopy(c.bytes);
    EXPECT_EQ(c.expected, outcome.status) << c.name;
    EXPECT_EQ(L"com_english", outcome.tag) << c.name;
    EXPECT_NE(outcome.log.find(std::string("site tag from resource 106: ") + c.logged), std::string::npos)
        << c.name << "\n"
        << outcome.log;
  }
}

// Every truncation of the signature blob, and every single byte of it set to 0xFF, gives an answer:
// a cut one is damaged, a changed one finds the tag only when it still reads "com_french".
TEST(StampedTag, EveryCutAndEveryChangedByteOfTheSignatureIsHandled) {
  const std::vector<unsigned char> pkcs7 = SignatureOf(Stamped());
  Base::DerElement outer;
  ASSERT_TRUE(Base::DerElement::Read(pkcs7.data(), pkcs7.size(), outer));
  std::string tag;
  for (size_t size = 0; size < outer.totalSize(); ++size) {
    // A copy of exactly that length, so that a read past it would leave the allocation.
    std::vector<unsigned char> cut(pkcs7.begin(), pkcs7.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(kStampedTag_Damaged, FindStampedTag(cut.data(), cut.size(), tag)) << size;
  }
  int found = 0;
  for (size_t i = 0; i < outer.totalSize(); ++i) {
    std::vector<unsigned char> changed(pkcs7);
    changed[i] = 0xFF;
    tag.clear();
    if (FindStampedTag(changed.data(), changed.size(), tag) == kStampedTag_Found) {
      ++found;
      EXPECT_EQ("com_french", tag) << i;
    }
  }
  // Bytes of the certificates and the signature value do not stand between the reader and the tag.
  EXPECT_GT(found, static_cast<int>(outer.totalSize() / 2));
}
