#include "base/DerElement.h"

#include <cstring>

namespace Base {

namespace {

// Four length bytes are more than any signature needs and keep the sum below size_t's limit.
constexpr size_t kMaxLengthBytes = 4;

}  // namespace

bool DerElement::Read(const unsigned char* data, size_t size, DerElement& out) {
  if (!data || size < 2) return false;
  const unsigned char tag = data[0];
  if ((tag & 0x1F) == 0x1F) return false;
  const unsigned char first = data[1];
  size_t header = 2;
  size_t length = first;
  if (first == 0x80) return false;
  if (first > 0x80) {
    const size_t count = first & 0x7F;
    if (count > kMaxLengthBytes || count > size - 2) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | data[2 + i];
    header += count;
  }
  if (length > size - header) return false;
  out.tag_ = tag;
  out.content_ = data + header;
  out.headerSize_ = header;
  out.contentSize_ = length;
  return true;
}

bool DerElement::ContentEquals(const unsigned char* bytes, size_t size) const {
  return contentSize_ == size && std::memcmp(content_, bytes, size) == 0;
}

bool DerElement::Children::Next(DerElement& out) {
  if (damaged_ || left_ == 0) return false;
  if (!DerElement::Read(next_, left_, out)) {
    damaged_ = true;
    return false;
  }
  next_ += out.totalSize();
  left_ -= out.totalSize();
  return true;
}

}  // namespace Base
