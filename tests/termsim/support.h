// Test support: a flasher-like client of a simulated port and a fixture that runs a simulator in-process.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/sim_start.h"
#include "tests/support/test_files.h"
#include "tools/termsim/termsim.h"
#include "wire.h"

// Opens a port the way the flasher does: O_NOCTTY, exclusive, locked, raw, non-blocking.
class PortClient {
  public:
    explicit PortClient(const std::string& path);
    ~PortClient();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // Writes everything, waiting for room; false when the port failed.
    bool Send(const wire::Bytes& bytes);
    // Reads until `count` answers have arrived or the timeout ran out.
    std::vector<wire::Answer> Answers(size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything that arrives within the time given (for "nothing more comes" checks).
    wire::Bytes Drain(std::chrono::milliseconds quiet);

  private:
    // Appends what arrives within timeout to m_pending; false when nothing did.
    bool ReadMore(std::chrono::milliseconds timeout);

    int m_fd = -1;
    wire::Bytes m_pending;
    wire::AnswerReader m_reader;
};

// Runs a simulator with temporary port and flash folders.
class SimTest : public ::testing::Test {
  protected:
    void TearDown() override { sim.Stop(); }

    // Starts `count` terminals with the given faults and extra settings.
    void StartSim(int count, const std::vector<std::string>& faults = {}, uint64_t seed = 0,
                  long baud = 0);
    std::string Output(int terminal, const std::string& file) const;

    ScratchDir dir;
    termsim::Simulator sim;
    termsim::Options options;
};

// Polls cond every millisecond until it holds or the timeout runs out.
template <typename Cond>
bool WaitUntil(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        struct timespec ts {
            0, 1000000
        };
        nanosleep(&ts, nullptr);
    }
    return true;
}
