#pragma once
// The demo's end of one TCP connection to one sync editor.
//
// The editor is the server. The demo connects, greets, asks for every track
// it uses (GET_TRACK with the track's index), and from then on polls the
// socket once per frame with sync_update(): the editor sends keys addressed
// by those indices, moves the cursor, pauses and resumes, and asks for saves.
// While playing the demo tells the editor its row. A device that is not live
// never touches the network and fills its tracks from track files instead.
//
// Wire format: one command byte, then a fixed payload. Integers are
// big-endian unless noted; names are sent as a big-endian length and the
// bytes without a terminator.
//
// Ownership: a device owns its base name, its track set (tracks, names and
// keys) and its socket; sync_destroy_device() releases all of them. The
// callback table is borrowed and must outlive the device. Track pointers
// returned by sync_get_track() stay valid until the device is destroyed.
//
// Threads: none. Every call runs on the one thread that renders and runs
// QML. Callbacks run inside sync_update() and must not destroy or reconnect
// the device they are called for.
#include "sync/track.h"

#include <cstdint>

enum class SyncCommand : uint8_t {
    // editor -> demo
    SET_KEY = 0,            // track (u32), row (i32), value (float bits, u32), type (u8)
    DELETE_KEY = 1,         // track (u32), row (i32)
    PAUSE = 4,              // flag (u8), row (i32, little-endian)
    SAVE_TRACKS = 5,        // -
    MAKE_MASTER = 8,        // -
    DEFERRED_PURGE = 11,    // -
    SET_NO_KEY = 13,        // track (u32)
    DATA_RECEIVED_ALL = 14, // -
    // both ways: the editor's cursor, or the demo's playing row
    SET_ROW = 3,            // row (i32)
    // demo -> editor
    GET_TRACK = 2,          // track (u32), name
    FIND_TRACK = 6,         // number (i32), name
    SET_TRACK_VALUE = 7,    // value (float, little-endian), name
    SAVE_ALL = 9,           // -
    FIND_SKENE_START = 10,  // number (i32), name
    SET_FIRST_VALUE = 12,   // value (float, little-endian), name
};

// The demo's reactions to editor commands. Any slot may be null.
struct SyncCallbacks {
    void (*pause)(void* param, int flag, int32_t row); // PAUSE; flag 0 resumes
    void (*set_row)(void* param, int32_t row);         // SET_ROW from the master editor
    int (*is_playing)(void* param);                    // non-zero: report the row each update
};

// Bytes of editor commands that one device buffers between receives.
constexpr int sync_inbox_size = 32 * 1024;

// How long a command that has begun to arrive may wait for the rest of its
// bytes before the editor counts as gone. No update waits for it: the frames
// go on meanwhile, and the command is handled once it is whole.
constexpr int sync_stall_timeout_ms = 5000;

// How long the sends between two updates may wait for room in the socket,
// all together, before the editor counts as gone (an editor that never
// reads, or one stopped in a debugger).
constexpr int sync_send_timeout_ms = 100;

// How long sync_tcp_connect() waits for the connection and the greeting
// together.
constexpr int sync_connect_timeout_ms = 200;

// The per-frame connection (sync_tcp_connect_poll) never waits; it gives an
// editor this long to answer the greeting, and after a failed attempt it
// lets this long pass before the next one, so that a hung or absent editor
// costs the frames nothing.
constexpr int sync_poll_greeting_timeout_ms = 1000;
constexpr int sync_retry_interval_ms = 1000;

// Milliseconds that one sync_update() spends on commands at most; what an
// editor sends beyond that waits in the socket for the next frame, so that a
// flood cannot stall the demo.
constexpr int sync_update_budget_ms = 20;

// Keys one track may hold. An editor that sends more (no demo track comes
// near) is flooding and is dropped, before the demo runs out of memory.
constexpr int32_t sync_max_track_keys = 1 << 20;

struct addrinfo;

struct SyncDevice {
    char* base;                     // base name of the track files ("sync")
    SyncTrackSet tracks;
    const SyncCallbacks* callbacks; // may be null
    void* callback_param;
    int32_t last_sent_row;          // last row sent with SET_ROW; -1 at first
    int socket;                     // -1 when not connected
    uint16_t port;                  // port of the last connection attempt

    // The editor's addresses, looked up on the first connection attempt and
    // kept for later ones to the same host and port, so that retrying a
    // missing editor every frame costs no name lookup.
    char* resolved_host;            // null until a lookup succeeded
    uint16_t resolved_port;
    struct addrinfo* addresses;

