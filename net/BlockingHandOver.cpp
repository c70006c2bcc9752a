#include "net/BlockingHandOver.h"

#include "net/PostTo.h"

namespace velomar {

BlockingHandOver::BlockingHandOver(QObject* context, UiHandler handler)
    : context_(context), handler_(std::move(handler)) {}

void BlockingHandOver::deliver(const QByteArray& datagram) {
    std::unique_lock lock(mutex_);
    if (cancelled_ || !context_) return;
    const std::uint64_t sequence = ++posted_;
    const std::uint64_t generation = generation_;
    PostTo(context_.data(),
           [this, generation, sequence, datagram] { handle(generation, sequence, datagram); });
    handled_.wait(lock, [&] { return cancelled_ || done_ >= sequence; });
}

void BlockingHandOver::handle(std::uint64_t generation, std::uint64_t sequence,
                              const QByteArray& datagram) {
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || generation != generation_) return;
    }
    try {
        handler_(datagram);
    } catch (...) {
        // A datagram that cannot be handled is dropped.
    }
    std::lock_guard lock(mutex_);
    if (generation == generation_ && sequence > done_) done_ = sequence;
    handled_.notify_all();
}

void BlockingHandOver::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    ++generation_;
    handled_.notify_all();
}

void BlockingHandOver::reset() {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
    done_ = posted_;
}

}  // namespace velomar
