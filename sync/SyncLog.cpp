#include "sync/SyncLog.h"

// Off by default: only warnings and above unless a rule enables debug.
Q_LOGGING_CATEGORY(syncTraffic, "tarvonic.sync.traffic", QtInfoMsg)

const char* const kSyncTrafficOnRule = "tarvonic.sync.traffic.debug=true";
