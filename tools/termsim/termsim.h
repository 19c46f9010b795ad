// The terminal simulator: N simulated terminals, each a flash loader on a pseudo-terminal
// published as COM<n> in the port directory, for the flasher, its tests, benchmarks and demo.
//
// Threads: Start and Stop are called by the owner's thread (not concurrently with each
// other). The queries may be called from any thread while the simulator is started, and
// after Stop until the next Start; each terminal runs on its own thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/termsim/fault_options.h"
#include "tools/termsim/flash_model.h"
#include "tools/termsim/terminal_stats.h"

namespace termsim {

class Terminal;

constexpr int kMaxTerminals = 256;

struct Options {
    int count = 1;
    int firstCom = 1;      // terminal i is COM<firstCom + i>
    std::string portDir;   // empty: the port directory's usual place
    std::string flashDir;  // session results go to <flashDir>/COM<n>/; empty: none
    long baud = 0;         // line rate to pace to; 0: as fast as possible
    std::string device;    // serve one terminal on this serial device at `baud` (no entry)
    uint64_t seed = 0;     // for the random faults
    std::vector<FaultSpec> faults;
};

class Simulator {
  public:
    Simulator();
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens and publishes every terminal, then starts serving. Returns false with a
    // message in *error (and nothing left published) when an option is invalid or a
    // terminal cannot be set up. Calls Stop first when already started.
    bool Start(const Options& options, std::string* error);

    // Stops every terminal, removes their entries and closes their pseudo-terminals.
    // Results stay queryable. Does nothing when not started.
    void Stop();

    // Terminals of the last Start; i below runs from 0 to Count() - 1.
    int Count() const { return static_cast<int>(m_terminals.size()); }
    int ComNumber(int i) const;
    std::string EntryPath(int i) const;
    std::string SlavePath(int i) const;
    TerminalCounters Counters(int i) const;

    // Completed sessions (GO received after UNLOCK) of terminal i.
    uint64_t SessionCount(int i) const;
    // Waits until terminal i has completed at least `count` sessions; false on time-out.
    bool WaitForSessions(int i, uint64_t count, std::chrono::milliseconds timeout) const;
    // Flash ranges with their bytes, and protocol errors, of terminal i's last session.
    std::vector<FlashRange> LastFlash(int i) const;
    std::vector<std::string> LastErrors(int i) const;
    // Flash ranges of terminal i as its loader holds them: the session in progress, whether
    // or not its GO ever arrived (lost on the line, loader stalled, cable pulled), else the
    // last completed session. Only after Stop; empty while the simulator runs.
    std::vector<FlashRange> CurrentFlash(int i) const;

    // One line per terminal: packets, answers, faults injected by kind, protocol errors.
    std::string Summary() const;

  private:
    std::vector<std::unique_ptr<Terminal>> m_terminals;
    int m_stopPipe[2] = {-1, -1};
    bool m_running = false;
};

}  // namespace termsim
