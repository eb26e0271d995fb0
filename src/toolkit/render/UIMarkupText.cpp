#include "toolkit/render/UIMarkupText.h"

#include "toolkit/skin/UIValues.h"

namespace SkinUI {

namespace {

// A blank is added only between words, so that the text never starts or doubles one.
void AppendBlank(std::wstring& out) {
  if (!out.empty() && out.back() != L' ') out.push_back(L' ');
}

void AppendChar(std::wstring& out, wchar_t ch) {
  if (ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n')
    AppendBlank(out);
  else
    out.push_back(ch);
}

// Copies a raw run up to its closing tag; returns where reading goes on.
size_t CopyRaw(const std::wstring& text, size_t i, std::wstring& out) {
  size_t end = text.find(L"{/r}", i);
  const size_t angled = text.find(L"</r>", i);
  if (angled < end) end = angled;
  const size_t stop = end == std::wstring::npos ? text.size() : end;
  for (; i < stop; ++i) AppendChar(out, text[i]);
  return end == std::wstring::npos ? text.size() : end + 4;
}

}  // namespace

std::wstring MarkupPlainText(const std::wstring& marked) {
  const std::wstring text = MultiLanguage::Expand(marked);
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsMarkupTagAt(text, i)) {
      AppendChar(out, text[i++]);
      continue;
    }
    size_t end = text.find_first_of(L">}", i + 1);
    if (end == std::wstring::npos) end = text.size();
    const wchar_t letter = text[i + 1];
    i = end + 1;
    if (letter == L'n' || letter == L'p')
      AppendBlank(out);
    else if (letter == L'r')
      i = CopyRaw(text, i, out);
  }
  if (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

}  // namespace SkinUI
