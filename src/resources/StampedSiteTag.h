#pragma once

// The site tag stamped into a signed program after signing (tools/stamp-site-tag.py): an unsigned
// attribute of the first SignerInfo of the program's Authenticode signature, outside both the file
// digest and the signer's signature, so one signed build serves every download channel.

#include <cstddef>
#include <string>

enum StampedTagStatus {
  kStampedTag_Found = 0,
  kStampedTag_NoSignature,  // unsigned, unreadable or no program file: `why` says which
  kStampedTag_NotStamped,   // signed, without a tag
  kStampedTag_Damaged,      // the signature data is not the structure a signature has
  kStampedTag_Invalid,      // a tag is there but breaks the tag rules
};

// The rules the stamping tool enforces: 1 to 64 of A-Z a-z 0-9 _ . -
bool IsValidSiteTag(const std::string& tag);

// Looks for the tag in a PKCS#7 SignedData blob (bytes after its outer element are ignored: the
// certificate table pads it). `tag` is set only for kStampedTag_Found.
StampedTagStatus FindStampedTag(const unsigned char* pkcs7, size_t size, std::string& tag);

// The tag stamped into programFile. Otherwise `why` is one phrase for the log.
StampedTagStatus ReadStampedTag(const std::wstring& programFile, std::string& tag, std::string& why);
