// The native UDP socket on POSIX systems (Linux, macOS).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "net/UdpSocket.h"
#include "protocol/Errors.h"

#ifdef __linux__
#include <linux/sock_diag.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

namespace velomar {

namespace {

QString lastError() {
    const int code = errno;
    return QStringLiteral("Socket Error # %1\n%2")
        .arg(code)
        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

sockaddr_in makeAddress(const QString& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const QByteArray text = address.trimmed().toLatin1();
    if (inet_pton(AF_INET, text.constData(), &sa.sin_addr) != 1) {
        throw SocketError(QStringLiteral("'%1' is not a valid IPv4 address").arg(address));
    }
    return sa;
}

}  // namespace

#ifdef __linux__
struct ReceiveBatch::Native {
    std::vector<mmsghdr> messages;
    std::vector<iovec> vectors;
    std::vector<sockaddr_in> senders;
};
#else
struct ReceiveBatch::Native {};
#endif

ReceiveBatch::ReceiveBatch(int capacity, int maxSize)
    : capacity_(capacity),
      maxSize_(maxSize),
      // One byte more than the slots need: the portable receive asks for a byte past the slot
      // to see that a datagram was too long.
      storage_(static_cast<size_t>(capacity) * static_cast<size_t>(maxSize) + 1),
      datagrams_(static_cast<size_t>(capacity)),
      native_(std::make_unique<Native>()) {
#ifdef __linux__
    const auto n = static_cast<size_t>(capacity);
    native_->messages.resize(n);
    native_->vectors.resize(n);
    native_->senders.resize(n);
    for (size_t i = 0; i < n; ++i) {
        native_->vectors[i] = {storage_.data() + i * static_cast<size_t>(maxSize),
                               static_cast<size_t>(maxSize)};
        msghdr& h = native_->messages[i].msg_hdr;
        h = {};
        h.msg_iov = &native_->vectors[i];
        h.msg_iovlen = 1;
        h.msg_name = &native_->senders[i];
    }
#endif
}

ReceiveBatch::~ReceiveBatch() = default;

struct UdpSocket::Impl {
    int fd = -1;
    bool bound = false;
    bool broadcast = false;
    int wakePipe[2] = {-1, -1};

    void ensureSocket() {
        if (fd != -1) return;
        fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (fd == -1) throw SocketError(lastError());
        if (::pipe(wakePipe) != 0) {
            const QString err = lastError();
            ::close(fd);
            fd = -1;
            throw SocketError(err);
        }
        for (int p : wakePipe) ::fcntl(p, F_SETFL, ::fcntl(p, F_GETFL) | O_NONBLOCK);
        applyBroadcast();
    }

