#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "net/UdpSocket.h"

namespace velomar {

// A UDP endpoint bound to all local addresses on one port (2057 in the product), with its
// own listener thread. Each datagram is received whole into an 8192-byte buffer and handed,
// with its sender, to the handler, one at a time in arrival order. A longer datagram is
// dropped; an exception from the handler drops that datagram only.
//
// Two threads share the work so that a burst of replies is not lost: the listener thread
// only takes datagrams off the socket, in batches into buffers allocated once, and queues
// them raw; the delivery thread, at a lower priority, runs the handler on them. While a
// burst arrives the listener keeps the CPU and the socket's queue stays short.
class ListeningEndpoint {
  public:
    static constexpr int kBufferSize = 8192;
    // What the product asks for: far more than a stock kernel's ceiling, which then caps it.
    static constexpr int kDefaultReceiveBuffer = 32 * 1024 * 1024;
    // The socket counts as quiet when nothing arrived for this long after a datagram.
    static constexpr int kQuietMs = 3;
    using Handler = std::function<void(const QByteArray& datagram, const QString& senderAddress,
                                       std::uint16_t senderPort)>;

    explicit ListeningEndpoint(Handler handler, std::uint16_t port = 2057);
    ~ListeningEndpoint();
    ListeningEndpoint(const ListeningEndpoint&) = delete;
    ListeningEndpoint& operator=(const ListeningEndpoint&) = delete;

    void setPort(std::uint16_t port) { port_ = port; }
    std::uint16_t port() const { return port_; }
    // The receive buffer asked for at the next open, and whether a process allowed to may
    // exceed the system's ceiling (the product: the largest buffer it can have).
    void setReceiveBufferRequest(int bytes, bool mayExceedCeiling);
    // What the system granted at the last open (0 before the first).
    int receiveBufferGranted() const { return granted_; }

    // Binds 0.0.0.0:port (no address reuse) and starts the listener. Opening an open
    // endpoint changes nothing. Throws SocketError when the port cannot be bound.
    void open();
    bool isOpen() const { return open_; }
    // Stops the listener, hands every datagram it took before to the handler, waits for
    // both threads to end and releases the port. Closing a closed endpoint changes
    // nothing. onClosing runs first (on the closing thread) so that a handler waiting for
    // another thread can be released.
    void close();
    std::function<void()> onClosing;
    // Runs on the delivery thread when the socket went quiet after datagrams, once every
    // datagram taken before has been handled: the end of a burst.
    std::function<void()> onQuiet;
    // Runs on the listener thread for each datagram before it is queued; a datagram it
    // takes is not queued for the handler. For hand-overs that cost no more than a copy
    // and wait for no one, where the detour through the delivery thread would slow a
    // request/acknowledge exchange (the firmware reply slot).
    std::function<bool(const char* data, int length)> takeDirectly;

    // Datagrams the system dropped on this endpoint's socket (its queue was full) since it
    // was last opened: as of now while open, as of the close after. Nothing where the
    // system does not tell.
    std::optional<std::uint64_t> dropped() const;

    // Broadcast permission for what this endpoint itself sends (on at creation).
    void setBroadcast(bool on);
    // Sends one datagram from this endpoint; throws SocketError on failure.
    void sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port);

  private:
    // Datagrams taken off the socket and not yet handled, back to back in one buffer.
    struct Inbox {
        struct Entry {
            size_t offset;
            int length;
            std::uint32_t senderIp;
            std::uint16_t senderPort;
        };
        std::vector<char> bytes;
        std::vector<Entry> entries;
        bool quiet = false;
        void clear();
    };
    void listen();
    // Takes what is queued, and more while a burst goes on.
    enum class Drained { Nothing, Some, BurstEnded };
    Drained drain(ReceiveBatch& batch);
    // The listener thread's own: the last rate window that closed was slow (a steady
    // trickle), so a few datagrams waiting at once are no burst.
    bool trickle_ = false;
    // The listener thread's own: when it last finished taking what was queued, and how many
    // datagrams it took since the start of the current window of the arrival rate (and when
    // it last took one: a cleared window took its last one long ago).
    std::chrono::steady_clock::time_point lastLook_{};
    struct RateWindow {
        std::chrono::steady_clock::time_point start{};
        std::chrono::steady_clock::time_point last{};
        int taken = 0;
    } rateWindow_;
    void deliver();
    void store(const ReceiveBatch& batch);
    void markQuiet();

    Handler handler_;
    std::uint16_t port_;
    bool broadcast_ = true;
    int bufferRequest_ = kDefaultReceiveBuffer;
    bool mayExceedCeiling_ = true;
    int granted_ = 0;
    std::optional<std::uint64_t> droppedAtClose_;
    std::atomic<bool> open_{false};
    std::atomic<bool> stopping_{false};
    std::unique_ptr<UdpSocket> socket_;
    std::unique_ptr<ReceiveBatch> batch_;  // the listener's, from the first open on
    std::thread listener_;
    std::thread delivery_;

    std::mutex inboxMutex_;
    std::condition_variable inboxFilled_;  // the delivery thread waits for datagrams
    std::condition_variable inboxTaken_;   // the listener waits while the inbox is full
    Inbox inbox_;
    bool listenerDone_ = false;
};

}  // namespace velomar
