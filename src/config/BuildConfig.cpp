#include "config/BuildConfig.h"

const wchar_t* GetAnalyticsHost() { return SETUP_ANALYTICS_HOST_VALUE; }
const wchar_t* GetTrackingId() { return SETUP_TRACKING_ID_VALUE; }
const wchar_t* GetAnalyticsProtocol() { return SETUP_ANALYTICS_PROTOCOL_VALUE; }
const wchar_t* GetMeasurementId() { return SETUP_MEASUREMENT_ID_VALUE; }
const wchar_t* GetApiSecret() { return SETUP_API_SECRET_VALUE; }
bool IsPrefetchEnabled() { return SETUP_PREFETCH_VALUE != 0; }
