#pragma once
// A sync editor for tests. It listens on 127.0.0.1 on a port of its own
// (bound to port 0, so tests running side by side never collide), accepts
// the demo, answers its greeting, and records every command the demo sends;
// the test sends editor commands through it. A background thread accepts
// and receives; the sending calls run on the test's thread. Every wait is
// bounded.
#include "sync/sync_device.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SyncEditorPeer {
public:
    // How the peer answers the demo's greeting.
    enum class Greeting {
        Correct, // "hello, demo!"
        Wrong,   // twelve other bytes, then it keeps the connection
        Short,   // five bytes, then it closes
        Silent,  // closes without a word
    };

    // One command the demo sent. Fields that the command lacks stay 0/empty.
    struct DemoCommand {
        SyncCommand cmd = SyncCommand::SAVE_ALL;
        uint32_t index = 0;  // GET_TRACK
        int32_t number = 0;  // SET_ROW (the row), FIND_TRACK, FIND_SKENE_START
        float value = 0.0f;  // SET_TRACK_VALUE, SET_FIRST_VALUE
        std::string name;
        std::string bytes;   // the whole command as it came over the wire
    };

    explicit SyncEditorPeer(Greeting greeting = Greeting::Correct);
    ~SyncEditorPeer();
    SyncEditorPeer(const SyncEditorPeer&) = delete;
    SyncEditorPeer& operator=(const SyncEditorPeer&) = delete;

    uint16_t port() const { return port_; }

    // Connections accepted and greeted so far, and those that ended (the
    // demo closed them, or closeConnection()).
    int connections() const;
    int disconnects() const;
    bool waitForConnections(int count, int timeoutMs = 5000) const;
    bool waitForDisconnects(int count, int timeoutMs = 5000) const;
    // The greeting the demo sent on the last connection.
    std::string lastGreeting() const;

    std::vector<DemoCommand> commands() const;
    bool waitForCommands(size_t count, int timeoutMs = 5000) const;
    void clearCommands();
    // Bytes that did not parse as a demo command (then the peer stops parsing).
    bool protocolError() const;

    // Editor commands on the current connection; false when there is none or
    // the send failed.
    bool sendSetKey(uint32_t track, int32_t row, float value, uint8_t type);
    bool sendDeleteKey(uint32_t track, int32_t row);
    bool sendSetRow(int32_t row);
    bool sendPause(uint8_t flag, int32_t row);
    bool sendSaveTracks();
    bool sendMakeMaster();
    bool sendDeferredPurge();
    bool sendSetNoKey(uint32_t track);
    bool sendDataReceivedAll();
    bool sendRaw(const std::string& bytes);

    // Sends bytes from a helper thread: first after delayMs, then in pieces
    // of pieceSize bytes with pauseMs between, each its own TCP segment.
    // Lets a test block in sync_update() on a command still arriving.
    void sendLater(const std::string& bytes, int delayMs, size_t pieceSize = 1, int pauseMs = 5);
    // Waits for every sendLater() to finish.
    void finishSending();

    // The editor goes away: closes the current connection.
    void closeConnection();

    // Wire encodings of the editor commands, for building raw streams.
    static std::string setKeyBytes(uint32_t track, int32_t row, float value, uint8_t type);
    static std::string deleteKeyBytes(uint32_t track, int32_t row);
    static std::string setRowBytes(int32_t row);
    static std::string pauseBytes(uint8_t flag, int32_t row);
    static std::string setNoKeyBytes(uint32_t track);

private:
    void run();
    void acceptOne();
    void receive();
    void parse();
    void closeConnLocked();

    Greeting greeting_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> senders_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int conn_ = -1;
    int connections_ = 0;
    int disconnects_ = 0;
    std::string greetingSeen_;
    std::string inbox_;
    std::vector<DemoCommand> commands_;
    bool protocolError_ = false;
};
