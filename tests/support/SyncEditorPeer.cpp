#include "support/SyncEditorPeer.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint32_t max_name_length = 1u << 20;

void appendBe32(std::string& out, uint32_t v)
{
    out.push_back(char(v >> 24));
    out.push_back(char(v >> 16));
    out.push_back(char(v >> 8));
    out.push_back(char(v));
}

void appendLe32(std::string& out, uint32_t v)
{
    out.push_back(char(v));
    out.push_back(char(v >> 8));
    out.push_back(char(v >> 16));
    out.push_back(char(v >> 24));
}

uint32_t be32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t le32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool sendAllTo(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Reads exactly len bytes within timeoutMs; false on timeout or end.
bool readWithin(int fd, char* out, size_t len, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < len) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        const ssize_t n = ::recv(fd, out + done, len - done, MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

SyncEditorPeer::SyncEditorPeer(Greeting greeting)
    : greeting_(greeting)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listenFd_ >= 0 && ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::listen(listenFd_, 8) == 0
        && ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port_ = ntohs(addr.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0)
        wakePipe_[0] = wakePipe_[1] = -1;
    thread_ = std::thread([this] { run(); });
}

SyncEditorPeer::~SyncEditorPeer()
{
    finishSending();
    stop_ = true;
    if (wakePipe_[1] >= 0) {
        const char c = 0;
        (void)!::write(wakePipe_[1], &c, 1);
    }
    thread_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closeConnLocked();
    }
    for (int fd : {listenFd_, wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void SyncEditorPeer::run()
{
    while (!stop_) {
        int conn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            conn = conn_;
        }
        pollfd fds[3] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}, {conn, POLLIN, 0}};
        const int n = ::poll(fds, conn >= 0 ? 3 : 2, 50);
        if (n <= 0 || stop_)
            continue;
        if (fds[0].revents & POLLIN)
            acceptOne();
        if (conn >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
            receive();
    }
}

void SyncEditorPeer::acceptOne()
{
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    char hello[19];
    const bool heard = readWithin(fd, hello, sizeof hello, 2000);

    // The connection is published before the answer goes out, so when the
    // demo's connect returns the test can already send on it.
    std::lock_guard<std::mutex> lock(mutex_);
    closeConnLocked();
    ++connections_;
    greetingSeen_ = heard ? std::string(hello, sizeof hello) : std::string();
    bool keep = heard;
    if (heard) {
        conn_ = fd;
        switch (greeting_) {
        case Greeting::Correct:
            keep = sendAllTo(fd, "hello, demo!");
            break;
        case Greeting::Wrong:
            keep = sendAllTo(fd, "hello, dome!");
            break;
        case Greeting::Short:
            sendAllTo(fd, "hello");
            keep = false;
            break;
        case Greeting::Silent:
            keep = false;
            break;
        }
    }
    if (!keep) {
        conn_ = -1;
        ::close(fd);
        ++disconnects_;
    }
    changed_.notify_all();
}

void SyncEditorPeer::receive()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (conn_ < 0)
        return;
    char buf[4096];
    const ssize_t n = ::recv(conn_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        closeConnLocked();
    } else {
        inbox_.append(buf, size_t(n));
        parse();
    }
    changed_.notify_all();
}

void SyncEditorPeer::parse()
{
    while (!protocolError_ && !inbox_.empty()) {
        DemoCommand c;
        c.cmd = SyncCommand(uint8_t(inbox_[0]));
        size_t size = 0;
        switch (c.cmd) {
        case SyncCommand::SAVE_ALL:
            size = 1;
            break;
        case SyncCommand::SET_ROW:
            if (inbox_.size() < 5)
                return;
            c.number = int32_t(be32(inbox_, 1));
            size = 5;
            break;
        case SyncCommand::GET_TRACK:
        case SyncCommand::FIND_TRACK:
        case SyncCommand::SET_TRACK_VALUE:
        case SyncCommand::FIND_SKENE_START:
        case SyncCommand::SET_FIRST_VALUE: {
            if (inbox_.size() < 9)
                return;
            const uint32_t len = be32(inbox_, 5);
            if (len > max_name_length) {
                protocolError_ = true;
                return;
            }
            if (inbox_.size() < 9 + size_t(len))
                return;
            if (c.cmd == SyncCommand::GET_TRACK) {
                c.index = be32(inbox_, 1);
            } else if (c.cmd == SyncCommand::SET_TRACK_VALUE || c.cmd == SyncCommand::SET_FIRST_VALUE) {
                const uint32_t bits = le32(inbox_, 1);
                std::memcpy(&c.value, &bits, sizeof bits);
            } else {
                c.number = int32_t(be32(inbox_, 1));
            }
            c.name = inbox_.substr(9, len);
            size = 9 + len;
            break;
        }
        default:
            protocolError_ = true;
            return;
        }
        c.bytes = inbox_.substr(0, size);
        inbox_.erase(0, size);
        commands_.push_back(std::move(c));
    }
}

