#include "toolkit/skin/UISkinMarkup.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "log/Log.h"
#include "toolkit/skin/UIResource.h"
#include "base/Scoped.h"
#include "toolkit/skin/ZipArchive.h"

namespace SkinUI {

namespace {

constexpr size_t kMaxErrorMessage = 99;
constexpr size_t kMaxErrorLocation = 49;

// Every control character counts as a blank, as in the files the skins were written with; the
// terminating zero does not, so no skip ever runs past the end of the text.
bool IsBlank(wchar_t c) { return c != 0 && c <= L' '; }

bool IsNameChar(wchar_t c) { return c == L'_' || c == L':' || (c != 0 && ::IsCharAlphaNumericW(c)); }

void SkipBlanks(wchar_t*& p) {
  while (IsBlank(*p)) ++p;
}

struct Entity {
  const wchar_t* text;
  size_t length;
  wchar_t value;
};

const Entity kEntities[] = {
    {L"&amp;", 5, L'&'}, {L"&lt;", 4, L'<'}, {L"&gt;", 4, L'>'}, {L"&quot;", 6, L'"'}, {L"&apos;", 6, L'\''}};

// The character an entity at p stands for, and its length; 0 when p starts none of the five.
wchar_t EntityAt(const wchar_t* p, size_t& length) {
  for (const Entity& entity : kEntities) {
    if (std::wcsncmp(p, entity.text, entity.length) != 0) continue;
    length = entity.length;
    return entity.value;
  }
  return 0;
}

}  // namespace

// ---- cursor ----

CSkinMarkupNode::CSkinMarkupNode(const CSkinMarkup* owner, uint32_t index)
    : owner_(owner && index < owner->elements_.size() ? owner : nullptr), index_(owner_ ? index : 0) {}

const wchar_t* CSkinMarkupNode::GetName() const { return IsValid() ? owner_->At(owner_->elements_[index_].name) : L""; }

const wchar_t* CSkinMarkupNode::GetValue() const {
  return IsValid() ? owner_->At(owner_->elements_[index_].value) : L"";
}

CSkinMarkupNode CSkinMarkupNode::GetChild() const {
  return IsValid() ? CSkinMarkupNode(owner_, owner_->elements_[index_].child) : CSkinMarkupNode();
}

CSkinMarkupNode CSkinMarkupNode::GetSibling() const {
  return IsValid() ? CSkinMarkupNode(owner_, owner_->elements_[index_].sibling) : CSkinMarkupNode();
}

CSkinMarkupNode CSkinMarkupNode::GetParent() const {
  return IsValid() ? CSkinMarkupNode(owner_, owner_->elements_[index_].parent) : CSkinMarkupNode();
}

bool CSkinMarkupNode::HasChildren() const { return IsValid() && owner_->elements_[index_].child != 0; }

bool CSkinMarkupNode::HasAttributes() const { return GetAttributeCount() > 0; }

int CSkinMarkupNode::GetAttributeCount() const {
  if (!IsValid()) return 0;
  if (!mapped_) MapAttributes();
  return attributeCount_;
}

const wchar_t* CSkinMarkupNode::GetAttributeName(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->At(attributes_[index].name);
}

const wchar_t* CSkinMarkupNode::GetAttributeValue(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->At(attributes_[index].value);
}

const wchar_t* CSkinMarkupNode::FindAttribute(const wchar_t* name) const {
  if (!name) return nullptr;
  const int count = GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (std::wcscmp(owner_->At(attributes_[i].name), name) == 0) return owner_->At(attributes_[i].value);
  }
  return nullptr;
}

bool CSkinMarkupNode::GetAttributeValue(const wchar_t* name, std::wstring& value, size_t capacity) const {
  value.clear();
  const wchar_t* found = FindAttribute(name);
  if (!found) return false;
  value.assign(found, std::min(std::wcslen(found), capacity));
  return true;
}

