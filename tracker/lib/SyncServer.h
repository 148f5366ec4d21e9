#pragma once
// The editor's TCP server: one demo at a time, on the loopback interfaces.
//
// The server listens on 127.0.0.1 and ::1 (never on other interfaces: the
// protocol has no authentication). It takes the first demo that connects;
// later ones wait in line and are taken, in the order they came, when the
// current one goes. Everything runs on the thread that owns the server,
// driven by Qt's event loop: nothing here ever waits.
#include "tracker/lib/wire.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

class QTcpServer;
class QTcpSocket;

namespace tracker {

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
    QTimer greetingTimer_;
    std::deque<QPointer<QTcpSocket>> waiting_;
    std::string out_;
};

} // namespace tracker

Q_DECLARE_METATYPE(tracker::DemoMessage)
