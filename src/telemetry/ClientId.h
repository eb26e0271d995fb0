#pragma once

// The analytics client identifier: a random GUID kept in the machine-wide registry, so the same
// machine reports the same identifier across runs.

#include <string>

// Registry place of the identifier, under HKEY_LOCAL_MACHINE.
extern const wchar_t kClientIdParentKey[];  // "SOFTWARE\WOW6432Node\Pelarin"
extern const wchar_t kClientIdKey[];        // "SOFTWARE\WOW6432Node\Pelarin\PelarinDown"
extern const wchar_t kClientIdValue[];      // "GUID"

// A new identifier: "%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X", the third group in lower case;
// empty when no GUID could be made.
std::wstring MakeClientId();
using ClientIdMaker = std::wstring (*)();

// The stored identifier (whatever text the value holds), or a new one from `make` that is stored first.
// Empty when the registry cannot be written, when the key exists but cannot be read, or when no
// identifier could be made (nothing is stored then). Never reports an error.
std::wstring GetClientId(ClientIdMaker make = &MakeClientId);
