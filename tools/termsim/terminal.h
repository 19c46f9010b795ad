// One simulated terminal: a pseudo-terminal published as COM<n>, and a thread that serves
// the flash loader on it, paced to the line rate and with the configured faults.
//
// Threads: Open, Start, Join and Close are called by the owner's thread, in that order.
// The queries may be called from any thread at any time between Open and destruction; they
// read atomics or take the terminal's result lock (held only to swap or copy results).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/termsim/fault_plan.h"
#include "tools/termsim/flash_model.h"
#include "tools/termsim/frame_codec.h"
#include "tools/termsim/loader.h"
#include "tools/termsim/pty_port.h"
#include "tools/termsim/session_writer.h"
#include "tools/termsim/terminal_stats.h"
#include "tools/termsim/token_bucket.h"

namespace termsim {

struct TerminalConfig {
    int index = 0;
    int com = 1;
    std::string entryPath;  // where COM<n> is published
    std::string outputDir;  // session results; empty for none
    long baud = 0;          // 0: no pacing
    std::string device;     // a real serial device to serve on instead of a pseudo-terminal
    long deviceBaud = 0;    // its line rate (the line paces itself)
    uint64_t seed = 0;
    TerminalFaults faults;
};

class Terminal : private LoaderOutput {
  public:
    explicit Terminal(TerminalConfig config);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Opens the pseudo-terminal and publishes its entry. Returns false with *error set.
    bool Open(std::string* error);
    // Starts serving; the thread ends when stopFd becomes readable or the terminal is unplugged.
    void Start(int stopFd);
    void Join();
    // Removes the entry and closes the pseudo-terminal (after Join).
    void Close();

    int Com() const { return m_config.com; }
    const std::string& EntryPath() const { return m_config.entryPath; }
    const std::string& SlavePath() const { return m_pty.slavePath; }

    TerminalCounters Counters() const;
    uint64_t Sessions() const { return m_sessions.load(std::memory_order_acquire); }
    // Waits until at least `count` sessions have completed; false on time-out.
    bool WaitSessions(uint64_t count, std::chrono::milliseconds timeout) const;
    // The flash ranges and protocol errors of the last completed session.
    std::vector<FlashRange> LastFlash() const;
    std::vector<std::string> LastErrors() const;
    // The flash as the loader holds it now: the session in progress, whether or not GO
    // ever arrives, else the last completed one. Only once the thread has ended (Join).
    std::vector<FlashRange> CurrentFlash() const;

  private:
    struct Outgoing {
        Clock::time_point sendAt;
        uint8_t length;
        uint8_t sent;
        uint8_t bytes[EncodedCapacity(kAnswerBody)];
    };
    static constexpr size_t kQueueSize = 64;
    static constexpr size_t kReadChunk = 16384;

    void Run(int stopFd);
    bool ReadInput();
    void Flush(Clock::time_point now);
    void Unplug();
    void SendAnswer(const uint8_t* body, size_t n, uint64_t holdMs) override;
    void OnSessionComplete(FlashModel& flash, const SessionLog& log) override;

    TerminalConfig m_config;
    PtyPair m_pty;
    CloseWatch m_closes;
    TerminalStats m_stats;
    FaultPlan m_plan;
    Loader m_loader;
    Deframer m_deframer;
    SessionWriter m_writer;
    TokenBucket m_rxPace;
    TokenBucket m_txPace;
    std::thread m_thread;

    // Terminal thread only.
    Clock::time_point m_now;
    Clock::time_point m_wake;
    Clock::time_point m_inputHoldUntil;
    Clock::time_point m_drainedAt{};  // when a read left the input queue empty; {} = not since
    size_t m_rxNeed = 1;
    bool m_waitWritable = false;
    Outgoing m_queue[kQueueSize];
    size_t m_queueHead = 0;
    size_t m_queueCount = 0;
    uint8_t m_rxBuffer[kReadChunk];

    std::atomic<uint64_t> m_sessions{0};
    std::atomic<bool> m_unplugged{false};
    mutable std::mutex m_resultLock;  // guards m_lastFlash (writes), m_lastErrors, and the wait
    mutable std::condition_variable m_sessionDone;
    FlashModel m_lastFlash;
    std::vector<std::string> m_lastErrors;
};

}  // namespace termsim
