#pragma once

#include <QString>
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

}  // namespace velomar
