// Sets the sender up from a build configured for the current protocol (tests/telemetry's
// setup_config_mp_probe) and sends the start event; exit code 0 when it was sent.

#include <windows.h>

#include "telemetry/GaSender.h"

int wmain() {
  SetupGaSender(L"Probe \"Title\"");
  return CGaSender::GetInstance().SendStartInstall() ? 0 : 1;
}
