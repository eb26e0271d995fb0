#pragma once

#include <windows.h>

// Logs a failed platform call with the thread, the call, the error code and the text `module` holds
// for that code (empty when it holds none). `context` names the caller and may be null.
void ShowApiError(const char* apiName, DWORD errorCode, HMODULE module, const char* context);
