// Writes one record before any LogInit, then asks for another file, then writes again: both records
// must land in the default file ("Log\log_default_probe.log" beside this program).
#include <windows.h>

#include "log/Log.h"

int wmain() {
  WriteLog("probe", __FILE__, __LINE__, Log::kInfo, "first record %d", 1);
  LogInit(L"other.log", L"C:\\setup-log-probe-never");
  WriteLog("probe", __FILE__, __LINE__, Log::kInfo, "second record %s", "after LogInit");
  return 0;
}
