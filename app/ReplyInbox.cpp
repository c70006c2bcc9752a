#include "app/ReplyInbox.h"

#include <QTimer>
#include <utility>

#include "net/PostTo.h"

namespace velomar {

ReplyInbox::ReplyInbox(QObject* owner, int intervalMs, std::function<void()> take)
    : owner_(owner), timer_(new QTimer(owner)), take_(std::move(take)) {
    timer_->setSingleShot(true);
    timer_->setInterval(intervalMs);
    QObject::connect(timer_, &QTimer::timeout, owner, [this] { take_(); });
}

void ReplyInbox::put(const QByteArray& reply) {
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(reply);
        schedule = !std::exchange(scheduled_, true);
    }
    if (schedule) PostTo(timer_, [timer = timer_] { timer->start(); });
}

void ReplyInbox::takeSoon() {
    {
        std::lock_guard lock(mutex_);
        if (waiting_.isEmpty()) return;
    }
    PostTo(owner_, [this] { take_(); });
}

QVector<QByteArray> ReplyInbox::takeAll() {
    QVector<QByteArray> batch;
    {
        std::lock_guard lock(mutex_);
        scheduled_ = false;
        batch.swap(waiting_);
    }
    timer_->stop();
    return batch;
}

}  // namespace velomar
