#include "install/CommandLine.h"

#include <cwchar>
#include <cwctype>

#include "install/ExitCode.h"
#include "install/InstallFlow.h"
#include "base/ModulePath.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool IsSwitch(const std::wstring& word) { return !word.empty() && (word[0] == L'/' || word[0] == L'-'); }

// One switch: its lower-case name and, when the word carries one, its value.
struct SwitchWord {
  std::wstring name;
  std::wstring value;
  bool hasValue = false;
};

SwitchWord SplitSwitch(const std::wstring& word) {
  SwitchWord out;
  const size_t separator = word.find_first_of(L"=:", 1);
  out.name = Lower(word.substr(1, separator == std::wstring::npos ? std::wstring::npos : separator - 1));
  if (separator != std::wstring::npos) {
    out.value = word.substr(separator + 1);
    out.hasValue = true;
  }
  return out;
}

// A path as the rest of the program uses it: full, and short enough for its fixed buffers.
bool FullPath(const std::wstring& text, std::wstring& full) {
  if (text.empty() || text.find_first_of(L"*?<>|\"") != std::wstring::npos) return false;
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameW(text.c_str(), MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  full.assign(buffer, length);
  return true;
}

// A decimal LCID, or a hexadecimal one after "0x"; only its language part is kept.
bool LanguageOf(const std::wstring& text, LANGID& language) {
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  const std::wstring digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return false;
  for (wchar_t c : digits) {
    if (hex ? !std::iswxdigit(c) : !std::iswdigit(c)) return false;
  }
  const unsigned long long lcid = std::wcstoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (lcid > 0xFFFFFFFFull) return false;
  language = LANGIDFROMLCID(static_cast<LCID>(lcid));
  return language != 0;
}

class Parser {
 public:
  explicit Parser(std::vector<std::wstring> words) : words_(std::move(words)) {}

  SetupOptions Run() {
    for (next_ = 0; next_ < words_.size() && options_.error.empty();) Take(words_[next_++]);
    return options_;
  }

 private:
  void Fail(const std::wstring& why) {
    if (options_.error.empty()) options_.error = why;
  }

  void Take(const std::wstring& word) {
    if (!IsSwitch(word)) return Fail(L"\"" + word + L"\" is not a switch");
    SwitchWord item = SplitSwitch(word);
    if (item.name == L"?" || item.name == L"help") return Flag(item, word, options_.showUsage);
    if (item.name == L"quiet") return Mode(item, word, RunMode::kQuiet);
    if (item.name == L"passive") return Mode(item, word, RunMode::kPassive);
    if (item.name == L"dir") return Path(item, word, options_.installDir);
    if (item.name == L"log") return Path(item, word, options_.logCopy);
    if (item.name == L"lang") return Language(item, word);
    Fail(L"unknown switch " + word);
  }

  void Flag(const SwitchWord& item, const std::wstring& word, bool& flag) {
    if (item.hasValue) return Fail(word + L" takes no value");
    flag = true;
  }

  void Mode(const SwitchWord& item, const std::wstring& word, RunMode mode) {
    if (item.hasValue) return Fail(word + L" takes no value");
    if (modeGiven_ && options_.mode != mode) return Fail(L"only one of /quiet and /passive may be given");
    modeGiven_ = true;
    options_.mode = mode;
  }

  // "/dir=X", "/dir:X" or "/dir X".
  bool ValueOf(SwitchWord& item, const std::wstring& word) {
    if (!item.hasValue && next_ < words_.size() && !IsSwitch(words_[next_])) {
      item.value = words_[next_++];
      item.hasValue = true;
    }
    if (item.value.empty()) Fail(word + L" needs a value");
    return !item.value.empty();
  }

  void Path(SwitchWord& item, const std::wstring& word, std::wstring& path) {
    if (!ValueOf(item, word)) return;
    if (!path.empty()) return Fail(L"/" + item.name + L" is given twice");
    if (!FullPath(item.value, path)) Fail(word + L": \"" + item.value + L"\" is not a usable path");
  }

  void Language(SwitchWord& item, const std::wstring& word) {
    if (!ValueOf(item, word)) return;
    if (!LanguageOf(item.value, options_.language)) Fail(word + L": \"" + item.value + L"\" is not a language id");
  }

  std::vector<std::wstring> words_;
  size_t next_ = 0;
  SetupOptions options_;
  bool modeGiven_ = false;
};

}  // namespace

const char* SetupOptions::ModeName() const {
  switch (mode) {
    case RunMode::kQuiet:
      return "quiet";
    case RunMode::kPassive:
      return "passive";
    default:
      return "interactive";
  }
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool quoted = false, inWord = false;
  for (const wchar_t* p = commandLine ? commandLine : L""; *p; ++p) {
    if (*p == L'"') {
      quoted = !quoted;
      inWord = true;
    } else if (IsBlank(*p) && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *p;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

SetupOptions ParseCommandLine(const wchar_t* commandLine) { return Parser(SplitCommandLine(commandLine)).Run(); }

void CheckOptionsOnDisk(SetupOptions& options) {
  if (!options.error.empty() || options.installDir.empty()) return;
  if (!IsInstallFolderAccepted(InstallFolderFromText(options.installDir)))
    options.error =
        L"/dir: \"" + options.installDir + L"\" cannot be installed into: its drive or parent folder is missing";
}

std::wstring UsageText() {
  const std::wstring program = Base::ProgramBaseName(Base::ModulePath()) + L".exe";
  return L"Usage: " + program +
         L" [/quiet | /passive] [/dir=\"C:\\folder\"] [/log=\"C:\\folder\\setup.log\"] [/lang=LCID]\n\n"
         L"  /quiet     no window and no question; the product is not started\n"
         L"  /passive   the progress window only; no question; it closes when done\n"
         L"  /dir=...   the install folder (it must exist, or its parent folder must)\n"
         L"  /log=...   also write the log to this file (missing folders are created)\n"
         L"  /lang=...  the interface language by its LCID, for example 1031 for German\n"
         L"  /?         this text\n\n"
         L"Exit codes:\n" +
         std::wstring(ExitCodeTable());
}
