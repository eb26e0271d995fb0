#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "trust/FileDigest.h"

using FileDigest::IsSha256Text;
using FileDigest::Sha256Equal;
using FileDigest::Sha256File;
using TestSupport::ScratchDir;

namespace {

std::string DigestOf(const std::wstring& path) {
  std::string hex = "unset";
  EXPECT_TRUE(Sha256File(path, hex));
  return hex;
}

}  // namespace

TEST(FileDigest, KnownVectorsAndLargeFiles) {
  ScratchDir dir;
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"empty", ""));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"abc", "abc"));
  // A million 'a's crosses the reader's chunk boundary.
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"million", std::string(1000000, 'a')));
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", DigestOf(dir / L"empty"));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", DigestOf(dir / L"abc"));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", DigestOf(dir / L"million"));
  std::string hex = "unset";
  EXPECT_FALSE(Sha256File(dir / L"absent", hex));
  EXPECT_EQ("", hex);
}

TEST(FileDigest, ComparesOnlyWellFormedDigests) {
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_TRUE(Sha256Equal(L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", abc));
  EXPECT_TRUE(Sha256Equal(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", abc));
  EXPECT_FALSE(Sha256Equal(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae", abc));
  EXPECT_FALSE(Sha256Equal(L"ba7816bf", "ba7816bf"));  // a prefix is no digest
  EXPECT_FALSE(Sha256Equal(L"", ""));
  EXPECT_FALSE(IsSha256Text(L" ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a"));
  EXPECT_FALSE(IsSha256Text(L"ga7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  EXPECT_TRUE(IsSha256Text(L"Ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}
