// Windows offers no list of a process's sockets to tell the server's connections by, so
// nothing is cut here: a connection is bounded by the server's read time-out of each read
// and its limits on the request line and header lines only.
#include <winsock2.h>

#include "tools/cli/http_guard.h"

void HTTP_ListenAlone(uintptr_t socket) {
    // Windows lets SO_REUSEADDR take a port that another program listens on; this forbids it.
    const BOOL yes = TRUE;
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}

int HttpGuard::Cut(std::chrono::steady_clock::duration, unsigned long long) { return 0; }
