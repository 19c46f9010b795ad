#include "tests/support/sim_start.h"

#include <gtest/gtest.h>

termsim::Options SimOptions(int count, int firstCom, const std::string& portDir,
                            const std::string& flashDir, const std::vector<std::string>& faults,
                            uint64_t seed, long baud) {
    termsim::Options options;
    options.count = count;
    options.firstCom = firstCom;
    options.portDir = portDir;
    options.flashDir = flashDir;
    options.seed = seed;
    options.baud = baud;
    std::string error;
    EXPECT_TRUE(termsim::ParseFaultSpecs(faults, &options.faults, &error)) << error;
    return options;
}
