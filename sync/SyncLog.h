#pragma once
// The sync traffic's own debug lines: one per key and per track that the
// editors send or the tracks are asked for ("handle_set_key_cmd for
// track:", "handle_set_no_key_cmd ...", "deferred_purge ...", the manager's
// "Rocket::GetSyncTrack gives no data_received ..."). An editor's full
// resend makes a hundred thousand of them, so they go to a category of their
// own, "tarvonic.sync.traffic", which is off unless asked for (the
// program's -verbose). Every other debug line stays in the default one.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(syncTraffic)

// The filter rule that turns the traffic lines on.
extern const char* const kSyncTrafficOnRule; // "tarvonic.sync.traffic.debug=true"
