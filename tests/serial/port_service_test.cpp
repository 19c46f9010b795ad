// The port service: lazy open under the lock, batching of the transmit buffer, the reader
// step's failure path.
#include "serial/port_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "engine/download.h"
#include "tests/support/event_recorder.h"
#include "tests/support/pty_peer.h"

namespace {

class PortServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_savedDelay = g_nWriteDelay;
        g_nWriteDelay = 0;
    }
    void TearDown() override {
        DOWNLOAD_Stop();
        for (auto& p : g_nChannelPort) p = 0;
        g_nWriteDelay = m_savedDelay;
    }
    void Start(int channel, int com) {
        int ports[CHANNEL_COUNT] = {};
        ports[channel] = com;
        DOWNLOAD_Start(&m_events, WM_ENGINE_EVENT, ports, 115200);
    }

    ScopedPortDir m_dir;
    EventRecorder m_events;
    int m_savedDelay = 2;
};

TEST_F(PortServiceTest, OpensOnceAndRefusesToRestartAnOpenChannel) {
    PtyPeer peer(5);
    Start(2, 5);
    ASSERT_EQ(SERIAL_PORT_Open(2), 1);
    SerialHandle first = SERIAL_PORT_Device(2);
    EXPECT_EQ(SERIAL_PORT_Open(2), 1);
    EXPECT_EQ(SERIAL_PORT_Device(2), first);

    EXPECT_EQ(SERIAL_PORT_Start(2, 9, 9600), 0);
    EXPECT_EQ(g_nChannelPort[2], 5);
    EXPECT_EQ(g_nChannelBaud[2], 115200);

    EXPECT_EQ(SERIAL_PORT_Close(2), 1);
    EXPECT_FALSE(SERIAL_PORT_Device(2));
    EXPECT_EQ(SERIAL_PORT_Close(2), 1);  // nothing left to close
    SERIAL_PORT_Stop(2);
    EXPECT_TRUE(m_events.events().empty());

    // A channel started without a rate does not open, and a wait for its input still lasts
    // its time rather than returning at once (a waiting loop would spin).
    ASSERT_EQ(SERIAL_PORT_Start(6, 5, 0), 1);
    EXPECT_EQ(SERIAL_PORT_Open(6), 0);
    const auto start = std::chrono::steady_clock::now();
    SERIAL_PORT_WaitInput(6, 50);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

// DELAY is kept as read, however large: the pause must neither wrap nor outlast a stop.
TEST_F(PortServiceTest, AStopEndsALongWritePauseAtOnce) {
    PtyPeer peer(5);
    Start(0, 5);
    ASSERT_EQ(SERIAL_PORT_Open(0), 1);
    SERIAL_PORT_SetWriteDelay(2147483647);
    const auto start = std::chrono::steady_clock::now();
    std::thread console([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        DOWNLOAD_StopChannel(0);
    });
    SERIAL_PORT_PutByte(0, 0x7E);
    SERIAL_PORT_Flush(0);
    console.join();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_FALSE(SERIAL_PORT_Device(0));     // the stop closed the port
    EXPECT_EQ(DOWNLOAD_StopChannel(-1), 1);  // no such channel: nothing to stop
    EXPECT_EQ(DOWNLOAD_StopChannel(CHANNEL_COUNT), 1);
    EXPECT_EQ(DOWNLOAD_StartChannel(CHANNEL_COUNT, 5, 115200), 0);  // nor to start
}

TEST_F(PortServiceTest, TransmitBufferIsWrittenInChunksOf4096) {
    PtyPeer peer(5);
    Start(0, 5);
    ASSERT_EQ(SERIAL_PORT_Open(0), 1);
    for (int i = 0; i < 4096; ++i) SERIAL_PORT_PutByte(0, static_cast<uint8_t>(i));
    EXPECT_EQ(SERIAL_PORT_Stats(0).writes, 1u);
    EXPECT_EQ(SERIAL_PORT_Stats(0).bytesWritten, 4096u);
    EXPECT_EQ(peer.ReadSome(1000).size(), 4096u);

    SERIAL_PORT_Flush(0);  // empty: no write
    EXPECT_EQ(SERIAL_PORT_Stats(0).writes, 1u);

    for (int i = 0; i < 4097; ++i) SERIAL_PORT_PutByte(0, 0x33);
    SERIAL_PORT_Flush(0);
    EXPECT_EQ(SERIAL_PORT_Stats(0).writes, 3u);
    EXPECT_EQ(SERIAL_PORT_Stats(0).bytesWritten, 4096u + 4097u);
    EXPECT_EQ(peer.ReadSome(1000).size(), 4097u);

    peer.Write({1, 2, 3});  // a reader step that finds bytes reads them all at once
    SERIAL_PORT_WaitInput(0, 1000);
    SERIAL_PORT_DoReading(0);
    EXPECT_EQ(SERIAL_PORT_Stats(0).reads, 1u);
    EXPECT_EQ(SERIAL_PORT_Stats(0).bytesRead, 3u);
}

// The other end of a pseudo-terminal closing is a device pulled out: the reader step's read
// (EIO, POLLHUP) or a write (EIO) fails, the device is closed, the channel counts as gone
// and the log says so once. A device that is merely quiet is not gone, and the mark does not
// outlive the channel's next start.
TEST_F(PortServiceTest, ADeviceThatWentAwayIsClosedAndMarkedGone) {
    PtyPeer peer(5);
    Start(0, 5);
    ASSERT_EQ(SERIAL_PORT_Open(0), 1);
    SERIAL_PORT_DoReading(0);  // nothing queued: nothing changes
    EXPECT_TRUE(SERIAL_PORT_Device(0));
    EXPECT_FALSE(SERIAL_PORT_Gone(0));
    peer.Unplug();
    SERIAL_PORT_DoReading(0);
    EXPECT_FALSE(SERIAL_PORT_Device(0));
    EXPECT_TRUE(SERIAL_PORT_Gone(0));
    uint8_t byte = 0;
    EXPECT_EQ(SERIAL_PORT_Read(0, &byte, 0, 1), 0);    // later reads find no device
    EXPECT_EQ(SERIAL_PORT_Write(0, &byte, 0, 1), -1);  // and writes fail
    SERIAL_PORT_DoReading(0);
    int told = 0;
    for (const RecordedEvent& e : m_events.events())
        told += e.code == EV_TEXT && e.text == "COM5: the device went away" ? 1 : 0;
    EXPECT_EQ(told, 1);

    DOWNLOAD_Stop();
    PtyPeer writer(6);
    Start(0, 6);
    EXPECT_FALSE(SERIAL_PORT_Gone(0));
    ASSERT_EQ(SERIAL_PORT_Open(0), 1);
    writer.Unplug();
    const uint8_t frame[4] = {0x7E, 1, 2, 0x7E};
    EXPECT_EQ(SERIAL_PORT_Write(0, frame, 0, 4), -1);
    EXPECT_TRUE(SERIAL_PORT_Gone(0));
    EXPECT_FALSE(SERIAL_PORT_Device(0));
}

}  // namespace
