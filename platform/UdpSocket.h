#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

namespace velomar {

// A plain UDP socket over the operating system's socket interface. We use the native API
// rather than QUdpSocket because the endpoints need exact control of the options (no
// address reuse on the listening port, SO_BROADCAST switched per send) and a receive that
// another thread can interrupt at once. Every failure throws SocketError with the
// system's reason.
class UdpSocket {
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // address: dotted IPv4 text, "0.0.0.0" for all local addresses. No SO_REUSEADDR: a
    // port held by another program makes bind fail.
    void bind(const QString& address, std::uint16_t port);
    bool isBound() const;
    std::uint16_t localPort() const;
    void setBroadcast(bool on);
    bool broadcast() const;
    // Sends one datagram; throws on failure (e.g. a broadcast without permission).
    void sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port);

    enum class WaitResult { Readable, Timeout, Woken };
    // Waits up to timeoutMs for a datagram, returning early when wake() is called.
    WaitResult waitReadable(int timeoutMs);
    // Receives one datagram of at most maxSize bytes. A longer datagram is reported with
    // truncated = true (its tail is lost).
    QByteArray receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort, bool* truncated);
    // The same without waiting: false when no datagram is queued (the outputs are untouched).
    bool tryReceive(int maxSize, QByteArray* datagram, QString* senderAddress, std::uint16_t* senderPort,
                    bool* truncated);
    // Interrupts a waitReadable() running on another thread. Safe from any thread.
    void wake();
    void close();
    // Requested receive buffer size (SO_RCVBUF); best effort.
    void setReceiveBufferSize(int bytes);

private:
    bool receiveOne(int maxSize, int flags, QByteArray* datagram, QString* senderAddress,
                    std::uint16_t* senderPort, bool* truncated);

    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace velomar
