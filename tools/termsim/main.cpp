// termsim: serves simulated terminals until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <string>

#include "tools/termsim/command_line.h"
#include "tools/termsim/termsim.h"

int main(int argc, char** argv) {
    termsim::Options options;
    std::string error;
    switch (termsim::ParseCommandLine(argc, argv, &options, &error)) {
        case termsim::ParseResult::kHelp:
            std::fputs(termsim::UsageText(), stdout);
            return 0;
        case termsim::ParseResult::kError:
            std::fprintf(stderr, "termsim: %s\n%s", error.c_str(), termsim::UsageText());
            return 2;
        case termsim::ParseResult::kRun:
            break;
    }

    // Blocked before any terminal thread exists, so only sigwait below ever sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A script that stops reading our output must not kill us before the entries are gone.
    signal(SIGPIPE, SIG_IGN);

    termsim::Simulator simulator;
    if (!simulator.Start(options, &error)) {
        std::fprintf(stderr, "termsim: %s\n", error.c_str());
        return 1;
    }
    if (options.device.empty())
        std::printf("ready COM%d..COM%d\n", options.firstCom, options.firstCom + options.count - 1);
    else
        std::printf("ready %s\n", options.device.c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    simulator.Stop();
    std::fputs(simulator.Summary().c_str(), stderr);
    return 0;
}
