// The sender's set-up from the build's settings, apart from the sender itself: the install flow
// reports through the sender, and its tests link no build settings.

#include "config/BuildConfig.h"
#include "telemetry/ClientId.h"
#include "telemetry/GaSender.h"

void SetupGaSender(const std::wstring& gaTitle, const char* installMode) {
  CGaSender& sender = CGaSender::GetInstance();
  const std::wstring clientId = GetClientId();
  if (std::wstring(GetAnalyticsProtocol()) == L"mp") {
    MpTarget target;
    target.host = GetAnalyticsHost();
    target.measurementId = GetMeasurementId();
    target.apiSecret = GetApiSecret();
    target.clientId = clientId;
    target.category = GaCategory(gaTitle);
    target.label = clientId;
    target.installMode = installMode ? installMode : "";
    sender.SetMpTarget(target);
  } else {
    sender.SetTarget(GetAnalyticsHost(), BuildGaBasePath(GetTrackingId(), clientId, gaTitle));
  }
}
