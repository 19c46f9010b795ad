#include <sys/socket.h>

#include "tools/cli/http_socket.h"

void HTTP_ListenAlone(uintptr_t socket) {
    const int yes = 1;  // SO_REUSEADDR without SO_REUSEPORT
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}
