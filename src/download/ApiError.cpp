#include "download/ApiError.h"

#include "log/Log.h"

void ShowApiError(const char* apiName, DWORD errorCode, HMODULE module, const char* context) {
  char text[260] = {};
  // Without FORMAT_MESSAGE_IGNORE_INSERTS a text with inserts fails to format; the line then simply
  // carries no text, as for a code the module does not know.
  ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                   sizeof(text), nullptr);
  if (!context) {
    LOG_INFO("[Thread][%d] call %s fail %d, %s\n", static_cast<int>(::GetCurrentThreadId()), apiName,
             static_cast<int>(errorCode), text);
  } else {
    LOG_INFO("[Thread][%d] [%s]call %s fail %d, %s\n", static_cast<int>(::GetCurrentThreadId()), context, apiName,
             static_cast<int>(errorCode), text);
  }
}
