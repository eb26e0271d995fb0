#pragma once

// The publisher check of a downloaded installer: its Authenticode signature must be valid and its
// signer must be the publisher the pack names. It runs before the installer is started elevated.

#include <windows.h>

#include <string>

// Who must have signed the file. The name is compared with the signer certificate's simple display
// name (the subject's common name, or its first organisational name when it has no common name),
// exactly: a code-signing CA vets that name, and it is what Windows shows as "Verified publisher".
// The optional SHA-256 (hexadecimal, any case) names the signer's certificate itself, for a pin that
// a second certificate issued to the same name does not meet.
struct PublisherPin {
  std::wstring name;
  std::wstring certSha256;

  bool IsSet() const { return !name.empty() || !certSha256.empty(); }
};

enum PublisherVerdict {
  kPublisher_Accepted = 0,
  kPublisher_BadSignature,         // unsigned, altered after signing, untrusted or expired: WinVerifyTrust refused
  kPublisher_NoSigner,             // the signature verified but its signer's certificate could not be read
  kPublisher_NameMismatch,         // signed by someone else
  kPublisher_CertificateMismatch,  // the pinned name, but not the pinned certificate
};

// Checks `path` against `pin` and logs the verdict with the signer's name, or the reason of a
// refusal (WinVerifyTrust's code in hexadecimal). With `file`, an open handle of it (readable), the
// signature and the digest it signs are read through that handle, and `path` only names the file. An
// empty pin accepts without looking at the file. Never throws.
PublisherVerdict VerifyPublisher(const std::wstring& path, const PublisherPin& pin, HANDLE file = nullptr);
