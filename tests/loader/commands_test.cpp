// Loader commands: packet layouts on the wire, the waits and their failure paths.
#include <thread>

#include "loader/crc16.h"
#include "tests/loader/link_fixture.h"

namespace {

using LoaderCommands = LinkFixture;
using Bytes = std::vector<uint8_t>;

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

bool FcsOk(const Bytes& body) {
    uint32_t crc = 0;
    return CRC16_Check(crc, body.data(), 1, static_cast<int>(body.size()) - 1);
}

TEST_F(LoaderCommands, PacketLayoutsAreLittleEndianWithFcs) {
    LinkResetCounters(kChannel);
    ASSERT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0x18000, 3,
                                     reinterpret_cast<const uint8_t*>("\x7E\x00\x7D")),
              1);
    auto frames = m_peer->ReadFrames(1, 2000);
    ASSERT_EQ(frames.size(), 1u);
    const Bytes& w = frames[0];
    ASSERT_EQ(w.size(), 1u + 1 + 4 + 2 + 3 + 2);
    EXPECT_EQ(w[1], WRITE);
    EXPECT_EQ(Bytes(w.begin() + 2, w.begin() + 6), (Bytes{0x00, 0x80, 0x01, 0x00}));
    EXPECT_EQ(w[6], 3);
    EXPECT_EQ(w[7], 0);
    EXPECT_EQ(Bytes(w.begin() + 8, w.begin() + 11), (Bytes{0x7E, 0x00, 0x7D}));
    EXPECT_TRUE(FcsOk(w));

    // A full block is a 16394-byte body and fits its buffer. It is larger than the
    // pseudo-terminal's buffer, so the peer reads while the engine writes.
    Bytes block(LOADER_BLOCK_SIZE, 0x5A);
    std::thread reader([&] { frames = m_peer->ReadFrames(1, 3000); });
    ASSERT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0xF000100, LOADER_BLOCK_SIZE, block.data()), 1);
    reader.join();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 16394u);
    EXPECT_EQ(Le32(frames[0], 2), 0xF000100u);
    EXPECT_TRUE(FcsOk(frames[0]));

    // Out-of-range lengths send nothing.
    EXPECT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0, 0, block.data()), 0);
    EXPECT_EQ(FLASH_DOWNLOADER_Write(kChannel, 0, LOADER_BLOCK_SIZE + 1, block.data()), 0);
    EXPECT_TRUE(m_peer->ReadSome(100).empty());
    EXPECT_EQ(fn().tx_no, 2);
}

TEST_F(LoaderCommands, EraseOfZeroBytesIsSentAsSuchAndWaitsForItsAnswer) {
    LinkResetCounters(kChannel);
    std::thread loader([this] {
        auto frames = m_peer->ReadFrames(1, 3000);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0][1], ERASE);
        EXPECT_EQ(Le32(frames[0], 2), 0x1A0000u);
        EXPECT_EQ(Le32(frames[0], 6), 0u);
        m_peer->Answer(frames[0][0], ACK);
    });
    EXPECT_EQ(FLASH_DOWNLOADER_Erase(kChannel, 0x1A0000, 0), 1);
    loader.join();
}

TEST_F(LoaderCommands, CloseAfterWindowTimeOutSkipsTheDrain) {
    LinkResetCounters(kChannel);
    FN[kChannel].tx_timeout = 1;
    FN[kChannel].error_no = 0;  // would be resent by a drain
    EXPECT_EQ(FLASH_DOWNLOADER_Close(kChannel), 0);
    auto frames = m_peer->ReadFrames(2, 300);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][1], CLOSE);
}

TEST_F(LoaderCommands, CloseReportsWhetherTheLastBlocksWereAnswered) {
    LinkResetCounters(kChannel);
    Bytes block(100, 0x11);
    FLASH_DOWNLOADER_Write(kChannel, 0, 100, block.data());
    ASSERT_EQ(m_peer->ReadFrames(1, 2000).size(), 1u);
    m_peer->Answer(0, ACK);
    EXPECT_EQ(FLASH_DOWNLOADER_Close(kChannel), 1);

    LinkResetCounters(kChannel);
    FLASH_DOWNLOADER_Write(kChannel, 0, 100, block.data());
    EXPECT_EQ(FLASH_DOWNLOADER_Close(kChannel), 0);  // the loader never answered
    EXPECT_EQ(fn().tx_timeout, 1);
}

}  // namespace
