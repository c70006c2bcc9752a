#include "core/DeviceLink.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

#include "protocol/Frame.h"

namespace velomar {

namespace {
// A listener far behind its senders is a sign of trouble, not a reason to eat memory.
constexpr size_t kQueueLimit = 1 << 20;
}  // namespace

DeviceLink::DeviceLink(const QStringList& localAddresses, std::uint16_t port)
    : addresses_(localAddresses), port_(port), endpoints_(localAddresses) {
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QString local = entry.ip().toString();
            if (addresses_.contains(local) && entry.prefixLength() >= 0) {
                networks_.push_back({local, local, entry.prefixLength()});
            }
        }
    }
    endpoint_ = std::make_unique<ListeningEndpoint>(
        [this](const QByteArray& d, const QString& a, std::uint16_t) { receive(d, a); }, port);
    endpoint_->takeDirectly = [this](const char* data, int length) {
        if (ReplyLetter(QByteArray::fromRawData(data, length)) != Letter::FirmwareReply) {
            return false;
        }
        const QByteArray reply(data, length);
        {
            std::lock_guard lock(lastReplyMutex_);
            lastFirmwareReply_ = reply;
        }
        firmwareSlot_.store(reply);
        return true;
    };
}

DeviceLink::~DeviceLink() {
    endpoint_->close();
}

void DeviceLink::open() {
    try {
        endpoint_->open();
    } catch (const SocketError& e) {
        throw PortInUseError(
            QStringLiteral("port %1 is in use by another program (perhaps Velomar's window or "
                           "another velomar-cli); they share it one at a time. Close the other "
                           "program and try again (velomar-cli doctor tells which one holds it). "
                           "The system said: %2")
                .arg(port_)
                .arg(e.text()));
    }
}

void DeviceLink::broadcast(const QByteArray& frame) {
    BroadcastFrame(endpoints_, frame, port_);
}

void DeviceLink::sendTo(const QByteArray& frame, const QString& address) {
    // Without broadcast permission a broadcast address is refused by the system, as in the
    // window's search by IP.
    endpoint_->setBroadcast(false);
    endpoint_->sendTo(frame, address, port_);
}

void DeviceLink::receive(const QByteArray& datagram, const QString& sender) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kQueueLimit) return;
        queue_.push_back(Received{datagram, sender});
    }
    arrived_.notify_one();
}

void DeviceLink::discardReceived() {
    std::lock_guard lock(mutex_);
    queue_.clear();
}

std::optional<Received> DeviceLink::next(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
        return std::nullopt;
    }
    Received r = std::move(queue_.front());
    queue_.pop_front();
    return r;
}

QString DeviceLink::localAddressFor(const QString& sender) const {
    const QHostAddress peer(sender);
    for (const LocalNetwork& n : networks_) {
        if (peer.isInSubnet(QHostAddress(n.network), n.prefix)) return n.address;
    }
    // A device on a foreign network: ask the routing table. Connecting a UDP socket only
    // picks the route; nothing is sent.
    QUdpSocket probe;
    probe.connectToHost(peer, port_);
    if (probe.waitForConnected(100)) {
        const QString local = probe.localAddress().toString();
        if (addresses_.contains(local)) return local;
    }
    return addresses_.size() == 1 ? addresses_.first() : QString();
}

}  // namespace velomar
