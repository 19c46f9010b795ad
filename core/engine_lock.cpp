#include "core/engine_lock.h"

std::mutex g_hEngineMutex;
