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

// How long the rest of a half-received command or a send may stall before
// the editor counts as gone.
constexpr int sync_stall_timeout_ms = 5000;

// How long a connection and the editor's greeting may take. A missing
// editor is tried every frame, so a hung one that still listens costs each
// frame this much.
constexpr int sync_connect_timeout_ms = 200;

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
    unsigned char inbox[sync_inbox_size];
};

// A new disconnected device without callbacks, or null when memory ran out.
// live only documents the intent: a device that is never connected reads
// its tracks from files when sync_get_track() is told so.
SyncDevice* sync_create_device(const char* base, int live);

// Closes the socket and frees everything the device owns. Null is allowed.
void sync_destroy_device(SyncDevice* device);

void sync_set_callbacks(SyncDevice* device, const SyncCallbacks* table, void* param);

// Connects to the editor at host:port (closing any earlier connection),
// greets it, then drops every track's keys and asks for each track again in
// index order. Returns 0 when connected and every request went out, else 1
// (socket -1 when the connection or the greeting failed). The connection
// and the greeting each wait at most sync_connect_timeout_ms. data_received
// flags are left as they are.
int sync_tcp_connect(SyncDevice* device, const char* host, uint16_t port);

// The track called name, created on first use. A new track is asked for at
// once with live set (a failed send shows at the next update), or read from
// its track file without it. Null only when memory ran out.
SyncTrack* sync_get_track(SyncDevice* device, const char* name, int live);

// Handles every command the editor has sent, then, while the callbacks say
// the demo plays, sends row when it differs from the last one sent.
// A SET_ROW counts only when this device's port equals master_port.
// *changed_out (may be null) becomes 1 when what the demo shows changed;
// *activity_out (may be null) becomes 1 for key edits and 2 for cursor moves
// and MAKE_MASTER. Neither is cleared. Returns 0 while connected; 1 when
// there is no socket or the connection was dropped in this call (unknown
// command, a track index that was never announced, a closed or failed
// socket). Dropping keeps the tracks and their keys.
int sync_update(SyncDevice* device, int32_t row, int master_port, int* changed_out, int* activity_out);

// Requests to the editor. 0 on success, 1 with no socket or a failed send;
// none of them closes the socket.
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
