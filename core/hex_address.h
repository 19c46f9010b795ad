// Reading a flash address typed as hexadecimal text, the one rule for every layer that
// takes one (the run's image table, the window's Download check). Safe from any thread.
#pragma once

#include <cstdint>

// Reads text the way "%X" input conversion does: leading white space skipped, an optional
// "0x" or "0X", then hexadecimal digits (either case) up to the first other character.
// Returns false when there is no digit or the value does not fit 32 bits; otherwise stores
// it in *value.
bool HEX_ReadAddress(const char* text, uint32_t* value);
