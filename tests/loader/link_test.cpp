// The link window and the loader commands driven through the real receive path: frames leave
// through the port service to a pseudo-terminal whose master end plays the loader, answers
// come back through the reader step and the deframer.
#include "loader/link.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "engine/download.h"
#include "loader/frame_io.h"
#include "loader/loader_commands.h"
#include "loader/loader_testing.h"
#include "serial/port_service.h"
#include "tests/support/pty_peer.h"

namespace {

class LinkWindow : public ::testing::Test {
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

TEST_F(LinkWindow, ThreePacketsGoOutAtOnceAndTheFourthWaitsForTheFirstAnswer) {
    // Counts of 5 before the reset: sequence numbers continue from there, not from 0.
    FN[kChannel].rx_no = 5;
    LinkResetCounters(kChannel);
    SendBare(UNLOCK);
    SendBare(CLOSE);
    SendBare(GO);
    auto frames = m_peer->ReadFrames(3, 2000);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0][0], 1);
    EXPECT_EQ(frames[1][0], 2);
    EXPECT_EQ(frames[2][0], 3);
    EXPECT_EQ(frames[0][1], UNLOCK);
    EXPECT_EQ(WaitAllAnswered(kChannel, 0), 0);  // no polls: no waiting, and no answer made up

    // The answer to the first packet (slot 1) is waiting: the fourth, sequence 0, goes out.
    m_peer->Answer(1, ACK);
    SendBare(UNLOCK);
    EXPECT_EQ(fn().tx_timeout, 0);
    frames = m_peer->ReadFrames(1, 2000);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][0], 0);

    // Answers out of order: slot 3 answered while 2 is not; all answered once counts agree.
    m_peer->Answer(3, ACK);
    m_peer->Answer(0, ACK);
    EXPECT_EQ(WaitAllAnswered(kChannel, 50), 0);
    EXPECT_EQ(fn().ack[2], 0);
    EXPECT_EQ(fn().ack[3], ACK);
    m_peer->Answer(2, ACK);
    EXPECT_EQ(WaitAllAnswered(kChannel, 300), 1);
    EXPECT_EQ(fn().error_count, 0);
}

TEST_F(LinkWindow, WithoutAnswersTheFourthPacketTimesOutAndStaysOffTheLine) {
    SendBare(UNLOCK);
    SendBare(WRITE);
    SendBare(WRITE);
    ASSERT_EQ(m_peer->ReadFrames(3, 2000).size(), 3u);
    SendBare(CLOSE);  // 1200 polls without room
    EXPECT_EQ(fn().tx_timeout, 1);
    EXPECT_EQ(fn().tx_no, 4);
    EXPECT_EQ(fn().ack[3], 0);
    EXPECT_TRUE(m_peer->ReadSome(100).empty());
}

TEST_F(LinkWindow, NakWithReasonOneIsRepairedByResendingThatPacket) {
    SendBare(UNLOCK);  // seq 0
    SendBare(ERASE);   // seq 1
    ASSERT_EQ(m_peer->ReadFrames(2, 2000).size(), 2u);
    m_peer->Answer(0, NAK, 1);  // answer number 0 asks for packet 0 again, not the last one
    m_peer->Answer(1, ACK);
    EXPECT_EQ(WaitAllAnswered(kChannel, 50), 0);
    EXPECT_EQ(fn().error_no, 0);
    EXPECT_EQ(fn().error_count, 0);
    EXPECT_EQ(fn().ack[0], NAK);

    ResendMarked(kChannel);
    EXPECT_EQ(fn().error_no, -1);
    auto frames = m_peer->ReadFrames(1, 2000);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][0], 2);       // a new sequence number
    EXPECT_EQ(frames[0][1], UNLOCK);  // the refused packet, not the one sent last
    m_peer->Answer(2, ACK);
    EXPECT_EQ(WaitAllAnswered(kChannel, 300), 1);
    EXPECT_EQ(fn().error_count, 0);
}

TEST_F(LinkWindow, ShortBodiesOtherCodesAndUnreadableSequences) {
    SendBare(UNLOCK);
    SendBare(ERASE);
    SendBare(WRITE);
    ASSERT_EQ(m_peer->ReadFrames(3, 2000).size(), 3u);
    m_peer->Write({0x7E, 0x00, 0x02, 0x7E});  // two bytes: ignored completely
    WaitAllAnswered(kChannel, 20);
    EXPECT_EQ(fn().rx_no, 0);
    EXPECT_EQ(fn().error_count, 0);

    m_peer->Answer(0, 0x44);  // another code: answered, but an error
    WaitAllAnswered(kChannel, 20);
    EXPECT_EQ(fn().ack[0], ACK);
    EXPECT_EQ(fn().error_count, 1);

    // A sequence byte above 3 is a damaged answer for the slot after the one answered last
    // with another code.
    m_peer->Answer(4, ACK);
    WaitAllAnswered(kChannel, 20);
    EXPECT_EQ(fn().rx_no, 2);
    EXPECT_EQ(fn().error_count, 2);
    EXPECT_EQ(fn().ack[0], ACK);
    EXPECT_EQ(fn().ack[1], NAK);
    EXPECT_EQ(fn().ack[2], 0);
}

TEST_F(LinkWindow, StoppedChannelEndsTheWaitAtTheNextPoll) {
    SendBare(UNLOCK);
    g_bChannelActive[kChannel] = 0;
    EXPECT_EQ(WaitAllAnswered(kChannel, 30000), 0);  // returns after one poll, not 30 s
}

