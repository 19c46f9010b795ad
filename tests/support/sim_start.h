// Test support: settings for simulated terminals with line faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/termsim/termsim.h"

// `count` terminals from COM firstCom in portDir, results in flashDir, with the fault texts
// given (a text that does not parse fails the test).
termsim::Options SimOptions(int count, int firstCom, const std::string& portDir,
                            const std::string& flashDir,
                            const std::vector<std::string>& faults = {}, uint64_t seed = 0,
                            long baud = 0);
