#pragma once

#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <utility>

namespace velomar {

namespace detail {
// Taken around posting and around reading what was posted; see PostTo.
inline std::mutex& PostedCallsMutex() {
    static std::mutex m;
    return m;
}
}  // namespace detail

// Runs call on the thread of context, through its event queue, from any thread (the
// listener threads hand their work to the user-interface thread this way).
//
// Qt's event queue hands the call over correctly, but under locks of its own that a thread
// checker cannot see, so the checker would take the other thread's reading of the captured
// values for a data race. The posting thread therefore builds the call under one mutex, and
// the receiving thread takes the call's values out under the same mutex before running it:
// the hand-over is then visible, at the cost of an uncontended lock per call.
template <typename Call>
void PostTo(QObject* context, Call call) {
    std::lock_guard lock(detail::PostedCallsMutex());
    QMetaObject::invokeMethod(
        context,
        [posted = std::move(call)]() mutable {
            std::unique_lock taken(detail::PostedCallsMutex());
            Call mine = std::move(posted);
            taken.unlock();
            mine();
        },
        Qt::QueuedConnection);
}

}  // namespace velomar
