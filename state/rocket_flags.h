#pragma once
// The rocket modes that the start dialog chooses before the rocket manager
// exists. The manager reads them when it connects.

struct RocketFlags {
    bool rocket_enabled = true; // live editing with sync editors
    bool multi_rocket = true;   // one rocket per skene instead of one for all
    bool edit_view = false;     // the edit view is open beside the demo (start-up sets it)
};

// True while the author edits the running demo, with sync editors or the
// edit view: a broken save then must not take a working picture away.
bool editingWhileRunning();

// The one set of rocket flags of the running demo, made by its owner (app/ProcessState.h).
RocketFlags& rocket_flags();

