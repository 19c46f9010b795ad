// The engine's one lock. It lives as long as the program, so a run stop can never destroy it
// under a worker; it is held only around opening and closing a channel's device.
#pragma once

#include <mutex>

extern std::mutex g_hEngineMutex;