// The parse left each attribute as: name, zero, blanks, quote, value, zero. The walk starts after the
// element name's zero and never passes the element's value, which lies after every attribute.
void CSkinMarkupNode::MapAttributes() const {
  mapped_ = true;
  attributeCount_ = 0;
  const CSkinMarkup::Element& element = owner_->elements_[index_];
  const wchar_t* text = owner_->text_.data();
  const size_t limit = element.value;
  size_t pos = element.name + std::wcslen(text + element.name) + 1;
  while (pos < limit && attributeCount_ < kMaxSkinAttributes) {
    while (pos < limit && IsBlank(text[pos])) ++pos;
    if (pos >= limit) return;
    const size_t name = pos;
    pos += std::wcslen(text + pos) + 1;
    while (pos < limit && IsBlank(text[pos])) ++pos;
    if (pos >= limit || text[pos] != L'"') return;
    const size_t value = ++pos;
    attributes_[attributeCount_++] = {name, value};
    pos += std::wcslen(text + pos) + 1;
  }
}

// ---- loading ----

void CSkinMarkup::Release() {
  std::vector<wchar_t>().swap(text_);
  std::vector<Element>().swap(elements_);
}

CSkinMarkupNode CSkinMarkup::GetRoot() const {
  return elements_.size() > 1 ? CSkinMarkupNode(this, 1) : CSkinMarkupNode();
}

bool CSkinMarkup::Load(const wchar_t* text) {
  Release();
  const size_t length = text ? std::wcslen(text) : 0;
  text_.assign(length + 1, 0);
  if (length) std::copy(text, text + length, text_.begin());
  return Parse();
}

bool CSkinMarkup::LoadFromMem(const unsigned char* bytes, size_t length) {
  Release();
  errorMessage_.clear();
  errorLocation_.clear();
  if (!bytes) length = 0;
  if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes += 3;
    length -= 3;
  }
  if (length > static_cast<size_t>(INT_MAX / 2)) return LoadError(L"File too large", L"(memory)");
  const char* source = reinterpret_cast<const char*>(bytes);
  const int narrow = static_cast<int>(length);
  const int wide = narrow ? ::MultiByteToWideChar(CP_UTF8, 0, source, narrow, nullptr, 0) : 0;
  text_.assign(static_cast<size_t>(wide > 0 ? wide : 0) + 1, 0);
  if (wide > 0) ::MultiByteToWideChar(CP_UTF8, 0, source, narrow, text_.data(), wide);
  return Parse();
}

bool CSkinMarkup::LoadFromFile(const std::wstring& fileName) {
  Release();
  errorMessage_.clear();
  errorLocation_.clear();
  std::vector<unsigned char> bytes;
  const bool read = Resource::SkinZipName().empty() ? ReadLooseFile(Resource::SkinPath() + fileName, bytes)
                                                    : ReadArchiveFile(fileName, bytes);
  if (!read) return false;
  if (LoadFromMem(bytes.data(), bytes.size())) return true;
  LOG_INFOW(L"ERR: skin %ls cannot be read: %ls", fileName.c_str(), errorMessage_.c_str());
  return false;
}

bool CSkinMarkup::ReadLooseFile(const std::wstring& path, std::vector<unsigned char>& bytes) {
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LoadError(L"Error opening file", path, ::GetLastError());
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) return LoadError(L"Could not read file", path, ::GetLastError());
  if (size.QuadPart == 0) return LoadError(L"File is empty", path);
  if (size.QuadPart > static_cast<LONGLONG>(kMaxSkinFileBytes)) return LoadError(L"File too large", path);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
    return LoadError(L"Could not read file", path, ::GetLastError());
  return true;
}

