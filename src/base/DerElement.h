#pragma once

// One element of DER-encoded data (tag, length, content) read from a bounded buffer. Reading never
// looks outside the buffer it is given: data from a file that anyone may have altered comes here.

#include <cstddef>

namespace Base {

class DerElement {
 public:
  // The element at the start of [data, data + size); false when its header or its content does
  // not fit, or the encoding is not DER (indefinite length, multi-byte tag, length over 4 bytes).
  static bool Read(const unsigned char* data, size_t size, DerElement& out);

  unsigned char tag() const { return tag_; }
  const unsigned char* content() const { return content_; }
  size_t contentSize() const { return contentSize_; }
  // Header and content: where the next element of the same level starts.
  size_t totalSize() const { return headerSize_ + contentSize_; }
  bool ContentEquals(const unsigned char* bytes, size_t size) const;

  // The elements inside this one, in order: Next gives the first, then the following ones; false
  // at the end and on damaged data (Damaged() then tells the two apart).
  class Children {
   public:
    explicit Children(const DerElement& parent) : next_(parent.content_), left_(parent.contentSize_) {}
    bool Next(DerElement& out);
    bool Damaged() const { return damaged_; }

   private:
    const unsigned char* next_;
    size_t left_;
    bool damaged_ = false;
  };

 private:
  unsigned char tag_ = 0;
  const unsigned char* content_ = nullptr;
  size_t headerSize_ = 0;
  size_t contentSize_ = 0;
};

}  // namespace Base
