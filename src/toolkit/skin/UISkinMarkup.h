#pragma once

// The skin reader: a small XML dialect parsed in place into one wide buffer and a flat element
// table, walked with a cursor that is copied by value. Names and values are positions in that buffer,
// so a cursor stays usable for as long as its reader holds the same document.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SkinUI {

class CSkinMarkup;

// Larger skin files and archive entries are refused before they are read.
constexpr size_t kMaxSkinFileBytes = 4194304;
// The reader recurses once per element level; deeper documents fail instead of exhausting the stack.
constexpr int kMaxSkinNesting = 256;
// No skin comes near this; a forged document could otherwise grow the table until memory runs out.
constexpr uint32_t kMaxSkinElements = 100000;
// Attributes of one element beyond this are not seen by a cursor.
constexpr int kMaxSkinAttributes = 64;

class CSkinMarkupNode {
 public:
  CSkinMarkupNode() = default;
  CSkinMarkupNode(const CSkinMarkup* owner, uint32_t index);

  bool IsValid() const { return owner_ != nullptr && index_ != 0; }
  const wchar_t* GetName() const;
  // The element's text before its first child element; empty for an empty-element tag.
  const wchar_t* GetValue() const;
  CSkinMarkupNode GetChild() const;
  CSkinMarkupNode GetSibling() const;
  CSkinMarkupNode GetParent() const;
  bool HasChildren() const;

  bool HasAttributes() const;
  int GetAttributeCount() const;
  // Empty text for an index out of range.
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  // Exact, case-sensitive name; copies at most capacity characters of the value into value.
  bool GetAttributeValue(const wchar_t* name, std::wstring& value, size_t capacity) const;
  // Exact, case-sensitive name; null when the element has no such attribute.
  const wchar_t* FindAttribute(const wchar_t* name) const;

 private:
  struct AttributeSpan {
    size_t name;
    size_t value;
  };
  void MapAttributes() const;

  const CSkinMarkup* owner_ = nullptr;
  uint32_t index_ = 0;
  mutable bool mapped_ = false;
  mutable int attributeCount_ = 0;
  mutable AttributeSpan attributes_[kMaxSkinAttributes] = {};
};

class CSkinMarkup {
 public:
  CSkinMarkup() = default;
  CSkinMarkup(const CSkinMarkup&) = delete;
  CSkinMarkup& operator=(const CSkinMarkup&) = delete;

  bool Load(const wchar_t* text);
  bool LoadFromMem(const unsigned char* bytes, size_t length);
  // Reads the file through the toolkit's resource state: a loose file in the skin folder or an
  // entry of the skin archive.
  bool LoadFromFile(const std::wstring& fileName);
  void Release();

  bool IsValid() const { return !elements_.empty(); }
  CSkinMarkupNode GetRoot() const;

  // The reason of the last failure (at most 99 characters) and the text where it happened (at most 49).
  const std::wstring& GetLastErrorMessage() const { return errorMessage_; }
  const std::wstring& GetLastErrorLocation() const { return errorLocation_; }

  // How many element records the table holds and has room for, the placeholder included.
  size_t ElementCount() const { return elements_.size(); }
  size_t ElementCapacity() const { return elements_.capacity(); }

 private:
  friend class CSkinMarkupNode;

  struct Element {
    size_t name = 0;
    size_t value = 0;
    uint32_t parent = 0;
    uint32_t child = 0;
    uint32_t sibling = 0;
  };

  // The parse; every step returns false after recording the failure.
  bool Parse();
  bool ParseLevel(wchar_t*& p, uint32_t parent, int depth);
  bool ParseElement(wchar_t*& p, uint32_t parent, uint32_t& previous, int depth);
  bool ParseStartTag(wchar_t*& p, uint32_t index, bool& empty);
  bool ParseContent(wchar_t*& p, uint32_t index, uint32_t parent, int depth);
  bool ParseClosingTag(wchar_t*& p, uint32_t index);
  bool ParseAttributes(wchar_t*& p);
  static void ParseData(wchar_t*& p, wchar_t*& dest, wchar_t end);
  static void SkipMarkupDeclaration(wchar_t*& p);
  bool NewElement(uint32_t parent, uint32_t& previous, size_t namePos, uint32_t& index);
  // The end of the text is allowed at this level when the level's parent is the placeholder or the root.
  bool EndAllowed(uint32_t parent) const { return parent <= 1; }
  bool Failed(const wchar_t* message, const wchar_t* where);
  bool LoadError(const wchar_t* message, const std::wstring& name, unsigned long error = 0);

  bool ReadLooseFile(const std::wstring& path, std::vector<unsigned char>& bytes);
  bool ReadArchiveFile(const std::wstring& name, std::vector<unsigned char>& bytes);

  size_t Pos(const wchar_t* p) const { return static_cast<size_t>(p - text_.data()); }
  const wchar_t* At(size_t pos) const { return text_.data() + pos; }

  std::vector<wchar_t> text_;
  std::vector<Element> elements_;
  std::wstring errorMessage_;
  std::wstring errorLocation_;
};

}  // namespace SkinUI
