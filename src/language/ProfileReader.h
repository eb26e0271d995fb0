#pragma once

// Reads the language pack's .ini files through the system's profile calls, which accept UTF-16LE
// files with a byte order mark as well as 8-bit ones and trim blanks around "=".

#include <map>
#include <string>

// One value, cut to 255 characters; empty when the file, section or key is missing.
std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key);

// Adds every "key=value" entry of a section to `target`, replacing values of keys already there and
// keeping keys the section lacks. An entry without "=" becomes a key with an empty value. Sections
// beyond 4096 characters are cut by the system.
void ReadProfileSection(const std::wstring& file, const std::wstring& section,
                        std::map<std::wstring, std::wstring>& target);
