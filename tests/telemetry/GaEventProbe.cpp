// Sends one start event from a fresh process, whose proxy routes are read from the settings a test
// has just written (routes are resolved once per process), and logs into the given folder:
//   ga_event_probe LOGFOLDER v1|mp HOST CLIENTID
// Exit code 0 when the event was sent and answered.

#include <windows.h>

#include <string>

#include "log/Log.h"
#include "telemetry/GaSender.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 100;
  LogInit(L"pelarin_down.log", argv[1]);
  const std::wstring protocol = argv[2], host = argv[3], clientId = argv[4];
  CGaSender& sender = CGaSender::GetInstance();
  if (protocol == L"mp") {
    MpTarget target;
    target.host = host;
    target.measurementId = L"G-ROUTE1";
    target.apiSecret = L"route_secret";
    target.clientId = clientId;
    target.category = GaCategory(L"Brenmark Solvetta");
    target.label = clientId;
    sender.SetMpTarget(target);
  } else {
    sender.SetTarget(host, BuildGaBasePath(L"UA-1-2", clientId, L"Brenmark Solvetta"));
  }
  return sender.SendStartInstall() ? 0 : 1;
}
