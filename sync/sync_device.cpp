#include "sync/sync_device.h"

#include "sync/SyncLog.h"

#include "sync/track_file.h"

#include "platform/Clock.h"

#include <QDebug>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char client_greeting[] = "hello, synctracker!";
const char server_greeting[] = "hello, demo!";
constexpr size_t client_greeting_len = sizeof client_greeting - 1; // 19
constexpr size_t server_greeting_len = sizeof server_greeting - 1; // 12

// One line of the sync traffic's log: text, then the track name. Unless
// asked for, nothing is formatted (one line per received key adds up on an
// editor's full resend).
void debug_line(const char* text, const char* name)
{
    qCDebug(syncTraffic, "%s%s", text, name);
}

uint32_t read_be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t read_le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

unsigned char* put_be32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
    return p + 4;
}

unsigned char* put_le32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
    return p + 4;
}

uint32_t float_bits(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Milliseconds since start on the steady clock, for waits that really
// happen (the device's clock may be a test's).
int elapsed_ms(std::chrono::steady_clock::time_point start)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                   .count());
}

// Waits up to ms for events on fd; the revents, 0 on a timeout.
short wait_for(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    const auto start = std::chrono::steady_clock::now();
    for (int left = ms;; left = ms - elapsed_ms(start)) {
        const int n = ::poll(&p, 1, left < 0 ? 0 : left);
        if (n > 0)
            return p.revents;
        if (n == 0 || errno != EINTR)
            return 0;
    }
}

// The whole buffer, waiting for room in the socket while *wait_ms lasts
// (the time waited is taken off it); MSG_NOSIGNAL so that an editor that
// went away turns into a failed send instead of a SIGPIPE that ends the demo.
bool send_all(int fd, const void* data, size_t len, int* wait_ms)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = ::send(fd, p, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            len -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || *wait_ms <= 0)
            return false;
        const auto start = std::chrono::steady_clock::now();
        const short ready = wait_for(fd, POLLOUT, *wait_ms);
        *wait_ms -= std::max(elapsed_ms(start), 1);
        if ((ready & POLLOUT) == 0)
            return false;
    }
    return true;
}

// The host's addresses for port, looked up once and kept on the device.
const addrinfo* addresses_of(SyncDevice* device, const char* host, uint16_t port)
{
    if (device->addresses && device->resolved_port == port && std::strcmp(device->resolved_host, host) == 0)
        return device->addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host, service.c_str(), &hints, &found) != 0)
        return nullptr;
    const size_t len = std::strlen(host);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!copy) {
        ::freeaddrinfo(found);
        return nullptr;
    }
    std::memcpy(copy, host, len + 1);
    if (device->addresses)
        ::freeaddrinfo(device->addresses);
    std::free(device->resolved_host);
    device->addresses = found;
    device->resolved_host = copy;
    device->resolved_port = port;
    return found;
}