bool CSkinMarkup::ReadArchiveFile(const std::wstring& name, std::vector<unsigned char>& bytes) {
  CZipArchive ownArchive;  // for this load only, when no archive is kept open
  const CZipArchive* archive = Resource::OpenArchive();
  const std::wstring zipName = Resource::SkinZipName();
  if (!archive && ownArchive.OpenFile(Resource::SkinPath() + zipName)) archive = &ownArchive;
  if (!archive) return LoadError(L"Error opening zip file", zipName);
  // Archive names of 256 characters or more are never found.
  const int index = name.size() < 256 ? archive->FindEntry(name) : -1;
  if (index < 0) return LoadError(L"Could not find ziped file", name);
  const ZipEntryInfo* info = archive->GetEntryInfo(index);
  if (info->uncompressedSize == 0) return LoadError(L"File is empty", name);
  if (info->uncompressedSize > kMaxSkinFileBytes) return LoadError(L"File too large", name);
  if (!archive->ReadEntry(index, bytes)) return LoadError(L"Could not unzip file", name);
  return true;
}

bool CSkinMarkup::LoadError(const wchar_t* message, const std::wstring& name, unsigned long error) {
  Release();
  errorMessage_.assign(message, std::min(std::wcslen(message), kMaxErrorMessage));
  errorLocation_.assign(name, 0, std::min(name.size(), kMaxErrorLocation));
  LOG_INFOW(L"ERR: skin %ls: %ls (error %lu)", name.c_str(), message, error);
  return false;
}

bool CSkinMarkup::Failed(const wchar_t* message, const wchar_t* where) {
  errorMessage_.assign(message, std::min(std::wcslen(message), kMaxErrorMessage));
  errorLocation_.assign(where, std::min(std::wcslen(where), kMaxErrorLocation));
  std::wstring shown = errorLocation_;  // one log record per failure, whatever the text holds
  std::replace_if(shown.begin(), shown.end(), IsBlank, L' ');
  LOG_INFOW(L"ERR: skin markup: %ls at \"%ls\"", errorMessage_.c_str(), shown.c_str());
  Release();
  return false;
}

// ---- parsing ----

bool CSkinMarkup::Parse() {
  errorMessage_.clear();
  errorLocation_.clear();
  std::vector<Element>().swap(elements_);
  elements_.reserve(500);
  elements_.emplace_back();  // the placeholder: parent of the top level
  wchar_t* p = text_.data();
  return ParseLevel(p, 0, 0);
}

bool CSkinMarkup::ParseLevel(wchar_t*& p, uint32_t parent, int depth) {
  uint32_t previous = 0;
  for (;;) {
    SkipBlanks(p);
    if (*p == 0) return EndAllowed(parent) || Failed(L"Expected start tag", p);
    if (*p != L'<') return Failed(L"Expected start tag", p);
    if (p[1] == L'/') return true;
    ++p;
    SkipBlanks(p);
    if (*p == L'!' || *p == L'?') {
      SkipMarkupDeclaration(p);
      continue;
    }
    if (!ParseElement(p, parent, previous, depth)) return false;
  }
}

void CSkinMarkup::SkipMarkupDeclaration(wchar_t*& p) {
  const wchar_t close = *p == L'!' ? L'-' : L'?';
  while (*p != 0 && !(p[0] == close && p[1] == L'>')) ++p;
  if (*p != 0) p += 2;
}

bool CSkinMarkup::NewElement(uint32_t parent, uint32_t& previous, size_t namePos, uint32_t& index) {
  if (elements_.size() >= kMaxSkinElements) return Failed(L"Too many elements", At(namePos));
  if (elements_.size() == elements_.capacity()) {
    const size_t capacity = elements_.capacity();
    elements_.reserve(capacity + capacity / 2 + 500);
  }
  index = static_cast<uint32_t>(elements_.size());
  Element element;
  element.name = element.value = namePos;
  element.parent = parent;
  elements_.push_back(element);
  if (previous != 0) {
    elements_[previous].sibling = index;
  } else if (parent != 0) {
    elements_[parent].child = index;
  }
  previous = index;
  return true;
}

bool CSkinMarkup::ParseElement(wchar_t*& p, uint32_t parent, uint32_t& previous, int depth) {
  if (depth >= kMaxSkinNesting) return Failed(L"Elements nested too deeply", p);
  uint32_t index = 0;
  if (!NewElement(parent, previous, Pos(p), index)) return false;
  bool empty = false;
  if (!ParseStartTag(p, index, empty)) return false;
  if (empty) {  // an empty-element tag: no value, no children
    SkipBlanks(p);
    return true;
  }
  return ParseContent(p, index, parent, depth);
}

