#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace velomar {

// Hands each datagram from a listener thread to the UI thread and waits until the UI
// thread has handled it. cancel() (called when the endpoint closes) releases a waiting
// listener at once and makes every datagram handed over before it a no-op, so closing
// never deadlocks and nothing received before a close acts after it.
class BlockingHandOver {
  public:
    using UiHandler = std::function<void(const QByteArray& datagram)>;

    // context: an object living on the UI thread; handler runs there.
    BlockingHandOver(QObject* context, UiHandler handler);

    // Listener thread: posts the datagram and waits until it was handled or cancelled.
    void deliver(const QByteArray& datagram);
    // Closing thread: drops what is in flight and releases the listener.
    void cancel();
    // Opening thread: accept datagrams again.
    void reset();

  private:
    void handle(std::uint64_t generation, std::uint64_t sequence, const QByteArray& datagram);

    QPointer<QObject> context_;
    UiHandler handler_;
    std::mutex mutex_;
    std::condition_variable handled_;
    std::uint64_t generation_ = 0;
    std::uint64_t posted_ = 0;
    std::uint64_t done_ = 0;
    bool cancelled_ = false;
};

}  // namespace velomar
