// The native UDP socket on Windows (Winsock 2).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>

#include "net/UdpSocket.h"
#include "protocol/Errors.h"

namespace velomar {

namespace {

// Windows' own words for the errors a user meets, for systems whose message table lacks the
// Winsock texts (Wine has none of them).
QString knownText(int code) {
    switch (code) {
        case WSAEACCES:
            return QStringLiteral(
                "An attempt was made to access a socket in a way forbidden by "
                "its access permissions.");
        case WSAEADDRINUSE:
            return QStringLiteral(
                "Only one usage of each socket address (protocol/network "
                "address/port) is normally permitted.");
        case WSAEADDRNOTAVAIL:
            return QStringLiteral("The requested address is not valid in its context.");
        case WSAENETUNREACH:
            return QStringLiteral("A socket operation was attempted to an unreachable network.");
        case WSAEHOSTUNREACH:
            return QStringLiteral("A socket operation was attempted to an unreachable host.");
        default:
            return QStringLiteral("Socket error");
    }
}

QString lastError() {
    const int code = WSAGetLastError();
    wchar_t* msg = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&msg), 0, nullptr);
    const QString text = n > 0 && msg
                             ? QString::fromWCharArray(msg, static_cast<qsizetype>(n)).trimmed()
                             : knownText(code);
    LocalFree(msg);
    return QStringLiteral("Socket Error # %1\n%2").arg(code).arg(text);
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

struct WinsockInit {
    WinsockInit() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

}  // namespace

struct ReceiveBatch::Native {};

ReceiveBatch::ReceiveBatch(int capacity, int maxSize)
    : capacity_(capacity),
      maxSize_(maxSize),
      // A byte more than the slots need: a receive asks for a byte past the slot to see that
      // a datagram was too long.
      storage_(static_cast<size_t>(capacity) * static_cast<size_t>(maxSize) + 1),
      datagrams_(static_cast<size_t>(capacity)),
      native_(std::make_unique<Native>()) {}

ReceiveBatch::~ReceiveBatch() = default;

struct UdpSocket::Impl {
    SOCKET fd = INVALID_SOCKET;
    bool bound = false;
    bool broadcast = false;
    std::atomic<bool> wakeRequested{false};

    void ensureSocket() {
        static WinsockInit init;
        if (fd != INVALID_SOCKET) return;
        fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (fd == INVALID_SOCKET) throw SocketError(lastError());
        applyBroadcast();
    }

    void applyBroadcast() {
        if (fd == INVALID_SOCKET) return;
        BOOL on = broadcast ? TRUE : FALSE;
        if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                         sizeof on) != 0) {
            throw SocketError(lastError());
        }
    }

    // Winsock has no per-call non-blocking flag; ask whether anything is queued first.
    bool queued() const {
        u_long bytes = 0;
        WSAPOLLFD p{fd, POLLRDNORM, 0};
        return ioctlsocket(fd, FIONREAD, &bytes) == 0 && (bytes > 0 || WSAPoll(&p, 1, 0) > 0);
    }
};

UdpSocket::UdpSocket() : d_(std::make_unique<Impl>()) {}

UdpSocket::~UdpSocket() {
    close();
}

void UdpSocket::bind(const QString& address, std::uint16_t port) {
    d_->ensureSocket();
    const sockaddr_in sa = makeAddress(address, port);
    BOOL exclusive = TRUE;
    ::setsockopt(d_->fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
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
    if (d_->fd == INVALID_SOCKET) return 0;
    sockaddr_in sa{};
    int len = sizeof sa;
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
    const int sent = ::sendto(d_->fd, datagram.constData(), static_cast<int>(datagram.size()), 0,
                              reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent == SOCKET_ERROR) throw SocketError(lastError());
    if (sent != datagram.size())
        throw SocketError(QStringLiteral("Socket Error: datagram was sent incompletely"));
}

UdpSocket::WaitResult UdpSocket::waitReadable(int timeoutMs) {
    if (d_->fd == INVALID_SOCKET) return WaitResult::Woken;
    // Winsock cannot poll a pipe; wait in short slices and look at the wake request.
    const int slice = 50;
    for (int waited = 0; waited < timeoutMs; waited += slice) {
        if (d_->wakeRequested.exchange(false)) return WaitResult::Woken;
        WSAPOLLFD p{d_->fd, POLLRDNORM, 0};
        if (WSAPoll(&p, 1, slice) > 0) return WaitResult::Readable;
    }
    return WaitResult::Timeout;
}

QByteArray UdpSocket::receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                              bool* truncated) {
    QByteArray datagram;
    if (!receiveOne(maxSize, 0, &datagram, senderAddress, senderPort, truncated))
        throw SocketError(lastError());
    return datagram;
}

