// End-to-end fixture: the engine flashes terminals simulated by termsim on pseudo-terminals,
// through the real serial device, port service and protocol layers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/download.h"
#include "tests/support/event_recorder.h"
#include "tests/support/pty_peer.h"
#include "tools/termsim/termsim.h"

class FlashE2E : public ::testing::Test {
protected:
    static constexpr int kFirstCom = 11;

    void SetUp() override;
    void TearDown() override;

    // Starts `count` simulated terminals COM11.. with the given fault texts.
    void StartTerminals(int count, const std::vector<std::string>& faults = {});

    // Writes an image file of `size` bytes (a pattern that differs per name) and returns
    // its path.
    std::string MakeImage(const std::string& name, size_t size);
    static std::vector<uint8_t> ReadFile(const std::string& path);

    // Runs a download on the first `channels` terminals (channel c on COM11 + c).
    void Run(int channels);

    // Waits for terminal i's session and returns its flash range starting at address
    // (empty with a test failure when there is none).
    std::vector<uint8_t> Flash(int terminal, uint32_t address);

    // The image as it must stand in flash: from `offset`, padded with 0xFF to whole blocks
    // unless exact.
    static std::vector<uint8_t> Expected(const std::vector<uint8_t>& file, size_t offset, bool exact);

    bool ChannelDone(int channel) const;

    int m_baud = 0;  // the terminals' pace and the run's rate; 0: unpaced at 1382400
    ScopedPortDir m_ports;
    std::string m_dir;  // images and flash results
    termsim::Simulator m_sim;
    EventRecorder m_events;
};
