#pragma once

// The packages the program carries in its own resources: the language pack zip, which is unpacked
// into the pack folder before the window needs its texts, and the domain tag that marks which site
// the download came from.

#include <windows.h>

#include <cstddef>
#include <string>

class LanguageManager;

// Points data at a resource of module (valid for as long as the module is loaded).
bool LoadResourceBytes(HMODULE module, LPCWSTR type, int id, const void*& data, DWORD& size);

// Unpacks the language pack resource into packFolder. False when the resource is missing or is no
// readable archive; single bad entries are skipped.
bool LoadResZipFile(HMODULE module, const std::wstring& packFolder);
// The same in parts, so that the window can paint before the rest is out: the pack's settings (its
// top-level ".ini" files, from which the language is chosen), then the texts of the chosen language's
// folder (its ".ini" files and the tip picture), then everything else (the other languages, the
// progress page's slides) after.
bool LoadResZipSettings(HMODULE module, const std::wstring& packFolder);
bool LoadResZipLanguage(HMODULE module, const std::wstring& packFolder, const std::wstring& languageFolder);
bool LoadResZipRest(HMODULE module, const std::wstring& packFolder, const std::wstring& languageFolder);

// The domain resource is 8-bit text with a line end, at most 255 bytes of it counting.
std::string DomainTextFromBytes(const void* data, size_t size);
// The tag the text names: the user's code page, CR LF pairs removed.
std::wstring DomainTagFromText(const std::string& text);
// The tag stamped into the signature of the module's file, else the domain resource's (empty when
// the module carries none); one log line says where it came from and why a stamp was not used.
std::wstring ReadDomainTag(HMODULE module);
std::wstring ReadDomainTag(HMODULE module, const std::wstring& programFile);
void LoadDomainFile(HMODULE module, LanguageManager& language);

// Leaves the tag as "domain" in the product folder for the installed program; an empty tag writes
// nothing.
void WriteDomainFile(const std::wstring& domainTag, const std::wstring& productFolder);

// Pictures of the unpacked pack; packFolder ends with a backslash.
std::wstring BannerPicturePath(const std::wstring& packFolder, const std::wstring& language, int n);
std::wstring TipPicturePath(const std::wstring& packFolder, const std::wstring& language);
