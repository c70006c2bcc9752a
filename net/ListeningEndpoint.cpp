#include "net/ListeningEndpoint.h"

#include "protocol/Errors.h"

namespace velomar {

ListeningEndpoint::ListeningEndpoint(Handler handler, std::uint16_t port)
    : handler_(std::move(handler)), port_(port)
{
}

ListeningEndpoint::~ListeningEndpoint()
{
    close();
}

void ListeningEndpoint::open()
{
    if (open_) return;
    auto socket = std::make_unique<UdpSocket>();
    socket->setBroadcast(broadcast_);
    socket->setReceiveBufferSize(4 * 1024 * 1024);
    socket->bind(QStringLiteral("0.0.0.0"), port_);
    socket_ = std::move(socket);
    stopping_ = false;
    open_ = true;
    thread_ = std::thread([this] { run(); });
}

void ListeningEndpoint::close()
{
    if (!open_) return;
    stopping_ = true;
    if (onClosing) onClosing();
    socket_->wake();
    if (thread_.joinable()) thread_.join();
    socket_->close();
    socket_.reset();
    open_ = false;
}

void ListeningEndpoint::setBroadcast(bool on)
{
    broadcast_ = on;
    if (socket_) socket_->setBroadcast(on);
}

void ListeningEndpoint::sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port)
{
    if (!socket_) throw SocketError(QStringLiteral("Socket Error: the listening endpoint is not open"));
    socket_->sendTo(datagram, address, port);
}

void ListeningEndpoint::run()
{
    QByteArray datagram;
    QString sender;
    std::uint16_t senderPort = 0;
    bool truncated = false;
    while (!stopping_) {
        // Slices of one second; close() also wakes the wait at once.
        if (socket_->waitReadable(1000) != UdpSocket::WaitResult::Readable) continue;
        // Take everything that is queued before waiting again: one wait per burst, not per
        // datagram, keeps the socket's queue short when many devices answer at once.
        while (!stopping_ && socket_->tryReceive(kBufferSize, &datagram, &sender, &senderPort, &truncated)) {
            if (truncated) continue;
            try {
                handler_(datagram, sender, senderPort);
            } catch (...) {
                // An error while handling one datagram drops that datagram; the listener goes on.
            }
        }
    }
}
}  // namespace velomar
