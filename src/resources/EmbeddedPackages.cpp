#include "resources/EmbeddedPackages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "language/LanguageManager.h"
#include "log/Log.h"
#include "res/resource.h"
#include "base/TextHelper.h"
#include "toolkit/skin/ZipArchive.h"
#include "base/ModulePath.h"
#include "base/ModuleResource.h"
#include "resources/StampedSiteTag.h"

namespace {

// The resource is read into a fixed buffer with room for a terminator; a longer one is cut.
constexpr size_t kDomainBufferSize = 256;

std::string ReadDomainText(HMODULE module) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(module, RT_RCDATA, IDR_DOMAIN, data, size)) return {};
  return DomainTextFromBytes(data, size);
}

std::wstring RemoveCrLfPairs(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
      ++i;
    else
      out += text[i];
  }
  return out;
}

struct CloseStdioFile {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool LoadResourceBytes(HMODULE module, LPCWSTR type, int id, const void*& data, DWORD& size) {
  data = nullptr;
  size = 0;
  const Base::ResourceBytes bytes = Base::FindModuleResource(module, MAKEINTRESOURCEW(id), type);
  if (!bytes.data) {
    LOG_INFO("ERR:LoadResourceBytes: resource %d not found (error %lu)", id, ::GetLastError());
    return false;
  }
  data = bytes.data;
  size = bytes.size;
  return true;
}

namespace {

bool EndsWith(const std::wstring& name, const wchar_t* end) {
  const size_t length = wcslen(end);
  return name.size() >= length && ::lstrcmpiW(name.c_str() + name.size() - length, end) == 0;
}

// What the window needs before it paints: the settings, the texts and the home page's tip picture.
bool IsTextEntry(const std::wstring& name) { return EndsWith(name, L".ini") || EndsWith(name, L"install_tips.png"); }

bool IsTopLevel(const std::wstring& name) { return name.find_first_of(L"\\/") == std::wstring::npos; }

bool IsSettingsEntry(const std::wstring& name) { return IsTopLevel(name) && IsTextEntry(name); }

// An entry of `folder` itself (either separator), compared as the file system compares names.
bool IsInFolder(const std::wstring& name, const std::wstring& folder) {
  return name.size() > folder.size() && (name[folder.size()] == L'\\' || name[folder.size()] == L'/') &&
         ::CompareStringOrdinal(name.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

bool IsLanguageEntry(const std::wstring& name, const std::wstring& folder) {
  return IsInFolder(name, folder) && IsTextEntry(name);
}

bool ExtractPack(HMODULE module, const std::wstring& packFolder,
                 const std::function<bool(const std::wstring&)>& wanted) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(module, RT_RCDATA, IDR_LANGUAGE_ZIP, data, size)) {
    LOG_INFO("ERR:LoadResZipFile: the language pack resource is missing");
    return false;
  }
  return SkinUI::ExtractZipToFolder(data, size, packFolder, wanted);
}

}  // namespace

bool LoadResZipFile(HMODULE module, const std::wstring& packFolder) {
  LOG_INFO("LoadResZipFile");
  return ExtractPack(module, packFolder, nullptr);
}

bool LoadResZipSettings(HMODULE module, const std::wstring& packFolder) {
  LOG_INFO("LoadResZipFile");
  return ExtractPack(module, packFolder, &IsSettingsEntry);
}

bool LoadResZipLanguage(HMODULE module, const std::wstring& packFolder, const std::wstring& languageFolder) {
  return ExtractPack(module, packFolder,
                     [&languageFolder](const std::wstring& name) { return IsLanguageEntry(name, languageFolder); });
}

bool LoadResZipRest(HMODULE module, const std::wstring& packFolder, const std::wstring& languageFolder) {
  return ExtractPack(module, packFolder, [&languageFolder](const std::wstring& name) {
    return !IsSettingsEntry(name) && !IsLanguageEntry(name, languageFolder);
  });
}

std::string DomainTextFromBytes(const void* data, size_t size) {
  char buffer[kDomainBufferSize] = {};
  if (data) std::memcpy(buffer, data, std::min(size, kDomainBufferSize - 1));
  return buffer;
}

std::wstring DomainTagFromText(const std::string& text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int count = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (count <= 0) {
    LOG_INFO("ERR:DomainTagFromText: \"%s\" is not text of code page %u (error %lu)", text.c_str(), ::GetACP(),
             ::GetLastError());
    return {};
  }
  std::wstring wide(static_cast<size_t>(count), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], count);
  return RemoveCrLfPairs(wide);
}

std::wstring ReadDomainTag(HMODULE module) { return ReadDomainTag(module, Base::ModulePath(module)); }

// A tag stamped into the signature wins: it is how one signed build is handed to many channels.
std::wstring ReadDomainTag(HMODULE module, const std::wstring& programFile) {
  std::string stamped, why;
  if (ReadStampedTag(programFile, stamped, why) == kStampedTag_Found) {
    LOG_INFO("site tag stamped into the signature: %s", stamped.c_str());
    return NarrowToWide(stamped);
  }
  LOG_INFO("site tag from resource %d: %s", IDR_DOMAIN, why.c_str());
  return DomainTagFromText(ReadDomainText(module));
}

void LoadDomainFile(HMODULE module, LanguageManager& language) {
  LOG_INFO("LoadDomainFile");
  const std::wstring tag = ReadDomainTag(module);
  language.SetDomain(tag);
  LOG_INFOW(L"Domain:%ls", tag.c_str());
}

void WriteDomainFile(const std::wstring& domainTag, const std::wstring& productFolder) {
  std::string bytes = WideToNarrow(domainTag);
  if (bytes.empty()) return;
  std::wstring path = productFolder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += L"domain";
  std::unique_ptr<FILE, CloseStdioFile> file(_wfopen(path.c_str(), L"wb"));
  if (!file) {
    LOG_INFOW(L"ERR:WriteDomainFile: cannot create %ls (errno %d)", path.c_str(), errno);
    return;
  }
  // The bytes reach the disk when the file is closed, so a full disk shows there.
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  if (std::fclose(file.release()) != 0 || !written)
    LOG_INFOW(L"ERR:WriteDomainFile: cannot write %ls (errno %d)", path.c_str(), errno);
}

std::wstring BannerPicturePath(const std::wstring& packFolder, const std::wstring& language, int n) {
  return packFolder + language + L"\\pr_" + std::to_wstring(n) + L".png";
}

std::wstring TipPicturePath(const std::wstring& packFolder, const std::wstring& language) {
  return packFolder + language + L"\\install_tips.png";
}
