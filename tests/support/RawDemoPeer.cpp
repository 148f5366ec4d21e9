#include "support/RawDemoPeer.h"

#include "support/QtTestApp.h"

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawDemoPeer::RawDemoPeer(uint16_t port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

RawDemoPeer::~RawDemoPeer()
{
    ::close(fd_);
}

void RawDemoPeer::send(const std::string& bytes, size_t piece)
{
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min(piece, bytes.size() - at);
        const ssize_t sent = ::send(fd_, bytes.data() + at, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0)
            at += size_t(sent);
        else if (sent == 0 || (errno != EAGAIN && errno != EINTR))
            return; // the editor is gone
        // Give the editor its turn, also while the socket is full.
        waitUntil([] { return false; }, 2);
    }
}

std::string RawDemoPeer::read(size_t n, int timeoutMs)
{
    std::string got;
    waitUntil(
        [&] {
            pollfd p{fd_, POLLIN, 0};
            while (got.size() < n && ::poll(&p, 1, 0) > 0) {
                char buf[4096];
                const ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - got.size()), 0);
                if (r <= 0) {
                    closed_ = true;
                    return true;
                }
                got.append(buf, size_t(r));
            }
            return got.size() >= n;
        },
        timeoutMs);
    return got;
}

bool RawDemoPeer::closedByEditor()
{
    read(1 << 16, 3000);
    return closed_;
}

std::string RawDemoPeer::be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string RawDemoPeer::getTrack(uint32_t index, const std::string& name)
{
    return std::string(1, '\x02') + be32(index) + be32(uint32_t(name.size())) + name;
}
