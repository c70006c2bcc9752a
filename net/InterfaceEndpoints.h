#pragma once

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <vector>

#include "net/UdpSocket.h"

namespace velomar {

// One sending endpoint per local IPv4 address. Each is bound to its address and a
// system-chosen port the first time it sends, so that a limited broadcast leaves through
// that address's network. Nothing is ever read from them.
class InterfaceEndpoint {
  public:
    explicit InterfaceEndpoint(QString address) : address_(std::move(address)) {}
    const QString& address() const { return address_; }
    bool isBound() const { return socket_.isBound(); }
    std::uint16_t localPort() const { return socket_.localPort(); }
    // Binds on first use, switches broadcast on and sends to 255.255.255.255:port.
    void broadcast(const QByteArray& frame, std::uint16_t port);

  private:
    QString address_;
    UdpSocket socket_;
};

class InterfaceEndpoints {
  public:
    explicit InterfaceEndpoints(const QStringList& addresses);
    InterfaceEndpoints() = default;

    int size() const { return static_cast<int>(endpoints_.size()); }
    InterfaceEndpoint& at(int i) { return *endpoints_.at(static_cast<size_t>(i)); }

    // Sends the frame through every endpoint, in order. A failing send throws and the
    // endpoints after it send nothing.
    void broadcastFrame(const QByteArray& frame, std::uint16_t port);

  private:
    std::vector<std::unique_ptr<InterfaceEndpoint>> endpoints_;
};

// The same datagram once through each interface endpoint to 255.255.255.255:port.
inline void BroadcastFrame(InterfaceEndpoints& endpoints, const QByteArray& frame,
                           std::uint16_t port) {
    endpoints.broadcastFrame(frame, port);
}

}  // namespace velomar