// Leaves p after ">" or "/>", and the name terminated: the character after it has been read by then.
bool CSkinMarkup::ParseStartTag(wchar_t*& p, uint32_t index, bool& empty) {
  while (IsNameChar(*p)) ++p;
  if (*p == 0) return Failed(L"Error parsing element name", p);
  wchar_t* nameEnd = p;
  if (!ParseAttributes(p)) return false;
  SkipBlanks(p);
  if (p[0] == L'/' && p[1] == L'>') {
    elements_[index].value = Pos(p);
    *p = 0;
    *nameEnd = 0;
    p += 2;
    empty = true;
    return true;
  }
  if (*p != L'>') return Failed(L"Expected start-tag closing", p);
  *nameEnd = 0;
  ++p;
  empty = false;
  return true;
}

bool CSkinMarkup::ParseAttributes(wchar_t*& p) {
  for (;;) {
    SkipBlanks(p);
    if (*p == 0 || *p == L'>' || *p == L'/') return true;
    while (IsNameChar(*p)) ++p;
    wchar_t* nameEnd = p;
    SkipBlanks(p);
    if (*p != L'=') return Failed(L"Error while parsing attributes", p);
    *p++ = L' ';
    *nameEnd = 0;
    SkipBlanks(p);
    if (*p != L'"') return Failed(L"Expected attribute value", p);
    wchar_t* dest = ++p;
    ParseData(p, dest, L'"');
    if (*p == 0) return Failed(L"Error while parsing attribute string", p);
    // A blank, not the quote, must follow the value's zero, or the attribute walk would take the
    // quote for the start of a name.
    if (dest != p) *p = L' ';
    *dest = 0;
    ++p;
  }
}

// Copies characters up to end (or the end of the text) towards dest, decoding the five entities;
// the positions the entities freed become blanks.
void CSkinMarkup::ParseData(wchar_t*& p, wchar_t*& dest, wchar_t end) {
  while (*p != 0 && *p != end) {
    size_t length = 0;
    const wchar_t decoded = *p == L'&' ? EntityAt(p, length) : 0;
    if (decoded != 0) {
      *dest++ = decoded;
      p += length;
    } else {
      *dest++ = *p++;
    }
  }
  for (wchar_t* blank = dest; blank < p; ++blank) *blank = L' ';
}

// p is after the start tag's ">". Reads the value, the children and the closing tag.
bool CSkinMarkup::ParseContent(wchar_t*& p, uint32_t index, uint32_t parent, int depth) {
  elements_[index].value = Pos(p);
  wchar_t* valueEnd = p;
  ParseData(p, valueEnd, L'<');
  if (*p == 0) {
    *valueEnd = 0;
    return EndAllowed(parent) || Failed(L"Expected end-tag start", p);
  }
  if (p[1] != L'/') {
    if (!ParseLevel(p, index, depth + 1)) return false;
    // The children's level accepts the end of the text only below the root, so the root may end here.
    if (*p == 0) {
      *valueEnd = 0;
      return EndAllowed(parent) || Failed(L"Expected end-tag start", p);
    }
  }
  if (!ParseClosingTag(p, index)) return false;
  *valueEnd = 0;  // only now: without children the value ends at the closing tag's "<"
  SkipBlanks(p);
  return true;
}

bool CSkinMarkup::ParseClosingTag(wchar_t*& p, uint32_t index) {
  p += 2;
  SkipBlanks(p);
  const wchar_t* name = At(elements_[index].name);
  const size_t length = std::wcslen(name);
  if (std::wcsncmp(p, name, length) != 0) return Failed(L"Unmatched closing tag", p);
  p += length;
  SkipBlanks(p);
  if (*p != L'>') return Failed(L"Unmatched closing tag", p);
  ++p;
  return true;
}

}  // namespace SkinUI
