#include "tool/FileDigest.h"

#include <windows.h>

#include <wincrypt.h>

#include <vector>

#include "base/Scoped.h"

namespace FileDigest {
namespace {

void ReleaseProvider(HCRYPTPROV provider) { ::CryptReleaseContext(provider, 0); }
using CryptProvider = Scoped::Handle<Scoped::ZeroIsEmpty<HCRYPTPROV, &ReleaseProvider>>;
using CryptHash = Scoped::Handle<Scoped::ZeroIsEmpty<HCRYPTHASH, &::CryptDestroyHash>>;

constexpr DWORD kChunk = 1 << 20;
constexpr size_t kDigestBytes = 32;

bool HashFileInto(HCRYPTHASH hash, HANDLE file) {
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  std::vector<BYTE> buffer(kChunk);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), kChunk, &read, nullptr)) return false;
    if (read == 0) return true;
    if (!::CryptHashData(hash, buffer.data(), read, 0)) return false;
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
  CryptProvider provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  CryptHash hash;
  if (!::CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) return false;
  if (!feed(hash.get())) return false;
  BYTE digest[kDigestBytes] = {};
  DWORD size = sizeof(digest);
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &size, 0) || size != kDigestBytes) return false;
  hex = ToHex(digest, size);
  return true;
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
  return Sha256Of([file](HCRYPTHASH hash) { return HashFileInto(hash, file); }, hex);
}

bool Sha256Bytes(const void* bytes, unsigned long count, std::string& hex) {
  hex.clear();
  return Sha256Of([bytes, count](HCRYPTHASH hash) {
    return ::CryptHashData(hash, static_cast<const BYTE*>(bytes), count, 0) != FALSE;
  }, hex);
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

}  // namespace FileDigest
