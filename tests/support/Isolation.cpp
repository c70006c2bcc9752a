#include "Isolation.h"

#ifdef _WIN32
// Windows has no namespaces of its own: the test process is isolated when whoever started it
// put it where no interface but loopback is up (scripts/test-windows runs Wine inside a
// network namespace). On a workstation with a network the sending tests skip.
#include <winsock2.h>
// iphlpapi.h needs winsock2.h first.
#include <iphlpapi.h>

#include <vector>

namespace velomar::test {

namespace {
bool isolated = false;

bool onlyLoopbackUp() {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result == ERROR_NO_DATA) return true;
    if (result != NO_ERROR) return false;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus == IfOperStatusUp && a->IfType != IF_TYPE_SOFTWARE_LOOPBACK) return false;
    }
    return true;
}
}  // namespace

bool IsolateNetwork() {
    if (!isolated) isolated = onlyLoopbackUp();
    return isolated;
}

bool NetworkIsolated() {
    return isolated;
}

}  // namespace velomar::test

#else
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace velomar::test {

namespace {
bool isolated = false;

bool writeFile(const char* path, const char* text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0) return false;
    const auto n = ::write(fd, text, std::strlen(text));
    ::close(fd);
    return n == static_cast<ssize_t>(std::strlen(text));
}

bool loopbackUp() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &req) == 0;
    if (ok) {
        req.ifr_flags |= IFF_UP;
        ok = ::ioctl(s, SIOCSIFFLAGS, &req) == 0;
    }
    ::close(s);
    return ok;
}
}  // namespace

bool IsolateNetwork() {
    if (isolated) return true;
    if (::unshare(CLONE_NEWNET) == 0) {
        isolated = true;
    } else {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
            char map[64];
            writeFile("/proc/self/setgroups", "deny");
            std::snprintf(map, sizeof map, "0 %u 1", uid);
            writeFile("/proc/self/uid_map", map);
            std::snprintf(map, sizeof map, "0 %u 1", gid);
            writeFile("/proc/self/gid_map", map);
            isolated = true;
        }
    }
    if (isolated) loopbackUp();
    return isolated;
}

bool NetworkIsolated() {
    return isolated;
}

}  // namespace velomar::test
#endif