// Starts a connection without waiting, to a or the first address after it
// that takes one; the address goes to *used. -1 when none is left.
int start_connection(const addrinfo* a, const addrinfo** used)
{
    for (; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
            *used = a;
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

void end_attempt(SyncDevice* device)
{
    if (device->attempt_socket >= 0)
        ::close(device->attempt_socket);
    device->attempt_socket = -1;
    device->attempt_address = nullptr;
    device->attempt_greeted = 0;
    device->attempt_answer_bytes = 0;
}

// Begins an attempt on host:port; false when none could start.
bool begin_attempt(SyncDevice* device, const char* host, uint16_t port)
{
    end_attempt(device);
    device->port = port;
    device->attempt_socket = start_connection(addresses_of(device, host, port), &device->attempt_address);
    device->attempt_started_ms = device->clock_ms();
    return device->attempt_socket >= 0;
}

enum class Attempt { Connected, Waiting, Failed };

// Carries the attempt on as far as it goes, waiting up to wait_ms at each
// step (0: not at all). A refused address makes way for the next one.
Attempt advance_attempt(SyncDevice* device, int wait_ms)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const int fd = device->attempt_socket;
        if (fd < 0)
            return Attempt::Failed;
        const int left = wait_ms - elapsed_ms(start);
        if (!device->attempt_greeted) {
            if (wait_for(fd, POLLOUT, left) == 0)
                return Attempt::Waiting;
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
                ::close(fd);
                device->attempt_socket =
                    start_connection(device->attempt_address->ai_next, &device->attempt_address);
                continue;
            }
            // The demo's row goes out once per frame; Nagle would hold it back.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            // A fresh socket has room for the 19 bytes.
            int no_wait = 0;
            if (!send_all(fd, client_greeting, client_greeting_len, &no_wait))
                return Attempt::Failed;
            device->attempt_greeted = 1;
            continue;
        }
        if (wait_for(fd, POLLIN, left) == 0)
            return Attempt::Waiting;
        // Only the greeting's bytes: commands the editor sends after it stay
        // in the socket for sync_update().
        char answer[server_greeting_len];
        const uint32_t got = device->attempt_answer_bytes;
        const ssize_t n = ::recv(fd, answer, server_greeting_len - got, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0 || std::memcmp(answer, server_greeting + got, size_t(n)) != 0)
            return Attempt::Failed;
        device->attempt_answer_bytes = got + uint32_t(n);
        if (device->attempt_answer_bytes == server_greeting_len)
            return Attempt::Connected;
    }
}

int send_bytes(SyncDevice* device, const unsigned char* data, size_t len)
{
    if (device->socket < 0)
        return 1;
    if (send_all(device->socket, data, len, &device->send_wait_left_ms))
        return 0;
    // An editor that takes too little for too long is hung, and half a
    // command could not be taken back anyway. Ending the stream makes later
    // sends fail at once instead of each waiting again; the next update
    // drops the connection.
    ::shutdown(device->socket, SHUT_RDWR);
    return 1;
}

// Command byte, a 4-byte field already in wire order, then the name.
int send_named(SyncDevice* device, SyncCommand cmd, const unsigned char field[4], const char* name)
{
    if (device->socket < 0)
        return 1;
    const size_t len = std::strlen(name);
    std::string msg(9 + len, '\0');
    auto* p = reinterpret_cast<unsigned char*>(&msg[0]);
    p[0] = uint8_t(cmd);
    std::memcpy(p + 1, field, 4);
    put_be32(p + 5, uint32_t(len));
    std::memcpy(p + 9, name, len);
    return send_bytes(device, p, msg.size());
}

int send_get_track(SyncDevice* device, uint32_t index, const char* name)
{
    unsigned char field[4];
    put_be32(field, index);
    return send_named(device, SyncCommand::GET_TRACK, field, name);
}

void close_socket(SyncDevice* device)
{
    if (device->socket >= 0)
        ::close(device->socket);
    device->socket = -1;
    device->inbox_begin = 0;
    device->inbox_end = 0;
    device->partial_waiting = 0;
}

// A failed attempt: the next waits its turn.
int attempt_failed(SyncDevice* device)
{
    end_attempt(device);
    device->retry_waiting = 1;
    device->retry_at_ms = device->clock_ms() + uint32_t(sync_retry_interval_ms);
    return 1;
}

// The attempt's socket becomes the connection; every track is asked for
// again.
int take_connection(SyncDevice* device)
{
    device->socket = device->attempt_socket;
    device->send_wait_left_ms = sync_send_timeout_ms;
    device->attempt_socket = -1;
    end_attempt(device);
    device->retry_waiting = 0;

    // The editor addresses tracks by our indices, so it must hear of every
    // track again, in index order, and its keys replace ours.
    for (int32_t i = 0; i < device->tracks.num_tracks; ++i) {
        SyncTrack* track = device->tracks.tracks[i];
        clear_keys(track);
        if (send_get_track(device, uint32_t(i), track->name) != 0)
            return 1;
    }
    return 0;
}