TEST_F(LinkWindow, ResendOfAPacketNoBufferHoldsIsCountedNotLost) {
    for (int i = 0; i < 3; ++i) SendBare(WRITE);
    ASSERT_EQ(m_peer->ReadFrames(3, 2000).size(), 3u);
    FN[kChannel].error_no = 3;  // sequence 3 was never sent in this run
    ResendMarked(kChannel);
    EXPECT_EQ(fn().error_no, -1);
    EXPECT_EQ(fn().error_count, 1);
    EXPECT_TRUE(m_peer->ReadSome(100).empty());
}

TEST_F(LinkWindow, DrainResendsWhatIsRefusedMeanwhileAndGivesUpOnALoaderThatAlwaysRefuses) {
    // A refusal (reason 1) of the first of two packets, arriving while they are drained, is
    // repaired there with that packet, and the emptied window frees the refused slot.
    std::thread loader([this] {
        auto frames = m_peer->ReadFrames(2, 2000);
        ASSERT_EQ(frames.size(), 2u);
        m_peer->Answer(frames[0][0], NAK, 1);
        m_peer->Answer(frames[1][0], ACK);
        frames = m_peer->ReadFrames(1, 2000);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0][1], ERASE);
        m_peer->Answer(frames[0][0], ACK);
    });
    SendBare(ERASE);
    SendBare(WRITE);
    EXPECT_EQ(LinkDrain(kChannel, 300), 1);
    loader.join();
    for (uint8_t a : fn().ack) EXPECT_EQ(a, ACK);
    EXPECT_EQ(fn().error_count, 0);

    // A loader that refuses every resend: each refused slot holds the window shut, so the
    // second resend is the last that fits (the window needs the slot after the next one
    // answered with ACK) and the drain fails before its resend cap.
    int refused = 0;
    std::thread stubborn([this, &refused] {
        for (auto frames = m_peer->ReadFrames(1, 1000); !frames.empty();
             frames = m_peer->ReadFrames(1, 500), ++refused)
            m_peer->Answer(frames[0][0], NAK, 1);
    });
    SendBare(WRITE);
    EXPECT_EQ(LinkDrain(kChannel, 3000), 0);
    stubborn.join();
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(fn().tx_timeout, 1);
}

TEST_F(LinkWindow, WriteTakesFromOneByteToABlockAndSendsNothingElse) {
    LinkResetCounters(kChannel);
    const std::vector<uint8_t> block(LOADER_BLOCK_SIZE + 1, 0x5A);
    EXPECT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0, 0, block.data()), 0);
    EXPECT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0, LOADER_BLOCK_SIZE + 1, block.data()), 0);
    EXPECT_TRUE(m_peer->ReadSome(100).empty());
    EXPECT_EQ(fn().tx_no, 0);
    EXPECT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0, 1, block.data()), 1);  // one byte is a write
    EXPECT_EQ(fn().tx_no, 1);
}

TEST_F(LinkWindow, CloseAfterWindowTimeOutSkipsTheDrain) {
    LinkResetCounters(kChannel);
    FN[kChannel].tx_timeout = 1;
    FN[kChannel].error_no = 0;  // would be resent by a drain
    EXPECT_EQ(FLASH_DOWNLOADER_Close(kChannel), 0);
    auto frames = m_peer->ReadFrames(2, 300);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][1], CLOSE);
}

}  // namespace

// Frames go into the transmit buffer many bytes at a time, yet every write ends where byte by
// byte it would: at 4096 bytes, even between the two bytes of an escape pair.
TEST_F(LinkWindow, AFrameIsWrittenInThe4096ByteWritesOfByteByByte) {
    std::vector<uint8_t> body(4094, 0x41);
    body.push_back(FRAME_FLAG);  // its escape pair is bytes 4096 and 4097 of the frame
    body.insert(body.end(), 2000, 0x7D);
    const int wire =
        SERIAL_PORT_WriteFrame(kChannel, body.data(), 0, static_cast<int>(body.size()));
    std::vector<uint8_t> want(FRAME_MaxEncodedSize(static_cast<int>(body.size())));
    want.resize(FRAME_Encode(body.data(), 0, static_cast<int>(body.size()), want.data()));
    EXPECT_EQ(wire, static_cast<int>(want.size()));
    EXPECT_EQ(m_peer->ReadSome(2000), want);
    EXPECT_EQ(SERIAL_PORT_Stats(kChannel).writes, 2u);  // 4096 + 4002
    EXPECT_EQ(SERIAL_PORT_Stats(kChannel).bytesWritten, want.size());

    // The first write ends on the first byte of the pair: its second byte waits in the buffer.
    SERIAL_PORT_PutByte(kChannel, FRAME_FLAG);
    EXPECT_EQ(SERIAL_PORT_WriteEscaped(kChannel, body.data(), 0, 4095), 4096);
    EXPECT_EQ(SERIAL_PORT_Stats(kChannel).writes, 3u);
    int room = 0;
    SERIAL_PORT_TxSpace(kChannel, &room);
    EXPECT_EQ(room, 4095);
    SERIAL_PORT_Flush(kChannel);
    EXPECT_EQ(m_peer->ReadSome(2000), std::vector<uint8_t>(want.begin(), want.begin() + 4097));
}
