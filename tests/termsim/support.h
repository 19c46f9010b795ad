// Test support: a flasher-like client of a simulated port.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "serial/serial_device.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_files.h"
#include "tools/termsim/termsim.h"
#include "wire.h"

// Opens a port with the flasher's own serial device.
class PortClient {
  public:
    explicit PortClient(const std::string& path)
        : m_device(SERIAL_DEVICE_OpenPath(0, path, 115200)) {}
    ~PortClient() { SERIAL_DEVICE_Close(0, m_device); }

    // Writes everything; false when the port failed.
    bool Send(const wire::Bytes& bytes);
    // Reads until `count` answers have arrived or the timeout ran out.
    std::vector<wire::Answer> Answers(size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything that arrives within the time given (for "nothing more comes" checks).
    wire::Bytes Drain(std::chrono::milliseconds quiet);

  private:
    // Appends what arrives within timeout to m_pending; false when nothing did.
    bool ReadMore(std::chrono::milliseconds timeout);

    SerialHandle m_device;
    wire::Bytes m_pending;
    wire::AnswerReader m_reader;
};

// Polls cond every millisecond until it holds or the timeout runs out.
template <typename Cond>
bool WaitUntil(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        struct timespec ts {
            0, 1000000
        };
        nanosleep(&ts, nullptr);
    }
    return true;
}
