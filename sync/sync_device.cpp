#include "sync/sync_device.h"

#include "sync/track_file.h"

#include <QDebug>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

const char client_greeting[] = "hello, synctracker!";
const char server_greeting[] = "hello, demo!";
constexpr size_t client_greeting_len = sizeof client_greeting - 1; // 19
constexpr size_t server_greeting_len = sizeof server_greeting - 1; // 12

// One line of the client's debug log: text, then the track name. With the
// debug log filtered off, nothing is formatted (one line per received key
// adds up on an editor's full resend).
void debug_line(const char* text, const char* name)
{
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug("%s%s", text, name);
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

// The whole buffer or nothing; MSG_NOSIGNAL so that an editor that went away
// turns into a failed send instead of a SIGPIPE that ends the demo.
bool send_all(int fd, const void* data, size_t len)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = ::send(fd, p, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= size_t(n);
    }
    return true;
}

bool recv_all(int fd, void* data, size_t len)
{
    char* p = static_cast<char*>(data);
    while (len > 0) {
        const ssize_t n = ::recv(fd, p, len, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= size_t(n);
    }
    return true;
}

// Something to receive right now (data, or the end of the connection).
bool readable_now(int fd)
{
    pollfd p{fd, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// The socket stays blocking, but no single wait may last for ever: a stuck
// editor must not freeze the demo.
void set_timeouts(int fd, int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
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

// Connects fd to the address within sync_connect_timeout_ms, then makes it
// blocking again.
bool connect_bounded(int fd, const addrinfo* a)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    bool ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int n;
        do {
            n = ::poll(&p, 1, sync_connect_timeout_ms);
        } while (n < 0 && errno == EINTR);
        int error = 0;
        socklen_t len = sizeof error;
        ok = n == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    return ok && ::fcntl(fd, F_SETFL, flags) == 0;
}

int connect_and_greet(SyncDevice* device, const char* host, uint16_t port)
{
    int fd = -1;
    for (const addrinfo* a = addresses_of(device, host, port); a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (connect_bounded(fd, a))
            break;
        ::close(fd);
        fd = -1;
    }
    if (fd < 0)
        return -1;

    // The demo's row goes out once per frame; Nagle would hold it back.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // An editor that listens but does not answer (hung, or stopped in a
    // debugger) is given up quickly: it would be waited for every frame.
    set_timeouts(fd, sync_connect_timeout_ms);
    char answer[server_greeting_len];
    if (!send_all(fd, client_greeting, client_greeting_len) || !recv_all(fd, answer, sizeof answer)
        || std::memcmp(answer, server_greeting, server_greeting_len) != 0) {
        ::close(fd);
        return -1;
    }
    set_timeouts(fd, sync_stall_timeout_ms);
    return fd;
}

int send_bytes(SyncDevice* device, const unsigned char* data, size_t len)
{
    if (device->socket < 0)
        return 1;
    return send_all(device->socket, data, len) ? 0 : 1;
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
    return device;
}

void sync_destroy_device(SyncDevice* device)
{
    if (!device)
        return;
    close_socket(device);
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
    device->socket = connect_and_greet(device, host, port);
    device->port = port;
    if (device->socket < 0)
        return 1;

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

    // Read whatever the socket holds and handle the commands from the buffer.
    // Only the first read waits for nothing; the rest of a command that has
    // begun to arrive is waited for, so each update ends on a command boundary.
    for (;;) {
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
        }

        if (device->inbox_begin == device->inbox_end) {
            device->inbox_begin = device->inbox_end = 0;
            if (!readable_now(device->socket))
                break;
        } else if (device->inbox_begin > 0) {
            const uint32_t partial = device->inbox_end - device->inbox_begin;
            std::memmove(device->inbox, device->inbox + device->inbox_begin, partial);
            device->inbox_begin = 0;
            device->inbox_end = partial;
        }

        const ssize_t n = ::recv(device->socket, device->inbox + device->inbox_end,
                                 sync_inbox_size - device->inbox_end, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return drop(device);
        device->inbox_end += uint32_t(n);
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
            debug_line("sync_save_tracks skipped a track whose data never arrived:", track->name);
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
    qDebug("deferred_purge set data_received to 0");
}

void mark_all_received(SyncDevice* device)
{
    for (int32_t i = 0; i < device->tracks.num_tracks; ++i)
        device->tracks.tracks[i]->data_received = 1;
}
