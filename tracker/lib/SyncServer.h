#pragma once
// The editor's TCP server: one demo at a time, on the loopback interfaces.
//
// The server listens on 127.0.0.1 and ::1 (never on other interfaces: the
// protocol has no authentication). It takes the first demo that connects;
// later ones wait in line and are taken, in the order they came, when the
// current one goes. Everything runs on the thread that owns the server,
// driven by Qt's event loop: nothing here ever waits, and a demo that
// floods the editor is handled a slice at a time (demo_slice_ms of work per
// turn of the loop, demo_backlog_bytes taken in ahead), so the window keeps
// answering.
#include "tracker/lib/wire.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

class QTcpServer;
class QTcpSocket;

namespace tracker {

// Milliseconds of the demo's commands handled in one turn of the event loop.
constexpr int demo_slice_ms = 20;
// Bytes of the demo's stream taken in ahead of the commands handled; the
// rest waits in the socket.
constexpr qint64 demo_backlog_bytes = 1 << 20;
// Bytes waiting to go to the demo at most. A demo that reads nothing of what
// it asks for (each request can bring a whole track) is dropped before the
// editor runs out of memory; a whole resend of a real project is far less.
constexpr qint64 max_unsent_bytes = qint64(64) << 20;

class SyncServer : public QObject {
    Q_OBJECT
public:
    enum class ListenResult { Listening, PortTaken, Failed };

    explicit SyncServer(QObject* parent = nullptr);
    ~SyncServer() override;

    // Listens on port (0 picks a free one). IPv6 loopback is used when the
    // machine has it; without it the server works on IPv4 alone.
    ListenResult listen(quint16 port);
    quint16 port() const { return port_; }
    QString errorString() const { return error_; }

    bool hasDemo() const;
    // How long a new connection may take to greet before it is dropped.
    void setGreetingTimeout(int ms) { greetingTimer_.setInterval(ms); }

    // Commands to the current demo; without one they are dropped.
    void sendSetKey(uint32_t index, int32_t row, float value, uint8_t type);
    void sendDeleteKey(uint32_t index, int32_t row);
    void sendSetRow(int32_t row);
    void sendPause(bool pause, int32_t row);
    void sendPlain(SyncCommand cmd);
    // Bytes already encoded (a whole resend goes out in one write).
    void sendBytes(const std::string& bytes);

Q_SIGNALS:
    void demoConnected();
    // reason is empty when the demo closed the connection itself.
    void demoDisconnected(const QString& reason);
    void messageReceived(const tracker::DemoMessage& message);
    // After the messages of one turn of the event loop.
    void messagesHandled();

private:
    template <typename Encode>
    void sendEncoded(Encode encode)
    {
        out_.clear();
        encode(out_);
        sendBytes(out_);
    }
    void acceptPending(QTcpServer* server);
    void takeNext();
    void readDemo();
    void dropDemo(const QString& reason);

    QTcpServer* v4_;
    QTcpServer* v6_;
    quint16 port_ = 0;
    QString error_;
    QPointer<QTcpSocket> demo_;
    bool greeted_ = false;
    DemoStreamDecoder decoder_;
    bool sliceQueued_ = false;
    QTimer greetingTimer_;
    std::deque<QPointer<QTcpSocket>> waiting_;
    std::string out_;
};

} // namespace tracker

Q_DECLARE_METATYPE(tracker::DemoMessage)
