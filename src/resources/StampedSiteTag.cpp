#include "resources/StampedSiteTag.h"

#include <vector>

#include "base/DerElement.h"
#include "base/PeSignatureReader.h"

using Base::DerElement;

namespace {

constexpr size_t kMaxTagLength = 64;

// 2.25.284818939344168882029955197877715601834: made from a UUID of our own (X.667), the stamping
// tool writes the same.
const unsigned char kTagOid[] = {0x69, 0x83, 0xac, 0xc6, 0x90, 0xf9, 0xa1, 0xac, 0xaa, 0x80,
                                 0xa1, 0xa1, 0x87, 0xf1, 0xa6, 0x9d, 0x88, 0x98, 0x93, 0x2a};
// 1.2.840.113549.1.7.2
const unsigned char kSignedDataOid[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x02};

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kSet = 0x31;
constexpr unsigned char kOid = 0x06;
constexpr unsigned char kUtf8String = 0x0C;
constexpr unsigned char kExplicit0 = 0xA0;
constexpr unsigned char kUnsignedAttributes = 0xA1;

bool IsTagCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
}

// The first child of `parent` with `tag`; false when there is none or the content is damaged.
bool FirstChild(const DerElement& parent, unsigned char tag, DerElement& out) {
  DerElement::Children children(parent);
  return children.Next(out) && out.tag() == tag;
}

// The last child of `parent`, whatever its tag.
bool LastChild(const DerElement& parent, DerElement& out, bool& damaged) {
  DerElement::Children children(parent);
  DerElement item;
  bool any = false;
  while (children.Next(item)) {
    out = item;
    any = true;
  }
  damaged = children.Damaged();
  return any && !damaged;
}

// ContentInfo { signedData OID, [0] { SignedData { ..., signerInfos SET } } } -> the first SignerInfo.
bool FirstSignerInfo(const unsigned char* pkcs7, size_t size, DerElement& signer) {
  DerElement contentInfo, oid, wrapper, signedData, signerInfos;
  if (!DerElement::Read(pkcs7, size, contentInfo) || contentInfo.tag() != kSequence) return false;
  DerElement::Children outer(contentInfo);
  if (!outer.Next(oid) || oid.tag() != kOid || !oid.ContentEquals(kSignedDataOid, sizeof kSignedDataOid)) return false;
  if (!outer.Next(wrapper) || wrapper.tag() != kExplicit0) return false;
  if (!FirstChild(wrapper, kSequence, signedData)) return false;
  bool damaged = false;
  if (!LastChild(signedData, signerInfos, damaged) || signerInfos.tag() != kSet) return false;
  return FirstChild(signerInfos, kSequence, signer);
}

// Attribute { OID, SET { UTF8String } } with our OID: sets `value` and returns kStampedTag_Found.
StampedTagStatus TagOfAttribute(const DerElement& attribute, std::string& value) {
  DerElement::Children parts(attribute);
  DerElement oid, values, text;
  if (!parts.Next(oid) || oid.tag() != kOid) return kStampedTag_Damaged;
  if (!oid.ContentEquals(kTagOid, sizeof kTagOid)) return kStampedTag_NotStamped;
  if (!parts.Next(values) || values.tag() != kSet || !FirstChild(values, kUtf8String, text)) return kStampedTag_Damaged;
  value.assign(reinterpret_cast<const char*>(text.content()), text.contentSize());
  return kStampedTag_Found;
}

}  // namespace

bool IsValidSiteTag(const std::string& tag) {
  if (tag.empty() || tag.size() > kMaxTagLength) return false;
  for (char c : tag)
    if (!IsTagCharacter(c)) return false;
  return true;
}

StampedTagStatus FindStampedTag(const unsigned char* pkcs7, size_t size, std::string& tag) {
  DerElement signer, last;
  if (!FirstSignerInfo(pkcs7, size, signer)) return kStampedTag_Damaged;
  bool damaged = false;
  if (!LastChild(signer, last, damaged)) return kStampedTag_Damaged;
  if (last.tag() != kUnsignedAttributes) return kStampedTag_NotStamped;
  DerElement::Children attributes(last);
  DerElement attribute;
  while (attributes.Next(attribute)) {
    if (attribute.tag() != kSequence) return kStampedTag_Damaged;
    std::string value;
    StampedTagStatus status = TagOfAttribute(attribute, value);
    if (status == kStampedTag_NotStamped) continue;
    if (status != kStampedTag_Found) return status;
    if (!IsValidSiteTag(value)) return kStampedTag_Invalid;
    tag = value;
    return kStampedTag_Found;
  }
  return attributes.Damaged() ? kStampedTag_Damaged : kStampedTag_NotStamped;
}

StampedTagStatus ReadStampedTag(const std::wstring& programFile, std::string& tag, std::string& why) {
  std::vector<unsigned char> pkcs7;
  Base::PeSignatureStatus signature = Base::PeSignatureReader(programFile).Read(pkcs7);
  StampedTagStatus status = kStampedTag_NoSignature;
  if (signature == Base::kPeSignature_Damaged)
    status = kStampedTag_Damaged;
  else if (signature == Base::kPeSignature_Found)
    status = FindStampedTag(pkcs7.data(), pkcs7.size(), tag);
  switch (status) {
    case kStampedTag_Found:
      why.clear();
      break;
    case kStampedTag_NoSignature:
      why = Base::PeSignatureStatusText(signature);
      break;
    case kStampedTag_NotStamped:
      why = "no site tag is stamped into the signature";
      break;
    case kStampedTag_Damaged:
      why = "the signature data is damaged";
      break;
    case kStampedTag_Invalid:
      why = "the stamped site tag is invalid";
      break;
  }
  return status;
}
