#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/UdpSocket.h"

namespace velomar {

// A UDP endpoint bound to all local addresses on one port (2057 in the product), with its
// own listener thread. Each datagram is received whole into an 8192-byte buffer and handed,
// with its sender, to the handler on the listener thread, one at a time in arrival order.
// A longer datagram is dropped; an exception from the handler drops that datagram only.
class ListeningEndpoint {
public:
    static constexpr int kBufferSize = 8192;
    using Handler = std::function<void(const QByteArray& datagram, const QString& senderAddress,
                                       std::uint16_t senderPort)>;

    explicit ListeningEndpoint(Handler handler, std::uint16_t port = 2057);
    ~ListeningEndpoint();
    ListeningEndpoint(const ListeningEndpoint&) = delete;
    ListeningEndpoint& operator=(const ListeningEndpoint&) = delete;

    void setPort(std::uint16_t port) { port_ = port; }
    std::uint16_t port() const { return port_; }

    // Binds 0.0.0.0:port (no address reuse) and starts the listener. Opening an open
    // endpoint changes nothing. Throws SocketError when the port cannot be bound.
    void open();
    bool isOpen() const { return open_; }
    // Stops the listener, waits for it to end and releases the port. Closing a closed
    // endpoint changes nothing. onClosing runs first (on the closing thread) so that a
    // listener waiting for another thread can be released.
    void close();
    std::function<void()> onClosing;

    // Broadcast permission for what this endpoint itself sends (on at creation).
    void setBroadcast(bool on);
    // Sends one datagram from this endpoint; throws SocketError on failure.
    void sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port);

private:
    void run();

    Handler handler_;
    std::uint16_t port_;
    bool broadcast_ = true;
    std::atomic<bool> open_{false};
    std::atomic<bool> stopping_{false};
    std::unique_ptr<UdpSocket> socket_;
    std::thread thread_;
};

}  // namespace velomar
