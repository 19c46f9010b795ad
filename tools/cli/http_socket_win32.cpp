#include <winsock2.h>

#include "tools/cli/http_socket.h"

void HTTP_ListenAlone(uintptr_t socket) {
    // Windows lets SO_REUSEADDR take a port that another program listens on; this forbids it.
    const BOOL yes = TRUE;
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}