    // Received bytes not handled yet: inbox[inbox_begin, inbox_end).
    uint32_t inbox_begin;
    uint32_t inbox_end;
    // While the inbox ends in part of a command: since when no command
    // became whole (millisecond clock).
    int partial_waiting;
    uint32_t partial_since_ms;
    // What is left of sync_send_timeout_ms until the next update.
    int send_wait_left_ms;

    // The attempt that sync_tcp_connect_poll() carries on from frame to
    // frame: its socket (-1 when none is under way), the address it tries,
    // whether the greeting went out and how much of the answer came.
    int attempt_socket;
    const struct addrinfo* attempt_address;
    int attempt_greeted;
    uint32_t attempt_answer_bytes;
    uint32_t attempt_started_ms;
    // After a failed attempt: no new one before retry_at_ms.
    int retry_waiting;
    uint32_t retry_at_ms;

    // The millisecond clock of the timeouts above (wrapping, compared by
    // difference); tests substitute their own.
    uint32_t (*clock_ms)();

    unsigned char inbox[sync_inbox_size];
};

// A new disconnected device without callbacks, or null when memory ran out.
// live only documents the intent: a device that is never connected reads
// its tracks from files when sync_get_track() is told so.
SyncDevice* sync_create_device(const char* base, int live);

// Closes the socket and frees everything the device owns. Null is allowed.
void sync_destroy_device(SyncDevice* device);

void sync_set_callbacks(SyncDevice* device, const SyncCallbacks* table, void* param);

// Connects to the editor at host:port (closing any earlier connection and
// giving up an attempt of sync_tcp_connect_poll), greets it, then drops
// every track's keys and asks for each track again in index order. Returns 0
// when connected and every request went out, else 1 (socket -1 when the
// connection or the greeting failed). Waits at most sync_connect_timeout_ms
// for the connection and the greeting. data_received flags are left as they
// are.
int sync_tcp_connect(SyncDevice* device, const char* host, uint16_t port);

// The same without ever waiting, for a frame: starts an attempt, or carries
// on with the one under way, and returns 0 once the device is connected
// (and the tracks are asked for again), 1 while it is not. An attempt whose
// greeting is not answered within sync_poll_greeting_timeout_ms is given
// up; after a failed attempt (refused, silent, a wrong greeting) the next
// starts sync_retry_interval_ms later at the earliest.
int sync_tcp_connect_poll(SyncDevice* device, const char* host, uint16_t port);

// The track called name, created on first use. A new track is asked for at
// once with live set (a failed send shows at the next update), or read from
// its track file without it. Null only when memory ran out.
SyncTrack* sync_get_track(SyncDevice* device, const char* name, int live);

// Handles the commands the editor has sent, then, while the callbacks say
// the demo plays, sends row when it differs from the last one sent.
// Never waits for the editor: the rest of a command that has begun to
// arrive is kept for a later update, and commands beyond
// sync_update_budget_ms of work wait in the socket for the next one.
// A SET_ROW counts only when this device's port equals master_port.
// *changed_out (may be null) becomes 1 when what the demo shows changed;
// *activity_out (may be null) becomes 1 for key edits and 2 for cursor moves
// and MAKE_MASTER. Neither is cleared. Returns 0 while connected; 1 when
// there is no socket or the connection was dropped in this call (unknown
// command, a track index that was never announced, a track flooded past
// sync_max_track_keys, a command left unfinished for
// sync_stall_timeout_ms, sends that waited for room past
// sync_send_timeout_ms, a closed or failed socket). Dropping keeps the
// tracks and their keys.
int sync_update(SyncDevice* device, int32_t row, int master_port, int* changed_out, int* activity_out);

// Requests to the editor. 0 on success, 1 with no socket or a failed send
// (one that would wait past sync_send_timeout_ms fails); none of them
// closes the socket.
int send_find_track(SyncDevice* device, const char* name, int32_t number);
int send_track_value(SyncDevice* device, const char* name, float value);
int send_find_skene_start(SyncDevice* device, const char* name, int32_t number);
int send_first_value(SyncDevice* device, const char* name, float value);
// As above, but -1 when the device has no socket.
int send_save_all(SyncDevice* device);

// Writes every track whose content has arrived (data_received 1) to its
// track file, in index order, through write_track_file_later(): the files
// are in place once platform::finishBackgroundWrites() returns. A track
// still waiting for its content is skipped with a debug line naming it, so
// a save never empties a good file; one that cannot be written is skipped.
void sync_save_tracks(SyncDevice* device);

// Marks every track as waiting for its content (data_received 0).
void deferred_purge(SyncDevice* device);
// Marks every track as known (data_received 1).
void mark_all_received(SyncDevice* device);
