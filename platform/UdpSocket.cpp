#include "platform/UdpSocket.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "protocol/Errors.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_t = SOCKET;
using socklen_t = int;
constexpr socket_t kInvalid = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_t = int;
constexpr socket_t kInvalid = -1;
#endif

namespace velomar {

namespace {

QString lastError()
{
#ifdef _WIN32
    const int code = WSAGetLastError();
    char* msg = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPSTR>(&msg), 0, nullptr);
    QString text = msg ? QString::fromLocal8Bit(msg).trimmed() : QStringLiteral("Socket error");
    LocalFree(msg);
    return QStringLiteral("Socket Error # %1\n%2").arg(code).arg(text);
#else
    const int code = errno;
    return QStringLiteral("Socket Error # %1\n%2").arg(code).arg(QString::fromLocal8Bit(std::strerror(code)));
#endif
}

sockaddr_in makeAddress(const QString& address, std::uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const QByteArray text = address.trimmed().toLatin1();
    if (inet_pton(AF_INET, text.constData(), &sa.sin_addr) != 1) {
        throw SocketError(QStringLiteral("'%1' is not a valid IPv4 address").arg(address));
    }
    return sa;
}

#ifdef _WIN32
struct WinsockInit {
    WinsockInit()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void closeSocket(socket_t s) { closesocket(s); }
#else
void closeSocket(socket_t s) { ::close(s); }
#endif

}  // namespace

struct UdpSocket::Impl {
    socket_t fd = kInvalid;
    bool bound = false;
    bool broadcast = false;
#ifndef _WIN32
    int wakePipe[2] = {-1, -1};
#endif
    std::atomic<bool> wakeRequested{false};

    void ensureSocket()
    {
#ifdef _WIN32
        static WinsockInit init;
#endif
        if (fd != kInvalid) return;
        fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (fd == kInvalid) throw SocketError(lastError());
#ifndef _WIN32
        if (::pipe(wakePipe) != 0) {
            const QString err = lastError();
            closeSocket(fd);
            fd = kInvalid;
            throw SocketError(err);
        }
        for (int p : wakePipe) ::fcntl(p, F_SETFL, ::fcntl(p, F_GETFL) | O_NONBLOCK);
#endif
        applyBroadcast();
    }

    void applyBroadcast()
    {
        if (fd == kInvalid) return;
        int on = broadcast ? 1 : 0;
        if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
            throw SocketError(lastError());
        }
    }
};

UdpSocket::UdpSocket() : d_(std::make_unique<Impl>()) {}

UdpSocket::~UdpSocket()
{
    close();
}

void UdpSocket::bind(const QString& address, std::uint16_t port)
{
    d_->ensureSocket();
    const sockaddr_in sa = makeAddress(address, port);
#ifdef _WIN32
    BOOL exclusive = TRUE;
    ::setsockopt(d_->fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#endif
    if (::bind(d_->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const QString err = lastError();
        close();
        throw SocketError(err);
    }
    d_->bound = true;
}

bool UdpSocket::isBound() const
{
    return d_->bound;
}

std::uint16_t UdpSocket::localPort() const
{
    if (d_->fd == kInvalid) return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(d_->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

void UdpSocket::setBroadcast(bool on)
{
    d_->broadcast = on;
    d_->applyBroadcast();
}

bool UdpSocket::broadcast() const
{
    return d_->broadcast;
}

void UdpSocket::sendTo(const QByteArray& datagram, const QString& address, std::uint16_t port)
{
    d_->ensureSocket();
    const sockaddr_in sa = makeAddress(address, port);
    const auto sent = ::sendto(d_->fd, datagram.constData(), static_cast<int>(datagram.size()), 0,
                               reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent < 0) throw SocketError(lastError());
    if (sent != datagram.size()) throw SocketError(QStringLiteral("Socket Error: datagram was sent incompletely"));
}

UdpSocket::WaitResult UdpSocket::waitReadable(int timeoutMs)
{
    if (d_->fd == kInvalid) return WaitResult::Woken;
#ifdef _WIN32
    // Winsock cannot poll a pipe; wait in short slices and look at the wake request.
    const int slice = 50;
    for (int waited = 0; waited < timeoutMs; waited += slice) {
        if (d_->wakeRequested.exchange(false)) return WaitResult::Woken;
        WSAPOLLFD p{d_->fd, POLLRDNORM, 0};
        const int r = WSAPoll(&p, 1, slice);
        if (r > 0) return WaitResult::Readable;
    }
    return WaitResult::Timeout;
#else
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
#endif
}

QByteArray UdpSocket::receive(int maxSize, QString* senderAddress, std::uint16_t* senderPort, bool* truncated)
{
    QByteArray datagram;
    if (!receiveOne(maxSize, 0, &datagram, senderAddress, senderPort, truncated)) {
        throw SocketError(lastError());
    }
    return datagram;
}

bool UdpSocket::tryReceive(int maxSize, QByteArray* datagram, QString* senderAddress, std::uint16_t* senderPort,
                           bool* truncated)
{
#ifdef _WIN32
    // Winsock has no per-call non-blocking flag; ask whether anything is queued first.
    u_long queued = 0;
    if (ioctlsocket(d_->fd, FIONREAD, &queued) != 0 || queued == 0) return false;
    return receiveOne(maxSize, 0, datagram, senderAddress, senderPort, truncated);
#else
    return receiveOne(maxSize, MSG_DONTWAIT, datagram, senderAddress, senderPort, truncated);
#endif
}

bool UdpSocket::receiveOne(int maxSize, int flags, QByteArray* datagram, QString* senderAddress,
                           std::uint16_t* senderPort, bool* truncated)
{
    QByteArray buffer(maxSize + 1, Qt::Uninitialized);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const auto n = ::recvfrom(d_->fd, buffer.data(), static_cast<int>(buffer.size()), flags,
                              reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) return false;
    if (truncated) *truncated = n > maxSize;
    buffer.truncate(static_cast<int>(n > maxSize ? maxSize : n));
    *datagram = buffer;
    if (senderAddress) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
        *senderAddress = QString::fromLatin1(text);
    }
    if (senderPort) *senderPort = ntohs(sa.sin_port);
    return true;
}

void UdpSocket::wake()
{
    d_->wakeRequested = true;
#ifndef _WIN32
    if (d_->wakePipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] auto r = ::write(d_->wakePipe[1], &c, 1);
    }
#endif
}

void UdpSocket::close()
{
    if (d_->fd != kInvalid) closeSocket(d_->fd);
    d_->fd = kInvalid;
    d_->bound = false;
#ifndef _WIN32
    for (int& p : d_->wakePipe) {
        if (p >= 0) ::close(p);
        p = -1;
    }
#endif
}

void UdpSocket::setReceiveBufferSize(int bytes)
{
    d_->ensureSocket();
    ::setsockopt(d_->fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

}  // namespace velomar
