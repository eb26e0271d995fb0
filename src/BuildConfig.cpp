#include "BuildConfig.h"

const wchar_t* GetAnalyticsHost() { return SETUP_ANALYTICS_HOST_VALUE; }
const wchar_t* GetTrackingId() { return SETUP_TRACKING_ID_VALUE; }