// Payload bytes after the command byte, or -1 for a command the demo does
// not understand.
int payload_size(unsigned char cmd)
{
    switch (SyncCommand(cmd)) {
    case SyncCommand::SET_KEY:
        return 13;
    case SyncCommand::DELETE_KEY:
        return 8;
    case SyncCommand::SET_ROW:
        return 4;
    case SyncCommand::PAUSE:
        return 5;
    case SyncCommand::SET_NO_KEY:
        return 4;
    case SyncCommand::SAVE_TRACKS:
    case SyncCommand::MAKE_MASTER:
    case SyncCommand::DEFERRED_PURGE:
    case SyncCommand::DATA_RECEIVED_ALL:
        return 0;
    default:
        return -1;
    }
}

struct UpdateOutputs {
    int* changed;
    int* activity;
    void set(int changed_value, int activity_value) const
    {
        if (changed_value && changed)
            *changed = changed_value;
        if (activity_value && activity)
            *activity = activity_value;
    }
};

// The track an editor command addresses, or null when the demo never
// announced that index: the editor is then out of step with us.
SyncTrack* addressed_track(SyncDevice* device, const unsigned char* p)
{
    const uint32_t index = read_be32(p);
    if (index >= uint32_t(device->tracks.num_tracks)) {
        std::fprintf(stderr, "sync: editor addressed track %u of %d, dropping the connection\n", index,
                     int(device->tracks.num_tracks));
        return nullptr;
    }
    return device->tracks.tracks[index];
}

// Handles one complete command; false when the connection must be dropped.
bool handle_command(SyncDevice* device, const unsigned char* p, int master_port, const UpdateOutputs& out)
{
    const SyncCallbacks* cb = device->callbacks;
    switch (SyncCommand(p[0])) {
    case SyncCommand::SET_KEY: {
        SyncTrack* track = addressed_track(device, p + 1);
        if (!track)
            return false;
        TrackKey key;
        key.row = int32_t(read_be32(p + 5));
        const uint32_t bits = read_be32(p + 9);
        std::memcpy(&key.value, &bits, sizeof bits);
        key.type = p[13];
        if (track->num_keys >= sync_max_track_keys && find_key(track, key.row) < 0) {
            std::fprintf(stderr, "sync: editor sent more than %d keys for %s, dropping the connection\n",
                         int(sync_max_track_keys), track->name);
            return false;
        }
        set_key(track, key);
        debug_line("handle_set_key_cmd for track:", track->name);
        out.set(1, 1);
        return true;
    }
    case SyncCommand::DELETE_KEY: {
        SyncTrack* track = addressed_track(device, p + 1);
        if (!track)
            return false;
        delete_key(track, int32_t(read_be32(p + 5)));
        out.set(1, 1);
        return true;
    }
    case SyncCommand::SET_ROW: {
        const int32_t row = int32_t(read_be32(p + 1));
        if (device->port == master_port) {
            if (cb && cb->set_row)
                cb->set_row(device->callback_param, row);
            out.set(1, 0);
        }
        out.set(0, 2);
        return true;
    }
    case SyncCommand::PAUSE: {
        const int flag = p[1];
        const int32_t row = int32_t(read_le32(p + 2));
        if (cb && cb->pause)
            cb->pause(device->callback_param, flag, row);
        out.set(1, 0);
        return true;
    }
    case SyncCommand::SAVE_TRACKS:
        sync_save_tracks(device);
        return true;
    case SyncCommand::MAKE_MASTER:
        out.set(0, 2);
        return true;
    case SyncCommand::DEFERRED_PURGE:
        deferred_purge(device);
        return true;
    case SyncCommand::SET_NO_KEY: {
        SyncTrack* track = addressed_track(device, p + 1);
        if (!track)
            return false;
        track->data_received = 1;
        debug_line("handle_set_no_key_cmd se track data_received to 1:", track->name);
        out.set(1, 1);
        return true;
    }
    case SyncCommand::DATA_RECEIVED_ALL:
        mark_all_received(device);
        return true;
    default:
        return false; // payload_size() lets no other byte through
    }
}

int drop(SyncDevice* device)
{
    close_socket(device);
    return 1;
}

} // namespace