void SyncEditorPeer::closeConnLocked()
{
    if (conn_ < 0)
        return;
    ::close(conn_);
    conn_ = -1;
    inbox_.clear();
    ++disconnects_;
    changed_.notify_all();
}

int SyncEditorPeer::connections() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

int SyncEditorPeer::disconnects() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return disconnects_;
}

bool SyncEditorPeer::waitForConnections(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return connections_ >= count; });
}

bool SyncEditorPeer::waitForDisconnects(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return disconnects_ >= count; });
}

std::string SyncEditorPeer::lastGreeting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return greetingSeen_;
}

std::vector<SyncEditorPeer::DemoCommand> SyncEditorPeer::commands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

bool SyncEditorPeer::waitForCommands(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return commands_.size() >= count; });
}

void SyncEditorPeer::clearCommands()
{
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.clear();
}

bool SyncEditorPeer::protocolError() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return protocolError_;
}

bool SyncEditorPeer::sendRaw(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return conn_ >= 0 && sendAllTo(conn_, bytes);
}

bool SyncEditorPeer::sendSetKey(uint32_t track, int32_t row, float value, uint8_t type)
{
    return sendRaw(setKeyBytes(track, row, value, type));
}

bool SyncEditorPeer::sendDeleteKey(uint32_t track, int32_t row)
{
    return sendRaw(deleteKeyBytes(track, row));
}

bool SyncEditorPeer::sendSetRow(int32_t row)
{
    return sendRaw(setRowBytes(row));
}

bool SyncEditorPeer::sendPause(uint8_t flag, int32_t row)
{
    return sendRaw(pauseBytes(flag, row));
}

bool SyncEditorPeer::sendSaveTracks()
{
    return sendRaw(std::string(1, char(SyncCommand::SAVE_TRACKS)));
}

bool SyncEditorPeer::sendMakeMaster()
{
    return sendRaw(std::string(1, char(SyncCommand::MAKE_MASTER)));
}

bool SyncEditorPeer::sendDeferredPurge()
{
    return sendRaw(std::string(1, char(SyncCommand::DEFERRED_PURGE)));
}

bool SyncEditorPeer::sendSetNoKey(uint32_t track)
{
    return sendRaw(setNoKeyBytes(track));
}

bool SyncEditorPeer::sendDataReceivedAll()
{
    return sendRaw(std::string(1, char(SyncCommand::DATA_RECEIVED_ALL)));
}

void SyncEditorPeer::sendLater(const std::string& bytes, int delayMs, size_t pieceSize, int pauseMs)
{
    if (pieceSize == 0)
        pieceSize = 1;
    senders_.emplace_back([this, bytes, delayMs, pieceSize, pauseMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        for (size_t at = 0; at < bytes.size(); at += pieceSize) {
            if (at > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            if (!sendRaw(bytes.substr(at, pieceSize)))
                return;
        }
    });
}

void SyncEditorPeer::finishSending()
{
    for (std::thread& t : senders_)
        t.join();
    senders_.clear();
}

void SyncEditorPeer::closeConnection()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closeConnLocked();
}

std::string SyncEditorPeer::setKeyBytes(uint32_t track, int32_t row, float value, uint8_t type)
{
    std::string s(1, char(SyncCommand::SET_KEY));
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendBe32(s, track);
    appendBe32(s, uint32_t(row));
    appendBe32(s, bits);
    s.push_back(char(type));
    return s;
}

std::string SyncEditorPeer::deleteKeyBytes(uint32_t track, int32_t row)
{
    std::string s(1, char(SyncCommand::DELETE_KEY));
    appendBe32(s, track);
    appendBe32(s, uint32_t(row));
    return s;
}

std::string SyncEditorPeer::setRowBytes(int32_t row)
{
    std::string s(1, char(SyncCommand::SET_ROW));
    appendBe32(s, uint32_t(row));
    return s;
}

std::string SyncEditorPeer::pauseBytes(uint8_t flag, int32_t row)
{
    std::string s(1, char(SyncCommand::PAUSE));
    s.push_back(char(flag));
    appendLe32(s, uint32_t(row)); // the one little-endian row on the wire
    return s;
}

std::string SyncEditorPeer::setNoKeyBytes(uint32_t track)
{
    std::string s(1, char(SyncCommand::SET_NO_KEY));
    appendBe32(s, track);
    return s;
}
