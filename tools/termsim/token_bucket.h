// Paces bytes to a line rate: tokens (bytes) accrue at a fixed rate up to a small burst, and
// a byte may pass only against a token. Not thread-safe: one owner.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace termsim {

using Clock = std::chrono::steady_clock;

class TokenBucket {
  public:
    // bytesPerSecond <= 0 turns pacing off: every byte may pass at once.
    void Configure(double bytesPerSecond, double burst, Clock::time_point now) {
        m_rate = bytesPerSecond;
        m_burst = std::max(burst, 1.0);
        m_tokens = m_burst;
        m_idle = false;
        m_stamp = now;
    }

    bool Enabled() const { return m_rate > 0; }
    size_t Burst() const { return static_cast<size_t>(m_burst); }

    // Whole bytes that may pass now (unbounded when pacing is off).
    size_t Available(Clock::time_point now) {
        if (!Enabled()) return static_cast<size_t>(-1);
        Refill(now);
        return static_cast<size_t>(m_tokens);
    }

    void Take(size_t n) {
        if (Enabled()) m_tokens -= static_cast<double>(n);
        m_idle = false;
    }

    // The line has nothing left to carry. Until the next Take it saves up one byte only, so
    // the time it stands idle cannot later pass as line time of bytes that came meanwhile.
    void Idle(Clock::time_point now) {
        if (!Enabled()) return;
        Refill(now);
        m_tokens = std::min(m_tokens, 0.0);
        m_idle = true;
    }

    // When n bytes (at most the burst) will be available.
    Clock::time_point ReadyAt(size_t n) const {
        const double missing = std::min(static_cast<double>(n), m_burst) - m_tokens;
        if (!Enabled() || missing <= 0) return m_stamp;
        return m_stamp + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(missing / m_rate));
    }

  private:
    void Refill(Clock::time_point now) {
        if (now <= m_stamp) return;
        m_tokens =
            std::min(m_idle ? 1.0 : m_burst,
                     m_tokens + std::chrono::duration<double>(now - m_stamp).count() * m_rate);
        m_stamp = now;
    }

    double m_rate = 0;
    double m_burst = 1;
    double m_tokens = 1;
    Clock::time_point m_stamp{};
    bool m_idle = false;
};

}  // namespace termsim
