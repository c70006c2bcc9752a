#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/FirmwareReplySlot.h"
#include "net/InterfaceEndpoints.h"
#include "net/ListeningEndpoint.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"

namespace velomar {

// Port 2057 could not be bound: another program holds it.
class PortInUseError : public SocketError {
  public:
    using SocketError::SocketError;
};

// One datagram from a device, with the address it came from.
struct Received {
    QByteArray bytes;
    QString sender;
};

// The program's side of the wire for a session without windows: the listening endpoint on
// the device port (its delivery thread queues what arrives) and one sending endpoint per
// local address, used exactly as the window uses them.
//
// Replies are routed by the MAC they carry at bytes 2-7 ('n', 'o', 'u', 'a' to that MAC's
// queue, 'f' straight from the listener into that MAC's firmware slot), so that sessions
// with different devices run side by side, each on a thread of its own, over the one
// socket. Everything else (discovery replies, what carries no MAC) goes to the common
// queue. Every member may be called from any thread.
class DeviceLink {
  public:
    using Clock = std::chrono::steady_clock;

    explicit DeviceLink(const QStringList& localAddresses, std::uint16_t port = kDevicePort);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // The receive buffer to ask for when the port is bound (the largest the system allows
    // unless a benchmark asks for what an ordinary workstation gets).
    void setReceiveBufferRequest(int bytes, bool mayExceedCeiling) {
        endpoint_->setReceiveBufferRequest(bytes, mayExceedCeiling);
    }
    // Binds the device port. Throws PortInUseError, saying who may hold it.
    void open();
    const QStringList& localAddresses() const { return addresses_; }

    // The frame once through every local address to 255.255.255.255 (one sender at a time).
    // In unicast mode a frame carrying the MAC of a device whose address is known goes to
    // that address only, from the listening endpoint, so that it crosses routers and the
    // answer still comes back to the device port; anything else is broadcast as ever.
    void broadcast(const QByteArray& frame);
    void setUnicast(bool on) { unicast_ = on; }
    bool unicast() const { return unicast_; }
    // The address book of unicast mode: where a device (6-byte MAC) answered from.
    void rememberAddress(const QByteArray& mac6, const QString& address);
    QString addressOf(const QByteArray& mac6) const;
    // The frame from the listening endpoint itself to one address (the search by IP), so
    // that the answer comes back to the device port.
    void sendTo(const QByteArray& frame, const QString& address);

    // Forgets what arrived in the common queue, or for one MAC, and was not taken yet.
    void discardReceived();
    void discardReceived(const QByteArray& mac6);
    // The next datagram of the common queue, or the next reply of one MAC, that arrives
    // before the deadline, oldest first.
    std::optional<Received> next(Clock::time_point deadline);
    std::optional<Received> next(Clock::time_point deadline, const QByteArray& mac6);

    // The firmware reply slot of one device (made on first use; it lives as long as the
    // link). An 'f' reply for a MAC without a slot is nobody's and dropped.
    FirmwareReplySlot& firmwareSlot(const QByteArray& mac6);
    // The device's last 'f' datagram, kept after the transfer emptied the slot: it tells a
    // refused block from one that got no answer.
    QByteArray lastFirmwareReply(const QByteArray& mac6) const;
    // Datagrams the system dropped on the listening socket since it was opened.
    std::optional<std::uint64_t> dropped() const { return endpoint_->dropped(); }

    // The local address a device at `sender` is reached through: the one whose network
    // holds it, else the one the system would route through; empty when neither is known.
    QString localAddressFor(const QString& sender) const;
    // The network of one of our local addresses ("198.18.1.0/24"), empty when unknown.
    QString localNetworkOf(const QString& localAddress) const;

  private:
    void receive(const QByteArray& datagram, const QString& sender);
    bool takeFirmwareReply(const char* data, int length);
    std::optional<Received> take(std::deque<Received>& queue, Clock::time_point deadline,
                                 std::unique_lock<std::mutex>& lock);

    struct LocalNetwork {
        QString address;
        QString network;  // the address entry's IP, for QHostAddress::isInSubnet
        int prefix;
    };
    QStringList addresses_;
    std::vector<LocalNetwork> networks_;  // read once: a burst of replies asks per reply
    std::uint16_t port_;
    std::mutex sendMutex_;
    std::atomic<bool> unicast_{false};
    mutable std::mutex bookMutex_;
    std::map<QByteArray, QString> book_;
    InterfaceEndpoints endpoints_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Received> queue_;
    std::map<QByteArray, std::deque<Received>> byMac_;
    size_t queued_ = 0;  // in queue_ and byMac_ together
    mutable std::mutex slotMutex_;
    std::map<QByteArray, std::unique_ptr<FirmwareReplySlot>> slots_;
    std::map<QByteArray, QByteArray> lastFirmwareReply_;
    std::unique_ptr<ListeningEndpoint> endpoint_;
};

}  // namespace velomar