// Winsock tells a datagram's destination only through WSARecvMsg; nothing here needs it.
void UdpSocket::reportDestinations() {}

QByteArray UdpSocket::receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort,
                              bool* truncated, QString* destination) {
    destination->clear();
    return receive(maxSize, senderAddress, senderPort, truncated);
}

bool UdpSocket::receiveOne(int maxSize, int flags, QByteArray* datagram, QString* senderAddress,
                           std::uint16_t* senderPort, bool* truncated) {
    QByteArray buffer(maxSize + 1, Qt::Uninitialized);
    sockaddr_in sa{};
    int len = sizeof sa;
    int n = ::recvfrom(d_->fd, buffer.data(), static_cast<int>(buffer.size()), flags,
                       reinterpret_cast<sockaddr*>(&sa), &len);
    // Winsock fails a datagram longer than the buffer with WSAEMSGSIZE, having kept its head.
    const bool tooLong = n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE;
    if (n == SOCKET_ERROR && !tooLong) return false;
    if (tooLong) n = maxSize + 1;
    if (truncated) *truncated = n > maxSize;
    buffer.truncate(n > maxSize ? maxSize : n);
    *datagram = buffer;
    if (senderAddress) *senderAddress = Ipv4Text(ntohl(sa.sin_addr.s_addr));
    if (senderPort) *senderPort = ntohs(sa.sin_port);
    return true;
}

int UdpSocket::receiveBatch(ReceiveBatch& batch) {
    batch.size_ = 0;
    if (d_->fd == INVALID_SOCKET) return 0;
    while (batch.size_ < batch.capacity_ && d_->queued()) {
        char* buffer = batch.storage_.data() +
                       static_cast<size_t>(batch.size_) * static_cast<size_t>(batch.maxSize_);
        sockaddr_in sa{};
        int len = sizeof sa;
        int n = ::recvfrom(d_->fd, buffer, batch.maxSize_ + 1, 0, reinterpret_cast<sockaddr*>(&sa),
                           &len);
        const bool tooLong = n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE;
        if (n == SOCKET_ERROR && !tooLong) break;
        if (tooLong) n = batch.maxSize_ + 1;
        batch.datagrams_[static_cast<size_t>(batch.size_)] = {
            buffer, n > batch.maxSize_ ? batch.maxSize_ : n, n > batch.maxSize_,
            ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
        ++batch.size_;
    }
    return batch.size_;
}

void UdpSocket::wake() {
    d_->wakeRequested = true;
}

void UdpSocket::close() {
    if (d_->fd != INVALID_SOCKET) closesocket(d_->fd);
    d_->fd = INVALID_SOCKET;
    d_->bound = false;
}

int UdpSocket::requestReceiveBuffer(int bytes, bool) {
    // Windows has no system-wide ceiling below a request of this size: it grants it.
    d_->ensureSocket();
    ::setsockopt(d_->fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
    int granted = 0;
    int len = sizeof granted;
    if (::getsockopt(d_->fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted), &len) != 0)
        return 0;
    return granted;
}

std::optional<std::uint64_t> UdpSocket::droppedCount() const {
    return std::nullopt;  // Winsock does not tell
}

void LowerCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace velomar
