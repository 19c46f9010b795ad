// Measures the line itself as the simulated terminal paces it: bytes written to its port as
// fast as the port takes them, no protocol between, so the figures of the flasher can be
// read against what the line delivers rather than against the nominal baud / 10.
//
// Owner's thread; the port must not be in use by a run.
#pragma once

#include <string>

// Writes `bytes` bytes of idle fill (outside any frame, which a loader drops) to the port at
// `path`, then UNLOCK, CLOSE and GO, and waits for the third answer. Returns the bytes
// written per second over baud / 10, or a negative value with *error set.
double LINE_CHECK_Ratio(const std::string& path, long baud, long bytes, std::string* error);
