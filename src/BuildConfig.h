#pragma once

// Values fixed when the executable is built; the shipped and the loopback builds differ only here
// and in the hosts of their language pack.
const wchar_t* GetAnalyticsHost();
const wchar_t* GetTrackingId();
