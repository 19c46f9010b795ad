// Counters of one simulated terminal. Written only by that terminal's thread; read by any
// thread. Each counter is exact on its own; a reader that sees a count also sees every
// count written before it (release/acquire), though a copy is not one instant's snapshot.
#pragma once

#include <atomic>
#include <cstdint>

#include "tools/termsim/fault_options.h"

namespace termsim {

// A plain copy of the counters, for callers.
struct TerminalCounters {
    uint64_t bytesIn = 0;         // bytes read from the line
    uint64_t bytesOut = 0;        // bytes written to the line
    uint64_t packets = 0;         // frames of 3 bytes or more received
    uint64_t answers = 0;         // answer frames written to the line
    uint64_t badFcs = 0;          // packets received with a wrong FCS
    uint64_t protocolErrors = 0;  // see the errors log
    uint64_t overlongFrames = 0;  // bodies dropped for having no end
    uint64_t answersLost = 0;     // answers dropped because nobody read the line
    uint64_t outputErrors = 0;    // session results that could not be written
    uint64_t sessions = 0;        // completed sessions (GO received in a session)
    bool unplugged = false;
    uint64_t faults[kFaultKindCount] = {};
};

class TerminalStats {
  public:
    void Add(std::atomic<uint64_t>& counter, uint64_t n = 1) {
        counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }
    void AddFault(FaultKind kind, uint64_t n = 1) { Add(faults[static_cast<int>(kind)], n); }

    TerminalCounters Copy() const;

    std::atomic<uint64_t> bytesIn{0};
    std::atomic<uint64_t> bytesOut{0};
    std::atomic<uint64_t> packets{0};
    std::atomic<uint64_t> answers{0};
    std::atomic<uint64_t> badFcs{0};
    std::atomic<uint64_t> protocolErrors{0};
    std::atomic<uint64_t> overlongFrames{0};
    std::atomic<uint64_t> answersLost{0};
    std::atomic<uint64_t> outputErrors{0};
    std::atomic<uint64_t> faults[kFaultKindCount] = {};
};

inline TerminalCounters TerminalStats::Copy() const {
    TerminalCounters c;
    c.bytesIn = bytesIn.load(std::memory_order_acquire);
    c.bytesOut = bytesOut.load(std::memory_order_acquire);
    c.packets = packets.load(std::memory_order_acquire);
    c.answers = answers.load(std::memory_order_acquire);
    c.badFcs = badFcs.load(std::memory_order_acquire);
    c.protocolErrors = protocolErrors.load(std::memory_order_acquire);
    c.overlongFrames = overlongFrames.load(std::memory_order_acquire);
    c.answersLost = answersLost.load(std::memory_order_acquire);
    c.outputErrors = outputErrors.load(std::memory_order_acquire);
    for (int i = 0; i < kFaultKindCount; ++i)
        c.faults[i] = faults[i].load(std::memory_order_acquire);
    return c;
}

}  // namespace termsim
