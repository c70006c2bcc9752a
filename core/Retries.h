#pragma once

#include <QString>
#include <algorithm>
#include <chrono>
#include <functional>

namespace velomar {

// How a request that changes nothing is repeated when no answer came: the wait given for
// it is shared by the first try and `repeats` more, and each repeat is told to `notice`
// first. The window never repeats (repeats 0); the command line does.
struct Retries {
    int repeats = 0;
    std::function<void(const QString&)> notice;

    int tries() const { return repeats + 1; }
    std::chrono::milliseconds waitOfEach(std::chrono::milliseconds total) const {
        return std::max(total / tries(), std::chrono::milliseconds(1));
    }
    // "(repeat 1 of 3)" after the text.
    void tell(const QString& what, int repeat) const {
        if (notice)
            notice(QStringLiteral("%1 (repeat %2 of %3)").arg(what).arg(repeat).arg(repeats));
    }
};

// The tries of one request within its whole wait: each try ends after its share, the last
// at the end of the whole wait.
class TrySchedule {
  public:
    using Clock = std::chrono::steady_clock;

    TrySchedule(const Retries& retries, std::chrono::milliseconds total, bool repeats = true)
        : tries_(repeats ? retries.tries() : 1),
          each_(repeats ? retries.waitOfEach(total) : total),
          deadline_(Clock::now() + total),
          tryEnds_(tries_ > 1 ? Clock::now() + each_ : deadline_) {}

    // Until when the current try waits.
    Clock::time_point waitUntil() const { return std::min(tryEnds_, deadline_); }
    bool over() const { return Clock::now() >= deadline_; }
    // The number of the repeat a request sent now would be, or 0 when none is left.
    int nextRepeat() const { return tried_ < tries_ ? tried_ : 0; }
    std::chrono::milliseconds each() const { return each_; }
    // A repeat was sent: the next try begins.
    void repeated() {
        ++tried_;
        tryEnds_ = tried_ == tries_ ? deadline_ : tryEnds_ + each_;
    }
    // No repeat now: wait out the whole time.
    void waitToTheEnd() { tryEnds_ = deadline_; }

  private:
    int tries_;
    int tried_ = 1;
    std::chrono::milliseconds each_;
    Clock::time_point deadline_;
    Clock::time_point tryEnds_;
};

}  // namespace velomar
