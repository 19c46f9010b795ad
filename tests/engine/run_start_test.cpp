// Run control without a terminal: the image table, a run without ports, and ports that do
// not exist (COM907 and COM909, which no system or port directory has) failing their open.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/download.h"
#include "serial/port_service.h"
#include "tests/support/event_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;

class RunStart : public ::testing::Test {
  protected:
    void SetUp() override { ResetEngine(); }
    void TearDown() override { DOWNLOAD_Stop(); }
    void Run(const int ports[CHANNEL_COUNT]) { RunDownload(m_events, ports); }

    EventRecorder m_events;
};

TEST_F(RunStart, SetImageParsesHexAddressesForAllChannels) {
    DOWNLOAD_ClearImages();
    EXPECT_EQ(DOWNLOAD_SetImage(9, "/x", "0"), -1);
    EXPECT_EQ(DOWNLOAD_SetImage(-1, "/x", "0"), -1);
    EXPECT_EQ(DOWNLOAD_SetImage(3, "/img/preload", "1A0000"), 3);
    EXPECT_EQ(DOWNLOAD_SetImage(4, "/img/boot", " 0xf000100zz"), 4);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        EXPECT_EQ(g_ImageTable[c][3].slot, 3);
        EXPECT_EQ(g_ImageTable[c][3].address, 0x001A0000u);
        EXPECT_STREQ(g_ImageTable[c][3].path, "/img/preload");
        EXPECT_EQ(g_ImageTable[c][4].address, 0xF000100u);
        EXPECT_EQ(g_ImageTable[c][2].slot, -1);
        EXPECT_EQ(g_ImageTable[c][2].address, 0xFFFFFFFFu);
    }
    // Texts without a digit or beyond 32 bits would flash to an undefined address: refused.
    EXPECT_EQ(DOWNLOAD_SetImage(5, "/img/code", "xyz"), -1);
    EXPECT_EQ(DOWNLOAD_SetImage(5, "/img/code", "0x"), 5);  // "%X" reads the 0
    EXPECT_EQ(g_ImageTable[0][5].address, 0u);
    EXPECT_EQ(DOWNLOAD_SetImage(6, "/img/font", "0123"), 6);  // a leading 0 is no "0x"
    EXPECT_EQ(g_ImageTable[0][6].address, 0x123u);
    EXPECT_EQ(DOWNLOAD_SetImage(6, "/img/font", "0X1f"), 6);
    EXPECT_EQ(g_ImageTable[0][6].address, 0x1Fu);
    EXPECT_EQ(DOWNLOAD_SetImage(6, "/img/font", "100000000"), -1);
    EXPECT_EQ(DOWNLOAD_SetImage(6, "/img/font", "0000FFFFFFFF"), 6);
    EXPECT_EQ(g_ImageTable[7][6].address, 0xFFFFFFFFu);
    EXPECT_EQ(g_ImageTable[0][7].slot, -1);

    DOWNLOAD_ClearImages();
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        for (int s = 0; s < IMAGE_SLOT_COUNT; ++s) EXPECT_EQ(g_ImageTable[c][s].path[0], '\0');
}

TEST_F(RunStart, NoPortsMeansNoWorkersAndAnImmediateEnd) {
    int ports[CHANNEL_COUNT] = {};
    auto start = Clock::now();
    Run(ports);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(m_events.events().empty());
}

TEST_F(RunStart, OnlyChannelsWithPortsRunAndMissingPortsFailOpen) {
    int ports[CHANNEL_COUNT] = {0, 0, 907, 0, 0, 909, 0, 0};
    Run(ports);
    for (int c : {2, 5}) {
        EXPECT_EQ(m_events.Texts(c), (std::vector<std::string>{"Download Start", "ERR: Open"}));
        EXPECT_EQ(g_nChannelPort[c], 0);
    }
    int logLines = 0;
    for (const auto& e : m_events.events()) {
        EXPECT_NE(e.code, EV_CHANNEL_DONE);
        if (e.code == EV_TEXT) {
            ++logLines;
            EXPECT_TRUE(e.text == "SERIAL_DEVICE_Open(COM907) Failed!" ||
                        e.text == "SERIAL_DEVICE_Open(COM909) Failed!");
        } else {
            EXPECT_TRUE(e.channel == 2 || e.channel == 5);
        }
    }
    EXPECT_EQ(logLines, 2);
}

}  // namespace
