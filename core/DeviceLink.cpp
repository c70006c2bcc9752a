#include "core/DeviceLink.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

#include "protocol/Frame.h"

namespace velomar {

namespace {
// A listener far behind its senders is a sign of trouble, not a reason to eat memory.
constexpr size_t kQueueLimit = 1 << 20;

// The MAC a reply of one device's session carries, or nothing for what goes to all.
std::optional<QByteArray> RoutedMac(const QByteArray& datagram) {
    const auto letter = ReplyLetter(datagram);
    if (!letter || datagram.size() < kMacOffset + kMacSize + 1) return std::nullopt;
    switch (*letter) {
        case Letter::NetworkReply:
        case Letter::OperationReply:
        case Letter::SerialReply:
        case Letter::ApplyReply:
            return datagram.mid(kMacOffset, kMacSize);
        default:
            return std::nullopt;
    }
}
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
        return takeFirmwareReply(data, length);
    };
}

bool DeviceLink::takeFirmwareReply(const char* data, int length) {
    if (ReplyLetter(QByteArray::fromRawData(data, length)) != Letter::FirmwareReply) return false;
    if (length < kMacOffset + kMacSize) return true;  // a reply of nobody's
    const QByteArray reply(data, length);
    const QByteArray mac = reply.mid(kMacOffset, kMacSize);
    FirmwareReplySlot* slot = nullptr;
    {
        std::lock_guard lock(slotMutex_);
        const auto it = slots_.find(mac);
        if (it == slots_.end()) return true;
        lastFirmwareReply_[mac] = reply;
        slot = it->second.get();
    }
    slot->store(reply);  // slots live as long as the link
    return true;
}

FirmwareReplySlot& DeviceLink::firmwareSlot(const QByteArray& mac6) {
    std::lock_guard lock(slotMutex_);
    auto& slot = slots_[mac6];
    if (!slot) slot = std::make_unique<FirmwareReplySlot>();
    return *slot;
}

QByteArray DeviceLink::lastFirmwareReply(const QByteArray& mac6) const {
    std::lock_guard lock(slotMutex_);
    const auto it = lastFirmwareReply_.find(mac6);
    return it == lastFirmwareReply_.end() ? QByteArray() : it->second;
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
    if (unicast_ && frame.size() >= kMacOffset + kMacSize + 1) {
        const QString address = addressOf(frame.mid(kMacOffset, kMacSize));
        if (!address.isEmpty()) {
            std::lock_guard lock(sendMutex_);
            endpoint_->sendTo(frame, address, port_);
            return;
        }
    }
    // An endpoint binds on its first send: two sessions must not both do it.
    std::lock_guard lock(sendMutex_);
    BroadcastFrame(endpoints_, frame, port_);
}

void DeviceLink::rememberAddress(const QByteArray& mac6, const QString& address) {
    std::lock_guard lock(bookMutex_);
    book_[mac6] = address;
}

QString DeviceLink::addressOf(const QByteArray& mac6) const {
    std::lock_guard lock(bookMutex_);
    const auto it = book_.find(mac6);
    return it == book_.end() ? QString() : it->second;
}

void DeviceLink::sendTo(const QByteArray& frame, const QString& address) {
    // Without broadcast permission a broadcast address is refused by the system, as in the
    // window's search by IP.
    std::lock_guard lock(sendMutex_);
    endpoint_->setBroadcast(false);
    endpoint_->sendTo(frame, address, port_);
}

void DeviceLink::receive(const QByteArray& datagram, const QString& sender) {
    const auto mac = RoutedMac(datagram);
    {
        std::lock_guard lock(mutex_);
        if (queued_ >= kQueueLimit) return;
        (mac ? byMac_[*mac] : queue_).push_back(Received{datagram, sender});
        ++queued_;
    }
    // Sessions of several devices wait on the one condition: each looks at its own queue.
    arrived_.notify_all();
}

void DeviceLink::discardReceived() {
    std::lock_guard lock(mutex_);
    queued_ -= queue_.size();
    queue_.clear();
}

void DeviceLink::discardReceived(const QByteArray& mac6) {
    std::lock_guard lock(mutex_);
    const auto it = byMac_.find(mac6);
    if (it == byMac_.end()) return;
    queued_ -= it->second.size();
    it->second.clear();  // the node stays: a session may be waiting on it
}

std::optional<Received> DeviceLink::take(std::deque<Received>& queue, Clock::time_point deadline,
                                         std::unique_lock<std::mutex>& lock) {
    if (!arrived_.wait_until(lock, deadline, [&] { return !queue.empty(); })) return std::nullopt;
    Received r = std::move(queue.front());
    queue.pop_front();
    --queued_;
    return r;
}

std::optional<Received> DeviceLink::next(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return take(queue_, deadline, lock);
}

std::optional<Received> DeviceLink::next(Clock::time_point deadline, const QByteArray& mac6) {
    std::unique_lock lock(mutex_);
    // The node stays while waiting: std::map keeps its elements where they are.
    return take(byMac_[mac6], deadline, lock);
}

QString DeviceLink::localNetworkOf(const QString& localAddress) const {
    for (const LocalNetwork& n : networks_) {
        if (n.address != localAddress) continue;
        const auto [net, prefix] =
            QHostAddress::parseSubnet(n.network + u'/' + QString::number(n.prefix));
        return net.toString() + u'/' + QString::number(prefix);
    }
    return {};
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
