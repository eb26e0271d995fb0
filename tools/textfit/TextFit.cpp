// textfit PRODUCT_FOLDER [DPI ...]: lays the installer's window out in every language of a product
// folder (the folder SETUP_PRODUCT_DIR names: language/, skin/), on each page and at each display
// scale (96, 144 and 192 DPI unless given), and lists every text whose words need more room than the
// window gives them, measured by the toolkit's own painter with the fonts of this machine.
// Exit code: 0 when everything fits, 1 when a text is clipped, 2 when the folder cannot be read.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "Window/SkinTexts.h"
#include "language/LanguageManager.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/window/UISkinBuilder.h"
#include "toolkit/controls/UITextFit.h"

using namespace SkinUI;

namespace {

constexpr int kFoldHeight = 75;  // what the options box adds below the home page

struct Language {
  LANGID id;
  std::wstring folder;
};

// language.ini's "[Language]" section: "1033=English" lines.
std::vector<Language> PackLanguages(const std::wstring& pack) {
  std::vector<Language> languages;
  std::vector<wchar_t> section(32768);
  const DWORD length = ::GetPrivateProfileSectionW(L"Language", section.data(), static_cast<DWORD>(section.size()),
                                                   (pack + L"language.ini").c_str());
  for (const wchar_t* line = section.data(); line < section.data() + length && *line; line += wcslen(line) + 1) {
    const std::wstring entry = line;
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) continue;
    const LANGID id = static_cast<LANGID>(_wtoi(entry.substr(0, equals).c_str()));
    if (id) languages.push_back({id, entry.substr(equals + 1)});
  }
  return languages;
}

// A window that is never shown: the manager measures with its device context.
class HiddenWindow {
 public:
  HiddenWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TextFitWindow";
    ::RegisterClassW(&wc);
    hwnd_ =
        ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 650, 360, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~HiddenWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
  }
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

// The installer's pages as its window shows them, by the skin's control names.
enum class Page { kHome, kHomeOptionsOpen, kProgress, kFinish };
const wchar_t* PageName(Page page) {
  switch (page) {
    case Page::kHome:
      return L"home";
    case Page::kHomeOptionsOpen:
      return L"home, options open";
    case Page::kProgress:
      return L"progress";
    case Page::kFinish:
      return L"finish";
  }
  return L"";
}

class InstallerWindow {
 public:
  InstallerWindow(const std::wstring& skinFile, const LanguageManager& language) : language_(language) {
    manager_.Init(window_.hwnd(), L"textfit");
    manager_.SetRightToLeft(language.IsRightToLeft());
    CSkinBuilder builder;
    root_ = builder.Create(skinFile.c_str(), nullptr, nullptr, &manager_);
    if (root_) manager_.AttachRoot(root_);
  }
  bool Ok() const { return root_ != nullptr; }

  std::vector<ClippedText> Clipped(Page page, int dpi) {
    manager_.SetDpi(dpi);
    Show(page);
    SIZE size = manager_.InitSize();
    if (page == Page::kHomeOptionsOpen) size.cy += manager_.Scale(kFoldHeight);
    root_->Place({0, 0, size.cx, size.cy}, false);
    return FindClippedTexts(root_);
  }

 private:
  void Visible(const wchar_t* name, bool visible) {
    if (CControlUI* control = manager_.LookupControl(name)) control->SetVisible(visible);
  }
  void Text(const wchar_t* name, const std::wstring& text) {
    if (CControlUI* control = manager_.LookupControl(name)) control->SetText(text);
  }

  void Show(Page page) {
    FillSkinTexts(manager_, language_);
    if (auto* tabs = static_cast<CTabLayoutUI*>(
            manager_.LookupControl(L"switch") ? manager_.LookupControl(L"switch")->CastTo(L"TabLayout") : nullptr))
      tabs->SelectIndex(page == Page::kProgress ? 1 : 0, false);
    const bool finish = page == Page::kFinish;
    Visible(L"btn_install", !finish);
    Visible(L"btn_start", finish);
    Visible(L"lineLayout", !finish);
    Visible(L"customLayout", !finish);
    // The open options show the path area with the longest tip the window writes there.
    Visible(L"bottomLayout", page == Page::kHomeOptionsOpen);
    Visible(L"label_tip", page == Page::kHomeOptionsOpen);
    Text(L"label_tip", language_.GetString(L"STR_PATH_INVALID"));
    Text(L"edit_path", L"C:\\Program Files (x86)\\");
    Text(L"label_progress", ProgressLabelText(100));
  }

  HiddenWindow window_;
  CUIManager manager_;
  const LanguageManager& language_;
  CControlUI* root_ = nullptr;
};

// UTF-8 whatever the console's code page: the lines name texts in every script.
void Print(const std::wstring& line) {
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &out[0], bytes, nullptr, nullptr);
  fwrite(out.data(), 1, out.size(), stdout);
}

std::wstring Format(const wchar_t* format, ...) {
  wchar_t buffer[4096] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf(buffer, 4095, format, args);
  va_end(args);
  return buffer;
}

std::wstring WithSlash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fwprintf(stderr, L"usage: textfit PRODUCT_FOLDER [DPI ...]\n");
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in "\n" alone, for the tools that read them
  const std::wstring product = WithSlash(argv[1]);
  const std::wstring pack = product + L"language\\";
  std::vector<int> scales;
  for (int i = 2; i < argc; ++i) scales.push_back(_wtoi(argv[i]));
  if (scales.empty()) scales = {96, 144, 192};
  const std::vector<Language> languages = PackLanguages(pack);
  if (languages.empty()) {
    fwprintf(stderr, L"textfit: no languages in %lslanguage.ini\n", pack.c_str());
    return 2;
  }
  Resource::SetSkinPath(product + L"skin\\");
  int clipped = 0, checked = 0;
  for (const Language& entry : languages) {
    LanguageManager language;
    language.InitForLanguage(pack, entry.id);
    const std::wstring skin = language.IsRightToLeft() ? L"main_rtl.xml" : L"main.xml";
    InstallerWindow window(skin, language);
    if (!window.Ok()) {
      fwprintf(stderr, L"textfit: %ls%ls cannot be built\n", (product + L"skin\\").c_str(), skin.c_str());
      return 2;
    }
    for (Page page : {Page::kHome, Page::kHomeOptionsOpen, Page::kProgress, Page::kFinish}) {
      for (int dpi : scales) {
        ++checked;
        for (const ClippedText& c : window.Clipped(page, dpi)) {
          ++clipped;
          Print(Format(L"%ls (%u) | %ls | %d dpi | %ls | needs %ld x %ld, has %ld x %ld | %ls\n", entry.folder.c_str(),
                       entry.id, PageName(page), dpi, c.control.c_str(), c.needed.cx, c.needed.cy, c.available.cx,
                       c.available.cy, c.text.c_str()));
        }
      }
    }
  }
  Print(Format(L"textfit: %d clipped text(s) in %d language(s), %d page and scale case(s)\n", clipped,
               static_cast<int>(languages.size()), checked));
  return clipped ? 1 : 0;
}
