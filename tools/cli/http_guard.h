// Cuts the connections of one listening address that have lasted or received too much, so
// that a client that trickles its request (slow-loris) or sends endless header lines holds
// a server thread and its memory only for a bounded time. One source file per platform;
// where a platform cannot tell its connections apart, Cut does nothing (see the file).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>

// Makes a listening socket take its port alone: a second server on the same address then
// fails to bind, instead of sharing the port (and its requests) with the first, while a
// restarted station may take the port at once from its own connections that are closing.
void HTTP_ListenAlone(uintptr_t socket);

class HttpGuard {
  public:
    // The listening port whose accepted connections are watched.
    explicit HttpGuard(int port) : m_port(port) {}

    // Shuts down each connection of the port that is older than maxAge or has received more
    // than maxBytes. Call it from one thread, a few times a second while connections are
    // open; returns how many it cut.
    int Cut(std::chrono::steady_clock::duration maxAge, unsigned long long maxBytes);

  private:
    int m_port;
    // When each connection was first seen, by descriptor and peer port.
    std::map<long long, std::chrono::steady_clock::time_point> m_seen;
};