SyncDevice* sync_create_device(const char* base, int live)
{
    (void)live; // a device is created disconnected either way
    auto* device = static_cast<SyncDevice*>(std::calloc(1, sizeof(SyncDevice)));
    const size_t len = std::strlen(base);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!device || !copy) {
        std::free(device);
        std::free(copy);
        return nullptr;
    }
    std::memcpy(copy, base, len + 1);
    device->base = copy;
    device->last_sent_row = -1;
    device->socket = -1;
    device->attempt_socket = -1;
    device->clock_ms = platform::millisecondClock;
    return device;
}

void sync_destroy_device(SyncDevice* device)
{
    if (!device)
        return;
    close_socket(device);
    end_attempt(device);
    track_set_free(&device->tracks);
    if (device->addresses)
        ::freeaddrinfo(device->addresses);
    std::free(device->resolved_host);
    std::free(device->base);
    std::free(device);
}

void sync_set_callbacks(SyncDevice* device, const SyncCallbacks* table, void* param)
{
    device->callbacks = table;
    device->callback_param = param;
}

int sync_tcp_connect(SyncDevice* device, const char* host, uint16_t port)
{
    close_socket(device);
    if (!begin_attempt(device, host, port))
        return attempt_failed(device);
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const int left = sync_connect_timeout_ms - elapsed_ms(start);
        const Attempt a = advance_attempt(device, left);
        if (a == Attempt::Connected)
            return take_connection(device);
        if (a == Attempt::Failed || left <= 0)
            return attempt_failed(device);
    }
}

int sync_tcp_connect_poll(SyncDevice* device, const char* host, uint16_t port)
{
    if (device->socket >= 0)
        return 0;
    const uint32_t now = device->clock_ms();
    if (device->attempt_socket < 0) {
        if (device->retry_waiting && int32_t(now - device->retry_at_ms) < 0)
            return 1;
        if (!begin_attempt(device, host, port))
            return attempt_failed(device);
    }
    switch (advance_attempt(device, 0)) {
    case Attempt::Connected:
        return take_connection(device);
    case Attempt::Failed:
        return attempt_failed(device);
    case Attempt::Waiting:
        break;
    }
    if (now - device->attempt_started_ms > uint32_t(sync_poll_greeting_timeout_ms))
        return attempt_failed(device);
    return 1;
}

SyncTrack* sync_get_track(SyncDevice* device, const char* name, int live)
{
    const int found = find_track(&device->tracks, name);
    if (found >= 0)
        return device->tracks.tracks[found];
    const int index = create_track(&device->tracks, name);
    if (index < 0)
        return nullptr;
    SyncTrack* track = device->tracks.tracks[index];
    if (live)
        send_get_track(device, uint32_t(index), name); // a failure shows at the next update
    else
        read_track_file(track, device->base);
    return track;
}

