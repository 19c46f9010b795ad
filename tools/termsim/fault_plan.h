// The faults one terminal injects, with their dice. Every random fault kind draws from its
// own generator, derived from the simulator's seed, the terminal's index and the kind, so a
// run is reproducible and turning one kind on does not change what another one does.
// Not thread-safe: owned and used by the terminal's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/termsim/fault_options.h"
#include "tools/termsim/terminal_stats.h"

namespace termsim {

// splitmix64: small, fast and the same on every platform and standard library.
class Dice {
  public:
    explicit Dice(uint64_t seed = 0) : m_state(seed) {}
    uint64_t Next();
    // Uniform in [0, 1).
    double Uniform();
    // True with probability p.
    bool Chance(double p) { return p > 0 && (p >= 1 || Uniform() < p); }
    // Uniform in [1, max]; max >= 1.
    uint64_t OneTo(uint64_t max) { return 1 + Next() % max; }

  private:
    uint64_t m_state;
};

class FaultPlan {
  public:
    FaultPlan(const TerminalFaults& faults, uint64_t seed, int index, TerminalStats& stats);

    const TerminalFaults& Faults() const { return m_faults; }

    // The number of packets a session may have before the loader stops answering
    // (UINT64_MAX when it never does); drawn anew for every session.
    uint64_t DrawStallLimit();
    // The kind that set the last limit drawn (stall or stall-random).
    FaultKind StallKind() const { return m_stallKind; }

    // Total bytes received after which the terminal is unplugged (UINT64_MAX: never).
    uint64_t UnplugAfter() const { return m_unplugAfter; }

    // Random refusal of a good packet. Counts the fault when it fires.
    bool RefusePacket() { return Roll(m_nak, m_faults.nakRate, FaultKind::kNak); }

    // Random loss, duplication and hold-back of an answer. Count the fault when they fire.
    bool DropAnswer() { return Roll(m_drop, m_faults.dropRate, FaultKind::kDrop); }
    bool DuplicateAnswer() { return Roll(m_dup, m_faults.dupRate, FaultKind::kDup); }
    bool DelayAnswer() { return Roll(m_delay, m_faults.delayRate, FaultKind::kDelay); }

    // Flips one random bit in some bytes of data[0..n), each byte with the configured
    // probability; `in` tells the direction (received or sent). Counts every flip.
    void DamageReceived(uint8_t* data, size_t n) { Damage(m_bitsIn, m_untilFlipIn, data, n); }
    void DamageSent(uint8_t* data, size_t n) { Damage(m_bitsOut, m_untilFlipOut, data, n); }

  private:
    bool Roll(Dice& dice, double rate, FaultKind kind);
    uint64_t DrawGap(Dice& dice);
    void Damage(Dice& dice, uint64_t& until, uint8_t* data, size_t n);

    TerminalFaults m_faults;
    TerminalStats& m_stats;
    Dice m_bitsIn, m_bitsOut, m_drop, m_dup, m_delay, m_nak, m_stall;
    uint64_t m_untilFlipIn = 0;  // clean bytes to pass before the next flip
    uint64_t m_untilFlipOut = 0;
    uint64_t m_unplugAfter = UINT64_MAX;
    FaultKind m_stallKind = FaultKind::kStall;
};

}  // namespace termsim
