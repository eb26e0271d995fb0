#pragma once

// Values fixed when the executable is built; the shipped and the loopback builds differ only here
// and in the hosts of their language pack.
const wchar_t* GetAnalyticsHost();
const wchar_t* GetTrackingId();
// "v1" or "mp"; the measurement id and API secret are empty unless the protocol is "mp".
const wchar_t* GetAnalyticsProtocol();
const wchar_t* GetMeasurementId();
const wchar_t* GetApiSecret();
// Whether the window fetches the payload in the background before Install is clicked.
bool IsPrefetchEnabled();
