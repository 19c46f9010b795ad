#include "core/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {
const bool kTraceOn = std::getenv("KOVIRW_TRACE") != nullptr;
}

void DEBUG_Trace(const char* format, ...) {
    if (!kTraceOn) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}
