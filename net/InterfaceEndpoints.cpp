#include "net/InterfaceEndpoints.h"

namespace velomar {

void InterfaceEndpoint::broadcast(const QByteArray& frame, std::uint16_t port) {
    if (!socket_.isBound()) socket_.bind(address_, 0);
    socket_.setBroadcast(true);
    socket_.sendTo(frame, QStringLiteral("255.255.255.255"), port);
    socket_.setBroadcast(true);
}

InterfaceEndpoints::InterfaceEndpoints(const QStringList& addresses) {
    for (const QString& a : addresses) endpoints_.push_back(std::make_unique<InterfaceEndpoint>(a));
}

void InterfaceEndpoints::broadcastFrame(const QByteArray& frame, std::uint16_t port) {
    for (auto& e : endpoints_) e->broadcast(frame, port);
}

}  // namespace velomar
