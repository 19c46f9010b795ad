// Reading back what the simulated terminals hold after a run (termsim's --flash-dir).
// Owner's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sessions terminal COM<com> has completed so far (0 when none).
long SessionCount(const std::string& flashDir, int com);

// Every terminal COM1..COM<channels> completed a session beyond sessionsBefore[] (waiting up
// to 10 s each) and holds the image at flash address 0, padded with 0xFF to whole blocks.
// Returns what is wrong, or an empty text.
std::string CheckFlash(const std::string& flashDir, int channels, const long sessionsBefore[],
                       const std::vector<uint8_t>& image);
