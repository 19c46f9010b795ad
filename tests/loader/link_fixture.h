// A channel prepared as at run start, its device open on a pseudo-terminal whose master end
// plays the loader.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "config/settings.h"
#include "engine/download.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "loader/loader_testing.h"
#include "serial/port_service.h"
#include "tests/support/pty_peer.h"

class LinkFixture : public ::testing::Test {
  protected:
    static constexpr int kChannel = 0;
    static constexpr int kCom = 7;

    void SetUp() override {
        m_savedDelay = g_nWriteDelay;
        g_nWriteDelay = 0;
        m_peer = std::make_unique<PtyPeer>(kCom);
        int ports[CHANNEL_COUNT] = {};
        ports[kChannel] = kCom;
        LOADER_ResetForTest(kChannel);
        DOWNLOAD_Start(nullptr, 0, ports, 115200);
        ASSERT_EQ(SERIAL_PORT_Open(kChannel), 1);
    }

    void TearDown() override {
        DOWNLOAD_Stop();
        g_nChannelPort[kChannel] = 0;
        m_peer.reset();
        g_nWriteDelay = m_savedDelay;
    }

    // Builds and sends a bare command packet through the commands' buffers.
    void SendBare(uint8_t code) {
        PacketBuffer* p = TakePacketBuffer(kChannel);
        p->end = p->start;
        p->data[p->end++] = code;
        SendPacket(kChannel, p->data, p->start, p->end);
    }

    const LinkRecord& fn() const { return FN[kChannel]; }

    ScopedPortDir m_dir;
    std::unique_ptr<PtyPeer> m_peer;
    int m_savedDelay = 2;
};
