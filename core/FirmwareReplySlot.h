#pragma once

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velomar {

// The latest 'f' datagram and a flag raised once it is stored. The listener thread writes
// it (text first, flag last); the firmware transfer on the UI thread empties and reads it.
// Waiters are woken when it is written, so nobody has to spin on it.
class FirmwareReplySlot {
  public:
    void store(const QByteArray& datagram) {
        {
            std::lock_guard lock(mutex_);
            text_ = datagram;
            flag_ = true;
        }
        written_.notify_all();
    }

    void clear() {
        std::lock_guard lock(mutex_);
        text_.clear();
        flag_ = false;
    }

    bool flag() const {
        std::lock_guard lock(mutex_);
        return flag_;
    }

    QByteArray text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

    // Blocks until the flag is raised or the timeout passes; returns the flag.
    bool waitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return written_.wait_for(lock, timeout, [this] { return flag_; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable written_;
    QByteArray text_;
    bool flag_ = false;
};

}  // namespace velomar
