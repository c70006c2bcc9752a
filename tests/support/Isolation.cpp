#include "Isolation.h"

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
