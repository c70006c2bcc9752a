#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velomar {

// Datagrams taken off a socket in one go, in arrival order, in buffers allocated once: a
// listener reads a burst of replies without an allocation per datagram.
class ReceiveBatch {
  public:
    struct Datagram {
        const char* data;
        int length;              // bytes kept (at most the batch's maxSize)
        bool truncated;          // the datagram was longer than maxSize; its tail is lost
        std::uint32_t senderIp;  // host byte order
        std::uint16_t senderPort;
    };

    explicit ReceiveBatch(int capacity = 64, int maxSize = 8192);
    ~ReceiveBatch();
    ReceiveBatch(const ReceiveBatch&) = delete;
    ReceiveBatch& operator=(const ReceiveBatch&) = delete;

    int capacity() const { return capacity_; }
    int maxSize() const { return maxSize_; }
    int size() const { return size_; }
    const Datagram& operator[](int i) const { return datagrams_[static_cast<size_t>(i)]; }

  private:
    friend class UdpSocket;
    struct Native;  // the system's per-message headers

    int capacity_;
    int maxSize_;
    int size_ = 0;
    std::vector<char> storage_;
    std::vector<Datagram> datagrams_;
    std::unique_ptr<Native> native_;
};

// Dotted text of an IPv4 address given in host byte order.
QString Ipv4Text(std::uint32_t address);

// Lowers the calling thread's scheduling priority where the system allows it per thread.
void LowerCurrentThreadPriority();

// A plain UDP socket over the operating system's socket interface. We use the native API
// rather than QUdpSocket because the endpoints need exact control of the options (no
// address reuse on the listening port, SO_BROADCAST switched per send), a receive that
// another thread can interrupt at once, batched receives and the system's drop count.
// Every failure throws SocketError with the system's reason.
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
    QByteArray receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                       bool* truncated);
    // Asks the system to tell, from now on, the address each datagram was sent to.
    void reportDestinations();
    // receive(), and that address (a broadcast or the socket's own) where the system tells
    // (Linux, after reportDestinations()); else the destination is empty.
    QByteArray receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                       bool* truncated, QString* destination);
    // Fills the batch with what is queued, without waiting (one system call on Linux);
    // returns how many datagrams it holds, 0 when none was queued.
    int receiveBatch(ReceiveBatch& batch);
    // Interrupts a waitReadable() running on another thread. Safe from any thread.
    void wake();
    void close();

    // Asks for a receive buffer of the given size. With mayExceedCeiling, a process that is
    // allowed to (Linux: CAP_NET_ADMIN) gets it beyond the system's ceiling. Returns the
    // size the system granted, as it reports it.
    int requestReceiveBuffer(int bytes, bool mayExceedCeiling);
    // Datagrams the system dropped on this socket since it was created, where the system
    // tells (Linux); nothing elsewhere.
    std::optional<std::uint64_t> droppedCount() const;

  private:
    bool receiveOne(int maxSize, int flags, QByteArray* datagram, QString* senderAddress,
                    std::uint16_t* senderPort, bool* truncated);

    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace velomar
