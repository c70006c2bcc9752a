#pragma once

#include <chrono>
#include <functional>

#include "core/FirmwareTransfer.h"

namespace velomar::test {

// A clock for the firmware waits whose time moves only when a wait sleeps: every sleep that
// the slot does not cut short jumps straight to its end. onAdvance runs after each jump, so a
// test can answer "at" a given time or look at the window then.
class FakeWaitClock : public WaitClock {
  public:
    std::chrono::milliseconds now() override { return now_; }

    bool waitFor(const FirmwareReplySlot& slot, std::chrono::milliseconds timeout) override {
        ++waits;
        if (timeout > longestWait) longestWait = timeout;
        if (slot.flag()) return true;
        // A real device on a socket needs a moment of real time to answer.
        if (realGrace.count() > 0 && slot.waitFor(realGrace)) return true;
        advance(timeout);
        return slot.flag();
    }

    void advance(std::chrono::milliseconds by) {
        now_ += by;
        if (onAdvance) onAdvance(now_);
    }

    std::function<void(std::chrono::milliseconds now)> onAdvance;
    std::chrono::milliseconds realGrace{0};
    int waits = 0;
    std::chrono::milliseconds longestWait{0};

  private:
    std::chrono::milliseconds now_{0};
};

}  // namespace velomar::test