int sync_update(SyncDevice* device, int32_t row, int master_port, int* changed_out, int* activity_out)
{
    if (device->socket < 0)
        return 1;
    const UpdateOutputs out{changed_out, activity_out};
    const uint32_t started = device->clock_ms();
    device->send_wait_left_ms = sync_send_timeout_ms;
    bool progress = false; // a command became whole in this update

    // Handle the whole commands in the inbox, take in what the socket holds,
    // and so on until the socket is empty or the time is up. The rest of a
    // command that has begun to arrive is waited for by later updates.
    for (int handled = 0;; ) {
        bool over_budget = false;
        while (device->inbox_begin < device->inbox_end) {
            const unsigned char* p = device->inbox + device->inbox_begin;
            const int size = payload_size(p[0]);
            if (size < 0) {
                std::fprintf(stderr, "unknown cmd: %02x\n", unsigned(p[0]));
                return drop(device);
            }
            if (device->inbox_end - device->inbox_begin < uint32_t(1 + size))
                break;
            if (!handle_command(device, p, master_port, out))
                return drop(device);
            device->inbox_begin += uint32_t(1 + size);
            progress = true;
            // Reading the clock costs more than most commands.
            if (++handled % 64 == 0 && device->clock_ms() - started >= uint32_t(sync_update_budget_ms)) {
                over_budget = true;
                break;
            }
        }
        if (!over_budget && device->clock_ms() - started >= uint32_t(sync_update_budget_ms))
            over_budget = true;

        const uint32_t left = device->inbox_end - device->inbox_begin;
        if (device->inbox_begin > 0) {
            std::memmove(device->inbox, device->inbox + device->inbox_begin, left);
            device->inbox_begin = 0;
            device->inbox_end = left;
        }
        if (over_budget)
            break;

        const ssize_t n = ::recv(device->socket, device->inbox + device->inbox_end,
                                 sync_inbox_size - device->inbox_end, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0)
            return drop(device);
        device->inbox_end += uint32_t(n);
    }

    // An editor that stops in the middle of a command is gone, but only
    // once it has been silent for the stall timeout.
    if (device->inbox_end == device->inbox_begin) {
        device->partial_waiting = 0;
    } else if (progress || !device->partial_waiting) {
        device->partial_waiting = 1;
        device->partial_since_ms = started;
    } else if (started - device->partial_since_ms > uint32_t(sync_stall_timeout_ms)) {
        std::fprintf(stderr, "sync: editor left a command unfinished, dropping the connection\n");
        return drop(device);
    }

    const SyncCallbacks* cb = device->callbacks;
    if (cb && cb->is_playing && cb->is_playing(device->callback_param) && row != device->last_sent_row
        && device->socket >= 0) {
        unsigned char msg[5];
        msg[0] = uint8_t(SyncCommand::SET_ROW);
        put_be32(msg + 1, uint32_t(row));
        if (send_bytes(device, msg, sizeof msg) != 0)
            return drop(device);
        device->last_sent_row = row;
    }
    return 0;
}

int send_find_track(SyncDevice* device, const char* name, int32_t number)
{
    unsigned char field[4];
    put_be32(field, uint32_t(number));
    return send_named(device, SyncCommand::FIND_TRACK, field, name);
}

int send_track_value(SyncDevice* device, const char* name, float value)
{
    unsigned char field[4];
    put_le32(field, float_bits(value));
    return send_named(device, SyncCommand::SET_TRACK_VALUE, field, name);
}

int send_save_all(SyncDevice* device)
{
    if (device->socket < 0)
        return -1;
    const unsigned char cmd = uint8_t(SyncCommand::SAVE_ALL);
    return send_bytes(device, &cmd, 1);
}

int send_find_skene_start(SyncDevice* device, const char* name, int32_t number)
{
    unsigned char field[4];
    put_be32(field, uint32_t(number));
    return send_named(device, SyncCommand::FIND_SKENE_START, field, name);
}

int send_first_value(SyncDevice* device, const char* name, float value)
{
    unsigned char field[4];
    put_le32(field, float_bits(value));
    return send_named(device, SyncCommand::SET_FIRST_VALUE, field, name);
}

void sync_save_tracks(SyncDevice* device)
{
    for (int32_t i = 0; i < device->tracks.num_tracks; ++i) {
        const SyncTrack* track = device->tracks.tracks[i];
        // A track whose keys never came (its editor is not running, or it
        // was purged and not sent again) holds nothing to save: writing it
        // would empty the skene's animation on disk.
        if (!track->data_received) {
            qDebug("sync_save_tracks skipped a track whose data never arrived:%s", track->name);
            continue;
        }
        // The render thread asks for this: the files are written in the
        // background, so a save of hundreds of tracks does not stall a frame.
        write_track_file_later(track, device->base);
    }
}

void deferred_purge(SyncDevice* device)
{
    for (int32_t i = 0; i < device->tracks.num_tracks; ++i)
        device->tracks.tracks[i]->data_received = 0;
    qCDebug(syncTraffic, "deferred_purge set data_received to 0");
}

void mark_all_received(SyncDevice* device)
{
    for (int32_t i = 0; i < device->tracks.num_tracks; ++i)
        device->tracks.tracks[i]->data_received = 1;
}
