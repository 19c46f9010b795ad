// End-to-end fixture: the engine flashes terminals simulated by termsim on pseudo-terminals,
// through the real serial device, port service and protocol layers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/download.h"
#include "tests/support/event_recorder.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_files.h"

class FlashE2E : public ::testing::Test {
  protected:
    static constexpr int kFirstCom = 11;

    void SetUp() override { ResetEngine(); }
    void TearDown() override {
        DOWNLOAD_Stop();
        m_sim.Stop();
    }

    // Starts `count` simulated terminals COM11.. with the given fault texts.
    void StartTerminals(int count, const std::vector<std::string>& faults = {}) {
        std::string error;
        ASSERT_TRUE(m_sim.Start(
            SimOptions(count, kFirstCom, m_ports.path(), m_dir.File("flash"), faults, 0, m_baud),
            &error))
            << error;
    }
    std::string Image(const std::string& name, size_t size) { return MakeImage(m_dir, name, size); }
    // Selects `path` at `address` in one slot of one channel's row only.
    static void Select(int channel, int slot, const std::string& path, uint32_t address) {
        ImageEntry& e = g_ImageTable[channel][slot];
        e.slot = slot;
        e.address = address;
        std::strcpy(e.path, path.c_str());
    }

    // Runs a download on the first `channels` terminals (channel c on COM11 + c).
    void Run(int channels) {
        int ports[CHANNEL_COUNT] = {};
        for (int c = 0; c < channels; ++c) ports[c] = kFirstCom + c;
        RunDownload(m_events, ports, m_baud != 0 ? m_baud : 1382400);
    }

    // Waits for terminal i's session and returns its flash range starting at address
    // (empty with a test failure when there is none).
    Bytes Flash(int terminal, uint32_t address);
    bool Done(int channel) const { return m_events.Has(channel, EV_CHANNEL_DONE); }

    int m_baud = 0;  // the terminals' pace and the run's rate; 0: unpaced at 1382400
    ScopedPortDir m_ports;
    ScratchDir m_dir;  // images and flash results
    termsim::Simulator m_sim;
    EventRecorder m_events;
};
