// What the station's web server needs from the platform's sockets. One source file per
// platform (http_socket_posix.cpp, http_socket_win32.cpp).
#pragma once

#include <cstdint>

// Makes a listening socket take its port alone: a second server on the same address then
// fails to bind, instead of sharing the port (and its requests) with the first, while a
// restarted station may take the port at once from its own connections that are closing.
void HTTP_ListenAlone(uintptr_t socket);
