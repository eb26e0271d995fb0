#include "trust/FileDigest.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "base/Scoped.h"

namespace FileDigest {
namespace {

constexpr DWORD kChunk = 1 << 20;
constexpr size_t kDigestBytes = 32;

bool HashFileInto(Sha256Stream& hash, HANDLE file) {
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  std::vector<BYTE> buffer(kChunk);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), kChunk, &read, nullptr)) return false;
    if (read == 0) return true;
    if (!hash.Append(buffer.data(), read)) return false;
  }
}

std::string ToHex(const BYTE* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < count; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Feeds the hash through `feed` and writes its value as hexadecimal.
template <typename Feed>
bool Sha256Of(Feed feed, std::string& hex) {
  Sha256Stream hash;
  return hash.IsReady() && feed(hash) && hash.Finish(hex);
}

}  // namespace

bool Sha256File(const std::wstring& path, std::string& hex) {
  hex.clear();
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return file && Sha256Handle(file.get(), hex);
}

bool Sha256Handle(HANDLE file, std::string& hex) {
  hex.clear();
  return Sha256Of([file](Sha256Stream& hash) { return HashFileInto(hash, file); }, hex);
}

bool Sha256Bytes(const void* bytes, unsigned long count, std::string& hex) {
  hex.clear();
  return Sha256Of([bytes, count](Sha256Stream& hash) { return hash.Append(bytes, count); }, hex);
}

bool IsSha256Text(const std::wstring& text) {
  if (text.size() != 2 * kDigestBytes) return false;
  for (wchar_t c : text) {
    wchar_t l = Lower(c);
    if (!((l >= L'0' && l <= L'9') || (l >= L'a' && l <= L'f'))) return false;
  }
  return true;
}

bool Sha256Equal(const std::wstring& expected, const std::string& computed) {
  if (!IsSha256Text(expected) || computed.size() != expected.size()) return false;
  for (size_t i = 0; i < expected.size(); ++i)
    if (Lower(expected[i]) != static_cast<wchar_t>(computed[i])) return false;
  return true;
}

Sha256Stream::Sha256Stream() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
  algorithm_ = algorithm;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) hash_ = hash;
}

Sha256Stream::~Sha256Stream() {
  if (hash_) ::BCryptDestroyHash(hash_);
  if (algorithm_) ::BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Sha256Stream::Append(const void* bytes, unsigned long count) {
  return hash_ && BCRYPT_SUCCESS(::BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(bytes)), count, 0));
}

bool Sha256Stream::Finish(std::string& hex) {
  BYTE digest[kDigestBytes] = {};
  hex.clear();
  if (!hash_ || !BCRYPT_SUCCESS(::BCryptFinishHash(hash_, digest, sizeof(digest), 0))) return false;
  ::BCryptDestroyHash(hash_);
  hash_ = nullptr;
  hex = ToHex(digest, sizeof(digest));
  return true;
}

}  // namespace FileDigest
