#include "net/ListeningEndpoint.h"

#include <chrono>

#include "protocol/Errors.h"

namespace velomar {

namespace {
// Datagrams taken per system call.
constexpr int kBatchCapacity = 64;
// Bytes of unhandled datagrams the listener keeps at most; past that it leaves them in the
// socket's queue (and the system counts what it then drops).
constexpr size_t kInboxLimit = 16 * 1024 * 1024;
}  // namespace

void ListeningEndpoint::Inbox::clear() {
    bytes.clear();
    entries.clear();
    quiet = false;
}

ListeningEndpoint::ListeningEndpoint(Handler handler, std::uint16_t port)
    : handler_(std::move(handler)), port_(port) {}

ListeningEndpoint::~ListeningEndpoint() {
    close();
}

void ListeningEndpoint::setReceiveBufferRequest(int bytes, bool mayExceedCeiling) {
    bufferRequest_ = bytes;
    mayExceedCeiling_ = mayExceedCeiling;
}

void ListeningEndpoint::open() {
    if (open_) return;
    auto socket = std::make_unique<UdpSocket>();
    socket->setBroadcast(broadcast_);
    granted_ = socket->requestReceiveBuffer(bufferRequest_, mayExceedCeiling_);
    socket->bind(QStringLiteral("0.0.0.0"), port_);
    socket_ = std::move(socket);
    // Made once and kept while the endpoint lives. A batch made per open (a search, an
    // Apply...) is half a megabyte freed at each close, which the allocator keeps in the
    // arena of whichever listener thread used it: resident memory then grows in such
    // steps as a day of searches goes on.
    if (!batch_) batch_ = std::make_unique<ReceiveBatch>(kBatchCapacity, kBufferSize);
    droppedAtClose_.reset();
    {
        std::lock_guard lock(inboxMutex_);
        inbox_.clear();
        listenerDone_ = false;
    }
    stopping_ = false;
    open_ = true;
    delivery_ = std::thread([this] { deliver(); });
    listener_ = std::thread([this] { listen(); });
}

void ListeningEndpoint::close() {
    if (!open_) return;
    stopping_ = true;
    if (onClosing) onClosing();
    socket_->wake();
    {
        // Taken once so that a listener about to wait for room sees stopping_ or the wake-up.
        std::lock_guard lock(inboxMutex_);
    }
    inboxTaken_.notify_all();
    if (listener_.joinable()) listener_.join();
    {
        std::lock_guard lock(inboxMutex_);
        listenerDone_ = true;
    }
    inboxFilled_.notify_all();
    // What the listener took is handled before the close returns.
    if (delivery_.joinable()) delivery_.join();
    droppedAtClose_ = socket_->droppedCount();
    socket_->close();
    socket_.reset();
    open_ = false;
}

std::optional<std::uint64_t> ListeningEndpoint::dropped() const {
    if (open_ && socket_) return socket_->droppedCount();
    return droppedAtClose_;
}

void ListeningEndpoint::setBroadcast(bool on) {
    broadcast_ = on;
    if (socket_) socket_->setBroadcast(on);
}

void ListeningEndpoint::sendTo(const QByteArray& datagram, const QString& address,
                               std::uint16_t port) {
    if (!socket_)
        throw SocketError(QStringLiteral("Socket Error: the listening endpoint is not open"));
    socket_->sendTo(datagram, address, port);
}

void ListeningEndpoint::listen() {
    ReceiveBatch& batch = *batch_;
    static_assert(kBatchCapacity <= 64, "store() marks a batch on the stack");
    bool heardSinceQuiet = false;
    trickle_ = false;
    rateWindow_ = {};
    while (!stopping_) {
        // Slices of one second; close() also wakes the wait at once. After a datagram the
        // wait is short, to notice the end of a burst.
        const auto waited = socket_->waitReadable(heardSinceQuiet ? kQuietMs : 1000);
        if (waited == UdpSocket::WaitResult::Timeout) {
            // A trickle ends with a whole slice of quiet, not with a pause of a few
            // milliseconds: the other side of an exchange is often that slow on a busy machine.
            if (heardSinceQuiet) {
                markQuiet();
            } else {
                trickle_ = false;
                rateWindow_ = {};
            }
            heardSinceQuiet = false;
            continue;
        }
        if (waited != UdpSocket::WaitResult::Readable) continue;
        const Drained drained = drain(batch);
        lastLook_ = std::chrono::steady_clock::now();
        heardSinceQuiet = heardSinceQuiet || drained != Drained::Nothing;
        // A burst that ran dry while the listener kept looking is over already.
        if (drained == Drained::BurstEnded) {
            markQuiet();
            heardSinceQuiet = false;
        }
    }
}

ListeningEndpoint::Drained ListeningEndpoint::drain(ReceiveBatch& batch) {
    using Clock = std::chrono::steady_clock;
    // Once more than one datagram was waiting, a burst is arriving: the listener keeps
    // looking for the next datagrams for a while instead of going to sleep, because being
    // woken again per datagram (slower still on a virtual machine) is how a queue overflows.
    constexpr auto kBurstSpin = std::chrono::microseconds(500);
    // The delivery thread is woken when the burst is over, or when what waits for it has
    // waited this long, so that it does not take turns with the listener meanwhile.
    constexpr auto kHoldAtMost = std::chrono::milliseconds(100);
    // Staying awake pays only while datagrams come quickly. A steady exchange of requests
    // and answers (a firmware transfer, whose own broadcast frames are heard too) comes
    // slower than one per kSlowestGap on average: the listener then sleeps between them,
    // instead of taking the processor the answering side and the transfer need. The rate is
    // counted over windows that run on across the short bursts such an exchange looks like.
    constexpr auto kRateWindow = std::chrono::milliseconds(20);
    constexpr auto kSlowestGap = std::chrono::microseconds(50);
    // Once a trickle was seen, a new burst starts only when many datagrams are waiting and
    // they came quickly since the last look: on a busy machine the listener is often woken
    // late, and a trickle's datagrams then wait in numbers too. The trickle ends with a
    // window of quick traffic, or when the port was quiet for a whole slice of the wait.
    constexpr int kBurstAfterTrickle = 16;
    bool took = false;
    bool burst = false;
    Clock::time_point held;
    while (!stopping_) {
        const int taken = socket_->receiveBatch(batch);
        if (taken > 0) {
            store(batch);
            const auto now = Clock::now();
            if (!took) held = now;
            took = true;
            // A window counts one stretch of traffic: a pause longer than itself starts anew.
            if (now - rateWindow_.last > kRateWindow) rateWindow_ = {now, now, 0};
            rateWindow_.last = now;
            rateWindow_.taken += taken;
            // Each window that closes decides whether a trickle is going on.
            bool slow = false;
            if (now - rateWindow_.start >= kRateWindow) {
                slow = rateWindow_.taken < kRateWindow / kSlowestGap;
                trickle_ = slow;
                rateWindow_ = {now, now, 0};
            }
            if (!burst && !slow &&
                (trickle_ ? taken >= kBurstAfterTrickle && now - lastLook_ < taken * kSlowestGap
                          : taken >= 2)) {
                burst = true;
                trickle_ = false;
            }
            if (!burst || slow) break;
            if (now - held > kHoldAtMost) {
                inboxFilled_.notify_one();
                held = now;
            }
            continue;
        }
        if (!burst) break;
        if (Clock::now() - rateWindow_.last > kBurstSpin) {
            inboxFilled_.notify_one();
            return Drained::BurstEnded;
        }
    }
    if (took) inboxFilled_.notify_one();
    return took ? Drained::Some : Drained::Nothing;
}

void ListeningEndpoint::store(const ReceiveBatch& batch) {
    // What is taken directly is taken before the inbox's lock, which it need not wait for.
    bool queued[kBatchCapacity];
    for (int i = 0; i < batch.size(); ++i) {
        const ReceiveBatch::Datagram& d = batch[i];
        queued[i] = !d.truncated && !(takeDirectly && takeDirectly(d.data, d.length));
    }
    std::unique_lock lock(inboxMutex_);
    // Room first: past the limit the delivery thread has to take what waits.
    if (inbox_.bytes.size() >= kInboxLimit) {
        inboxFilled_.notify_one();
        inboxTaken_.wait(lock, [&] { return inbox_.bytes.size() < kInboxLimit || stopping_; });
    }
    for (int i = 0; i < batch.size(); ++i) {
        if (!queued[i]) continue;
        const ReceiveBatch::Datagram& d = batch[i];
        inbox_.entries.push_back({inbox_.bytes.size(), d.length, d.senderIp, d.senderPort});
        inbox_.bytes.insert(inbox_.bytes.end(), d.data, d.data + d.length);
    }
}

void ListeningEndpoint::markQuiet() {
    {
        std::lock_guard lock(inboxMutex_);
        inbox_.quiet = true;
    }
    inboxFilled_.notify_one();
}

void ListeningEndpoint::deliver() {
    // The handler's work can wait while a burst arrives; the listener's cannot.
    LowerCurrentThreadPriority();
    Inbox work;
    for (;;) {
        {
            std::unique_lock lock(inboxMutex_);
            inboxFilled_.wait(
                lock, [&] { return !inbox_.entries.empty() || inbox_.quiet || listenerDone_; });
            if (inbox_.entries.empty() && !inbox_.quiet && listenerDone_) return;
            std::swap(work, inbox_);
        }
        inboxTaken_.notify_one();
        for (const Inbox::Entry& e : work.entries) {
            try {
                handler_(QByteArray(work.bytes.data() + e.offset, e.length), Ipv4Text(e.senderIp),
                         e.senderPort);
            } catch (...) {
                // An error while handling one datagram drops that datagram; the listener goes on.
            }
        }
        if (work.quiet && onQuiet) {
            try {
                onQuiet();
            } catch (...) {
            }
        }
        work.clear();
    }
}

}  // namespace velomar
