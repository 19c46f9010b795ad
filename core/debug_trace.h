// The engine's debug trace: silent unless the environment variable KOVIRW_TRACE is set,
// then every line goes to stderr. No trace text ever reaches the operator.
// Safe from any thread.
#pragma once

void DEBUG_Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