    void applyBroadcast() {
        if (fd == -1) return;
        int on = broadcast ? 1 : 0;
        if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
            throw SocketError(lastError());
    }
};

UdpSocket::UdpSocket() : d_(std::make_unique<Impl>()) {}

UdpSocket::~UdpSocket() {
    close();
}

void UdpSocket::bind(const QString& address, std::uint16_t port) {
    d_->ensureSocket();
    const sockaddr_in sa = makeAddress(address, port);
    if (::bind(d_->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const QString err = lastError();
        close();
        throw SocketError(err);
    }
    d_->bound = true;
}

bool UdpSocket::isBound() const {
    return d_->bound;
}

std::uint16_t UdpSocket::localPort() const {
    if (d_->fd == -1) return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(d_->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

void UdpSocket::setBroadcast(bool on) {
    d_->broadcast = on;
    d_->applyBroadcast();
}

bool UdpSocket::broadcast() const {
    return d_->broadcast;
}

void UdpSocket::sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port) {
    d_->ensureSocket();
    const sockaddr_in sa = makeAddress(address, port);
    const auto sent = ::sendto(d_->fd, datagram.constData(), static_cast<size_t>(datagram.size()),
                               0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent < 0) throw SocketError(lastError());
    if (sent != datagram.size())
        throw SocketError(QStringLiteral("Socket Error: datagram was sent incompletely"));
}

UdpSocket::WaitResult UdpSocket::waitReadable(int timeoutMs) {
    if (d_->fd == -1) return WaitResult::Woken;
    pollfd fds[2] = {{d_->fd, POLLIN, 0}, {d_->wakePipe[0], POLLIN, 0}};
    const int r = ::poll(fds, 2, timeoutMs);
    if (r <= 0) return WaitResult::Timeout;
    if (fds[1].revents != 0) {
        char drain[64];
        while (::read(d_->wakePipe[0], drain, sizeof drain) > 0) {
        }
        return WaitResult::Woken;
    }
    return WaitResult::Readable;
}

QByteArray UdpSocket::receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                              bool* truncated) {
    QByteArray datagram;
    if (!receiveOne(maxSize, 0, &datagram, senderAddress, senderPort, truncated))
        throw SocketError(lastError());
    return datagram;
}

void UdpSocket::reportDestinations() {
#ifdef __linux__
    const int on = 1;
    if (::setsockopt(d_->fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0)
        throw SocketError(lastError());
#endif
}

QByteArray UdpSocket::receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                              bool* truncated, QString* destination) {
#ifdef __linux__
    QByteArray buffer(maxSize + 1, Qt::Uninitialized);
    sockaddr_in sa{};
    iovec io{buffer.data(), static_cast<size_t>(buffer.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr h{};
    h.msg_name = &sa;
    h.msg_namelen = sizeof sa;
    h.msg_iov = &io;
    h.msg_iovlen = 1;
    h.msg_control = control;
    h.msg_controllen = sizeof control;
    const auto n = ::recvmsg(d_->fd, &h, 0);
    if (n < 0) throw SocketError(lastError());
    destination->clear();
    for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            *destination = Ipv4Text(ntohl(info.ipi_addr.s_addr));
        }
    }
    if (truncated) *truncated = n > maxSize;
    buffer.truncate(static_cast<int>(n > maxSize ? maxSize : n));
    if (senderAddress) *senderAddress = Ipv4Text(ntohl(sa.sin_addr.s_addr));
    if (senderPort) *senderPort = ntohs(sa.sin_port);
    return buffer;
#else
    destination->clear();
    return receive(maxSize, senderAddress, senderPort, truncated);
#endif
}

bool UdpSocket::receiveOne(int maxSize, int flags, QByteArray* datagram, QString* senderAddress,
                           std::uint16_t* senderPort, bool* truncated) {
    QByteArray buffer(maxSize + 1, Qt::Uninitialized);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const auto n = ::recvfrom(d_->fd, buffer.data(), static_cast<size_t>(buffer.size()), flags,
                              reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) return false;
    if (truncated) *truncated = n > maxSize;
    buffer.truncate(static_cast<int>(n > maxSize ? maxSize : n));
    *datagram = buffer;
    if (senderAddress) *senderAddress = Ipv4Text(ntohl(sa.sin_addr.s_addr));
    if (senderPort) *senderPort = ntohs(sa.sin_port);
    return true;
}

int UdpSocket::receiveBatch(ReceiveBatch& batch) {
    batch.size_ = 0;
    if (d_->fd == -1) return 0;
#ifdef __linux__
    auto& native = *batch.native_;
    for (int i = 0; i < batch.capacity_; ++i) {
        msghdr& h = native.messages[static_cast<size_t>(i)].msg_hdr;
        h.msg_namelen = sizeof(sockaddr_in);
        h.msg_flags = 0;
    }
    const int n = ::recvmmsg(d_->fd, native.messages.data(), static_cast<unsigned>(batch.capacity_),
                             MSG_DONTWAIT, nullptr);
    if (n <= 0) return 0;
    for (int i = 0; i < n; ++i) {
        const auto at = static_cast<size_t>(i);
        const mmsghdr& m = native.messages[at];
        batch.datagrams_[at] = {static_cast<const char*>(native.vectors[at].iov_base),
                                static_cast<int>(m.msg_len), (m.msg_hdr.msg_flags & MSG_TRUNC) != 0,
                                ntohl(native.senders[at].sin_addr.s_addr),
                                ntohs(native.senders[at].sin_port)};
    }
    batch.size_ = n;
#else
    // One call per datagram where the system has no batched receive.
    while (batch.size_ < batch.capacity_) {
        char* buffer = batch.storage_.data() +
                       static_cast<size_t>(batch.size_) * static_cast<size_t>(batch.maxSize_);
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        // A byte more than the slot holds is how a too-long datagram shows; that byte lands
        // in the next slot, which the next datagram overwrites.
        const auto n = ::recvfrom(d_->fd, buffer, static_cast<size_t>(batch.maxSize_) + 1,
                                  MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n < 0) break;
        batch.datagrams_[static_cast<size_t>(batch.size_)] = {
            buffer, static_cast<int>(n > batch.maxSize_ ? batch.maxSize_ : n), n > batch.maxSize_,
            ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
        ++batch.size_;
    }
#endif
    return batch.size_;
}

void UdpSocket::wake() {
    if (d_->wakePipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] auto r = ::write(d_->wakePipe[1], &c, 1);
    }
}

void UdpSocket::close() {
    if (d_->fd != -1) ::close(d_->fd);
    d_->fd = -1;
    d_->bound = false;
    for (int& p : d_->wakePipe) {
        if (p >= 0) ::close(p);
        p = -1;
    }
}

int UdpSocket::requestReceiveBuffer(int bytes, bool mayExceedCeiling) {
    d_->ensureSocket();
    bool done = false;
#ifdef SO_RCVBUFFORCE
    if (mayExceedCeiling)
        done = ::setsockopt(d_->fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0;
#else
    (void)mayExceedCeiling;
#endif
    // Without the privilege the system caps the request at its ceiling, which is still the
    // most we can have.
    if (!done) ::setsockopt(d_->fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t len = sizeof granted;
    if (::getsockopt(d_->fd, SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0) return 0;
    return granted;
}

std::optional<std::uint64_t> UdpSocket::droppedCount() const {
#if defined(__linux__) && defined(SO_MEMINFO)
    if (d_->fd == -1) return std::nullopt;
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t len = sizeof info;
    if (::getsockopt(d_->fd, SOL_SOCKET, SO_MEMINFO, info, &len) != 0 ||
        len <= SK_MEMINFO_DROPS * sizeof(std::uint32_t))
        return std::nullopt;
    return info[SK_MEMINFO_DROPS];
#else
    return std::nullopt;
#endif
}

void LowerCurrentThreadPriority() {
#ifdef __linux__
    // Linux keeps a nice value per thread, and a new thread starts with its creator's; raising
    // it needs no privilege. Ten steps below where it stands, so that the distance to the
    // other threads stays the same when the whole program was started with nice.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) return;
    ::setpriority(PRIO_PROCESS, tid, std::min(nice + 10, 19));
#endif
}

}  // namespace velomar
