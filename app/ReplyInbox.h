#pragma once

#include <QByteArray>
#include <QVector>
#include <functional>
#include <mutex>

class QObject;
class QTimer;

namespace velomar {

// The hand-over of discovery replies from the listening endpoint's delivery thread to the
// user-interface thread: replies wait here until the UI thread takes them, a few times a
// second while they keep coming (the UI thread leaves the CPU to the listener) and at once
// when a burst ends or the endpoint closes.
class ReplyInbox {
  public:
    // `take` runs on the thread of `owner` (the UI thread) when replies are waiting; the
    // timer is a child of `owner`.
    ReplyInbox(QObject* owner, int intervalMs, std::function<void()> take);
    ReplyInbox(const ReplyInbox&) = delete;
    ReplyInbox& operator=(const ReplyInbox&) = delete;

    // Delivery thread: keeps a reply as received and starts the take timer if none runs.
    void put(const QByteArray& reply);
    // Delivery thread, at the end of a burst: asks for a take now when replies wait.
    void takeSoon();
    // UI thread: everything waiting, and no take pending any more.
    QVector<QByteArray> takeAll();

  private:
    QObject* owner_;
    QTimer* timer_;
    std::function<void()> take_;
    std::mutex mutex_;
    QVector<QByteArray> waiting_;  // decoded only when the table reads them
    bool scheduled_ = false;       // guarded by mutex_
};

}  // namespace velomar
