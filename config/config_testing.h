// Test support for the configuration layer. Not for production code.
#pragma once

// Puts g_Profile, g_szStartDir, g_szProfilePath and the settings back to their values at
// program start (g_nAutoDetect 0, no ports, the default delay and rate, empty texts).
void CONFIG_ResetForTest();

// Called with the temporary file's path after it is written and flushed, right before the
// rename that replaces the old file: a test can end the process there to stand for a crash.
// nullptr removes the hook.
using ConfigBeforeRenameHook = void (*)(const char* tempPath);
void CONFIG_SetBeforeRenameHookForTest(ConfigBeforeRenameHook hook);
