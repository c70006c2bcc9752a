#include "net/InterfaceEndpoints.h"

#include "net/LocalAddresses.h"

namespace velomar {

void InterfaceEndpoint::broadcast(const QByteArray& frame, std::uint16_t port) {
    if (!socket_.isBound()) socket_.bind(address_, 0);
    socket_.setBroadcast(true);
    socket_.sendTo(frame, QStringLiteral("255.255.255.255"), port);
    socket_.setBroadcast(true);
}

InterfaceEndpoints InterfaceEndpoints::fromLocalAddresses() {
    return InterfaceEndpoints(LocalIPv4Addresses());
}

InterfaceEndpoints::InterfaceEndpoints(const QStringList& addresses) {
    for (const QString& a : addresses) endpoints_.push_back(std::make_unique<InterfaceEndpoint>(a));
}

QStringList InterfaceEndpoints::addresses() const {
    QStringList out;
    for (const auto& e : endpoints_) out << e->address();
    return out;
}

void InterfaceEndpoints::broadcastFrame(const QByteArray& frame, std::uint16_t port) {
    for (auto& e : endpoints_) e->broadcast(frame, port);
}

}  // namespace velomar
