// One soak run: eight terminals simulated in-process with the plan's faults, the engine
// flashing them through the real serial, link and transfer layers, and the checks that
// must hold after every run:
//  - a channel that reports EV_CHANNEL_DONE does so once, ends with its summary, and its
//    terminal's flash holds exactly its images, byte for byte;
//  - every other channel's last status text begins "ERR: ";
//  - the run ends within the bound of its slowest channel (SOAK_ChannelBound).
//
// Runs on the calling thread, which plays the console thread. The port directory is the
// one named in KOVIRW_PORT_DIR.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/soak/soak_plan.h"
#include "tools/termsim/fault_options.h"

// What the runs did, summed.
struct SoakTally {
    int runs = 0;
    int channels = 0;
    uint64_t faults[termsim::kFaultKindCount] = {};
    std::map<std::string, int> outcomes;  // "done", or the failing channel's last text
    double lastSeconds = 0;               // the run just made
    double maxSeconds = 0;                // longest run
    double maxShareOfBound = 0;           // largest run time / that run's bound

    // The figures, one per line.
    std::string Report() const;
};

// How long one poll and one write may take at most on this machine, besides the poll's
// 1 ms pause and the write's configured pause: KOVIRW_SOAK_SLACK_MS, default 1.
double SOAK_SlackMs();

// Runs the plan with terminals COM<firstCom>.. and adds to *tally. Returns the checks that
// failed, one line each; empty when every check held.
std::vector<std::string> SOAK_Run(const SoakPlan& plan, int firstCom, SoakTally* tally);
