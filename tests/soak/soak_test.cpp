// Soak: many runs of eight channels with random line faults, random images and random
// channel stops, checking after every run that a success means a byte-exact flash, that a
// failure says "ERR: ...", that the run ended in time, and that no descriptor or thread
// was left behind. KOVIRW_SOAK_RUNS sets the number of runs (default 20), KOVIRW_SOAK_SEED
// the first run's seed (default 1; run n uses seed + n), KOVIRW_SOAK_IMAGES the most images
// per channel (default 2).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include "tests/soak/soak_run.h"
#include "tests/support/pty_peer.h"

namespace {

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

int CountEntries(const char* path) {
    std::error_code error;
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(path, error), {}));
}

TEST(Soak, RandomFaultsNeverBreakTheInvariants) {
    ScopedPortDir ports;
    const long runs = EnvNumber("KOVIRW_SOAK_RUNS", 20);
    const uint64_t seed = static_cast<uint64_t>(EnvNumber("KOVIRW_SOAK_SEED", 1));
    const int maxImages = static_cast<int>(EnvNumber("KOVIRW_SOAK_IMAGES", 2));
    // A sanitizer's runtime starts a helper thread of its own with the first thread: one
    // thread started and joined first keeps it out of the counts.
    std::thread([] {}).join();
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");

    SoakTally tally;
    for (long run = 0; run < runs; ++run) {
        const SoakPlan plan = SOAK_MakePlan(seed + static_cast<uint64_t>(run), maxImages);
        for (const std::string& failure : SOAK_Run(plan, 41, &tally)) ADD_FAILURE() << failure;
        std::printf("run %ld (seed %llu): %.1f s\n", run + 1,
                    static_cast<unsigned long long>(plan.seed), tally.lastSeconds);
        if ((run + 1) % 50 == 0 && run + 1 < runs)
            std::printf("%s", tally.Report().c_str());  // figures so far, for long soaks
        std::fflush(stdout);
        EXPECT_EQ(CountEntries("/proc/self/fd"), fds) << "descriptors after seed " << plan.seed;
        EXPECT_EQ(CountEntries("/proc/self/task"), threads) << "threads after seed " << plan.seed;
        if (HasFailure()) break;
    }
    std::printf("%s", tally.Report().c_str());
    EXPECT_EQ(tally.runs, runs);
}

}  // namespace
