// Linux: the process's descriptors are listed in /proc/self/fd; a connection of the port is
// a socket whose local port is the listening one and that has a peer, and the kernel counts
// the bytes it received (TCP_INFO). Shutting a socket down wakes the server thread that
// reads it, which then closes it. A descriptor closed and reused between the look and the
// shutdown can only be another socket of this server: shutdown() fails on anything else.
#include <dirent.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdlib>

#include "tools/cli/http_guard.h"

namespace {

int LocalPort(int fd, int* peerPort) {
    sockaddr_storage local{}, peer{};
    socklen_t localSize = sizeof local, peerSize = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0) return -1;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) return -1;
    auto port = [](const sockaddr_storage& a) {
        if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
        if (a.ss_family == AF_INET6)
            return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
        return static_cast<uint16_t>(0);
    };
    *peerPort = port(peer);
    return port(local);
}

}  // namespace

void HTTP_ListenAlone(uintptr_t socket) {
    const int yes = 1;  // SO_REUSEADDR without SO_REUSEPORT
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

int HttpGuard::Cut(std::chrono::steady_clock::duration maxAge, unsigned long long maxBytes) {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return 0;
    const auto now = std::chrono::steady_clock::now();
    std::map<long long, std::chrono::steady_clock::time_point> seen;
    int cut = 0;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir)) continue;
        int peerPort = 0;
        if (LocalPort(static_cast<int>(fd), &peerPort) != m_port || peerPort == 0) continue;
        const long long key = static_cast<long long>(fd) << 16 | peerPort;
        const auto known = m_seen.find(key);
        const auto first = known == m_seen.end() ? now : known->second;
        tcp_info info{};
        socklen_t size = sizeof info;
        const unsigned long long received =
            getsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
                    size >=
                        offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received
                ? info.tcpi_bytes_received
                : 0;
        if (now - first > maxAge || received > maxBytes) {
            if (shutdown(static_cast<int>(fd), SHUT_RDWR) == 0) ++cut;
            continue;
        }
        seen[key] = first;
    }
    closedir(dir);
    m_seen.swap(seen);
    return cut;
}
