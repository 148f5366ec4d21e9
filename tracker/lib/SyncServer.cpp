#include "tracker/lib/SyncServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace tracker {

SyncServer::SyncServer(QObject* parent)
    : QObject(parent)
    , v4_(new QTcpServer(this))
    , v6_(new QTcpServer(this))
{
    qRegisterMetaType<tracker::DemoMessage>();
    for (QTcpServer* s : {v4_, v6_})
        connect(s, &QTcpServer::newConnection, this, [this, s] { acceptPending(s); });
    greetingTimer_.setSingleShot(true);
    greetingTimer_.setInterval(5000);
    connect(&greetingTimer_, &QTimer::timeout, this,
            [this] { dropDemo(QStringLiteral("the peer did not greet like a demo")); });
}

SyncServer::~SyncServer()
{
    if (demo_)
        demo_->abort();
}

SyncServer::ListenResult SyncServer::listen(quint16 port)
{
    if (!v4_->listen(QHostAddress::LocalHost, port)) {
        error_ = v4_->errorString();
        return v4_->serverError() == QAbstractSocket::AddressInUseError ? ListenResult::PortTaken
                                                                         : ListenResult::Failed;
    }
    port_ = v4_->serverPort();
    // A demo resolves "localhost" and may try ::1 first: when another
    // program holds the port there, the demo would talk to it, not to us.
    if (!v6_->listen(QHostAddress::LocalHostIPv6, port_) && port != 0
        && v6_->serverError() == QAbstractSocket::AddressInUseError) {
        error_ = v6_->errorString();
        v4_->close();
        return ListenResult::PortTaken;
    }
    return ListenResult::Listening;
}

bool SyncServer::hasDemo() const
{
    return demo_ && greeted_;
}

void SyncServer::acceptPending(QTcpServer* server)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What the decoder has not asked for yet stays in the kernel, also
        // while a demo waits in line.
        socket->setReadBufferSize(demo_backlog_bytes);
        // A waiting demo that gives up leaves the line.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == demo_) {
                dropDemo(QString());
            } else {
                for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
                    if (*it == socket) {
                        waiting_.erase(it);
                        break;
                    }
                }
                socket->deleteLater();
            }
        });
        waiting_.push_back(socket);
    }
    if (!demo_)
        takeNext();
}

void SyncServer::takeNext()
{
    while (!demo_ && !waiting_.empty()) {
        QPointer<QTcpSocket> next = waiting_.front();
        waiting_.pop_front();
        if (!next || next->state() != QAbstractSocket::ConnectedState) {
            if (next)
                next->deleteLater();
            continue;
        }
        demo_ = next;
        greeted_ = false;
        decoder_ = DemoStreamDecoder();
        connect(demo_, &QTcpSocket::readyRead, this, &SyncServer::readDemo);
        greetingTimer_.start();
        // Bytes that arrived while it waited in line.
        if (demo_->bytesAvailable() > 0)
            readDemo();
    }
}

void SyncServer::readDemo()
{
    QPointer<QTcpSocket> socket = demo_;
    if (!socket)
        return;
    QElapsedTimer slice;
    slice.start();
    DemoMessage msg;
    // A handler may drop the demo (or a new one may have taken its place).
    while (socket && socket == demo_) {
        if (slice.elapsed() >= demo_slice_ms) {
            // The rest in a later turn, after the window and the writes.
            if (!sliceQueued_) {
                sliceQueued_ = true;
                QTimer::singleShot(0, this, [this] {
                    sliceQueued_ = false;
                    readDemo();
                });
            }
            break;
        }
        const DemoStreamDecoder::Result result = decoder_.next(&msg);
        if (result == DemoStreamDecoder::Result::NeedMore) {
            // A message longer than the backlog (a name of up to a
            // megabyte) still has to come in whole.
            const qint64 room = std::max(demo_backlog_bytes - qint64(decoder_.buffered()), qint64(64 * 1024));
            const QByteArray bytes = socket->read(room);
            if (bytes.isEmpty())
                break;
            decoder_.feed(bytes.constData(), size_t(bytes.size()));
            continue;
        }
        switch (result) {
        case DemoStreamDecoder::Result::NeedMore:
            break;
        case DemoStreamDecoder::Result::Garbage:
            dropDemo(QString::fromStdString(decoder_.error()));
            break;
        case DemoStreamDecoder::Result::Greeted:
            greetingTimer_.stop();
            greeted_ = true;
            socket->write(editor_greeting, qint64(editor_greeting_len));
            Q_EMIT demoConnected();
            break;
        case DemoStreamDecoder::Result::Message:
            Q_EMIT messageReceived(msg);
            break;
        }
    }
    Q_EMIT messagesHandled();
}

void SyncServer::dropDemo(const QString& reason)
{
    greetingTimer_.stop();
    if (!demo_)
        return;
    QTcpSocket* gone = demo_;
    const bool wasGreeted = greeted_;
    demo_ = nullptr;
    greeted_ = false;
    gone->disconnect(this);
    gone->abort();
    gone->deleteLater();
    if (wasGreeted || !reason.isEmpty())
        Q_EMIT demoDisconnected(reason);
    takeNext();
}

void SyncServer::sendBytes(const std::string& bytes)
{
    if (!hasDemo() || bytes.empty())
        return;
    if (demo_->bytesToWrite() > max_unsent_bytes) {
        dropDemo(QStringLiteral("it reads nothing of what the editor sends"));
        return;
    }
    demo_->write(bytes.data(), qint64(bytes.size()));
}

void SyncServer::sendSetKey(uint32_t index, int32_t row, float value, uint8_t type)
{
    sendEncoded([&](std::string& out) { encode_set_key(out, index, row, value, type); });
}

void SyncServer::sendDeleteKey(uint32_t index, int32_t row)
{
    sendEncoded([&](std::string& out) { encode_delete_key(out, index, row); });
}

void SyncServer::sendSetRow(int32_t row)
{
    sendEncoded([&](std::string& out) { encode_set_row(out, row); });
}

void SyncServer::sendPause(bool pause, int32_t row)
{
    sendEncoded([&](std::string& out) { encode_pause(out, pause, row); });
}

void SyncServer::sendPlain(SyncCommand cmd)
{
    sendEncoded([&](std::string& out) { encode_plain(out, cmd); });
}

} // namespace tracker
