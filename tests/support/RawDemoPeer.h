#pragma once
// A demo for our sync editor's tests that speaks raw bytes over loopback,
// to send what no demo would. Its waits serve the editor's event loop.
#include <cstddef>
#include <cstdint>
#include <string>

class RawDemoPeer {
public:
    explicit RawDemoPeer(uint16_t port);
    ~RawDemoPeer();
    RawDemoPeer(const RawDemoPeer&) = delete;
    RawDemoPeer& operator=(const RawDemoPeer&) = delete;

    bool connected() const { return connected_; }
    // Sends bytes in pieces, each its own segment, serving the editor between.
    void send(const std::string& bytes, size_t piece = 1 << 20);
    // n bytes, or fewer when the editor closed the connection first.
    std::string read(size_t n, int timeoutMs = 3000);
    bool closedByEditor();
    int fd() const { return fd_; }

    // Wire pieces of a demo's commands.
    static std::string be32(uint32_t v);
    static std::string getTrack(uint32_t index, const std::string& name);

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
};
