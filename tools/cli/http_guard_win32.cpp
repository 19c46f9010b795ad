// Windows offers no list of a process's sockets to tell the server's connections by, so
// nothing is cut here: a connection is bounded by the server's read time-out of each read
// and its limits on the request line and header lines only.
#include "tools/cli/http_guard.h"

int HttpGuard::Cut(std::chrono::steady_clock::duration, unsigned long long) { return 0; }
