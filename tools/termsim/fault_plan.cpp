#include "tools/termsim/fault_plan.h"

#include <algorithm>
#include <cmath>

namespace termsim {
namespace {

uint64_t StreamSeed(uint64_t seed, int index, FaultKind kind) {
    Dice mix(seed ^ (0x9E3779B97F4A7C15ull * (static_cast<uint64_t>(index) + 1)));
    uint64_t s = mix.Next() ^ (0xD1B54A32D192ED03ull * (static_cast<uint64_t>(kind) + 1));
    return Dice(s).Next();
}

}  // namespace

uint64_t Dice::Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Dice::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

FaultPlan::FaultPlan(const TerminalFaults& faults, uint64_t seed, int index, TerminalStats& stats)
    : m_faults(faults),
      m_stats(stats),
      m_bitsIn(StreamSeed(seed, index, FaultKind::kBitErrors)),
      m_bitsOut(StreamSeed(seed, index, FaultKind::kBitErrors) ^ 0x5555555555555555ull),
      m_drop(StreamSeed(seed, index, FaultKind::kDrop)),
      m_dup(StreamSeed(seed, index, FaultKind::kDup)),
      m_delay(StreamSeed(seed, index, FaultKind::kDelay)),
      m_nak(StreamSeed(seed, index, FaultKind::kNak)),
      m_stall(StreamSeed(seed, index, FaultKind::kStallRandom)) {
    if (m_faults.unplug) m_unplugAfter = m_faults.unplugAfter;
    if (m_faults.unplugRandomMax > 0) {
        Dice unplug(StreamSeed(seed, index, FaultKind::kUnplugRandom));
        m_unplugAfter = std::min(m_unplugAfter, unplug.OneTo(m_faults.unplugRandomMax));
    }
    m_untilFlipIn = DrawGap(m_bitsIn);
    m_untilFlipOut = DrawGap(m_bitsOut);
}

uint64_t FaultPlan::DrawStallLimit() {
    uint64_t limit = m_faults.stall ? m_faults.stallAfter : UINT64_MAX;
    m_stallKind = FaultKind::kStall;
    if (m_faults.stallRandomMax > 0) {
        const uint64_t drawn = m_stall.OneTo(m_faults.stallRandomMax);
        if (drawn < limit) {
            limit = drawn;
            m_stallKind = FaultKind::kStallRandom;
        }
    }
    return limit;
}

bool FaultPlan::Roll(Dice& dice, double rate, FaultKind kind) {
    if (!dice.Chance(rate)) return false;
    m_stats.AddFault(kind);
    return true;
}

// Clean bytes before the next damaged one: a geometric draw, so the dice are rolled once
// per error rather than once per byte.
uint64_t FaultPlan::DrawGap(Dice& dice) {
    const double p = m_faults.bitErrorRate;
    if (p <= 0) return UINT64_MAX;
    if (p >= 1) return 0;
    const double u = 1.0 - dice.Uniform();  // (0, 1]
    const double gap = std::floor(std::log(u) / std::log1p(-p));
    return gap >= 1e18 ? UINT64_MAX : static_cast<uint64_t>(gap);
}

void FaultPlan::Damage(Dice& dice, uint64_t& until, uint8_t* data, size_t n) {
    if (m_faults.bitErrorRate <= 0) return;
    size_t at = 0;
    while (at < n) {
        if (until >= n - at) {
            until -= n - at;
            return;
        }
        at += until;
        data[at] ^= static_cast<uint8_t>(1u << (dice.Next() & 7));
        m_stats.AddFault(FaultKind::kBitErrors);
        ++at;
        until = DrawGap(dice);
    }
}

}  // namespace termsim
