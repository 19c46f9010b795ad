// Terminals flashed end to end: byte-exact results, the image rules, and every way a channel
// can fail without taking the others down or reporting a false success.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "loader/loader_commands.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

bool HasText(const std::vector<std::string>& texts, const std::string& text) {
    for (const auto& t : texts)
        if (t == text) return true;
    return false;
}

TEST_F(FlashE2E, EightChannelsWithDifferentImagesLandByteForByte) {
    StartTerminals(8);
    DOWNLOAD_SetImage(0, "-", "18000");
    DOWNLOAD_SetImage(2, "-", "1A00000");
    DOWNLOAD_SetImage(5, "-", "0xF000200");
    std::vector<std::vector<uint8_t>> code(8), data(8), asic(8);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        // Each channel gets its own files, of different sizes, straight into its table row.
        std::string n = std::to_string(c);
        std::string a = MakeImage("code" + n, 0x18000 + 70000 + 1000 * c);
        std::string b = MakeImage("data" + n, 16384 * (c + 1) - c);
        std::string d = MakeImage("asic" + n, 5000 + 333 * c);
        std::strcpy(g_ImageTable[c][0].path, a.c_str());
        std::strcpy(g_ImageTable[c][2].path, b.c_str());
        std::strcpy(g_ImageTable[c][5].path, d.c_str());
        code[c] = ReadFile(a);
        data[c] = ReadFile(b);
        asic[c] = ReadFile(d);
    }
    Run(8);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_TRUE(ChannelDone(c));
        EXPECT_EQ(m_events.Texts(c).back(), "3개 파일, 소요시간 : 0분 3초");
        EXPECT_EQ(Flash(c, 0x18000), Expected(code[c], 0x18000, false));
        EXPECT_EQ(Flash(c, 0x1A00000), Expected(data[c], 0, false));
        EXPECT_EQ(Flash(c, 0xF000200), Expected(asic[c], 0, false));
        EXPECT_TRUE(m_sim.LastErrors(c).empty());
    }
}

TEST_F(FlashE2E, ImageRulesForSizesSlotsAndTheCodeOffset) {
    StartTerminals(6);
    // One image per channel, each a rule of its own.
    struct Case {
        int slot;
        size_t size;
        const char* address;
        uint32_t flashAt;
        size_t fileOffset;
        bool exact;
    } cases[] = {
        {1, 1, "200000", 0x200000, 0, false},        // 1 byte: one padded block
        {2, 32768, "300000", 0x300000, 0, false},    // exactly two blocks
        {8, 20000, "0xF000500", 0xF000500, 0, true}, // DMB: exact length, short last block
        {0, 131072, "18000", 0x18000, 0x18000, false},  // Code skips the boot area
        {0, 40000, "0", 0x0, 0, false},              // Code from address 0: the whole file
        {3, 0, "400000", 0x400000, 0, false},        // empty file: ERASE 0, no WRITE
    };
    std::vector<std::vector<uint8_t>> files;
    for (int c = 0; c < 6; ++c) {
        const Case& k = cases[c];
        std::string path = MakeImage("img" + std::to_string(c), k.size);
        files.push_back(ReadFile(path));
        ImageEntry& e = g_ImageTable[c][k.slot];
        e.slot = k.slot;
        e.address = static_cast<uint32_t>(std::strtoul(k.address, nullptr, 16));
        std::strcpy(e.path, path.c_str());
    }
    Run(6);
    for (int c = 0; c < 6; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const Case& k = cases[c];
        EXPECT_TRUE(ChannelDone(c));
        EXPECT_EQ(Flash(c, k.flashAt), Expected(files[c], k.fileOffset, k.exact));
    }
    EXPECT_TRUE(HasText(m_events.Texts(2), "ASIC DMB Image pass complete! [1 sec]"));
    EXPECT_TRUE(HasText(m_events.Texts(2), "DMB Writing..."));
    EXPECT_TRUE(HasText(m_events.Texts(5), "MSM PRELOAD download complete! [1 sec]"));
    // Progress of the Code case counts the bytes after the offset only.
    for (const auto& e : m_events.ForChannel(3)) {
        if (e.code == EV_PROGRESS) {
            EXPECT_EQ(e.totalBytes, 131072 - 0x18000);
        }
    }
}

TEST_F(FlashE2E, MissingFileAndMissingPortSendNothing) {
    StartTerminals(1);
    DOWNLOAD_SetImage(1, (m_dir + "/nothing-here").c_str(), "1000");
    Run(2);  // channel 1 has COM12, which does not exist
    EXPECT_EQ(m_events.Texts(1), (std::vector<std::string>{"Download Start", "ERR: Open"}));
    auto texts = m_events.Texts(0);
    EXPECT_TRUE(HasText(texts, "ERR: No File"));
    EXPECT_FALSE(ChannelDone(0));
    EXPECT_TRUE(m_sim.WaitForSessions(0, 1, std::chrono::seconds(5)));
    EXPECT_TRUE(m_sim.LastFlash(0).empty());  // UNLOCK, CLOSE, GO only
    EXPECT_EQ(m_sim.Counters(0).packets, 3u);
    // The entry keeps the path of the file that could not be opened.
    EXPECT_STREQ(g_ImageTable[0][1].path, (m_dir + "/nothing-here").c_str());
}

TEST_F(FlashE2E, UnansweredUnlockPutsUnlockAndCloseOnTheLine) {
    StartTerminals(1, {"0:no-unlock"});
    DOWNLOAD_SetImage(1, MakeImage("font", 100).c_str(), "1000");
    Run(1);
    EXPECT_EQ(m_events.Texts(0), (std::vector<std::string>{"Download Start", "ERR: Unlock"}));
    for (int i = 0; i < 200 && m_sim.Counters(0).packets < 2; ++i) usleep(10000);
    EXPECT_EQ(m_sim.Counters(0).packets, 2u);
    EXPECT_EQ(m_sim.SessionCount(0), 0u);
}

TEST_F(FlashE2E, RefusedLastBlockIsResentAndTheImageLands) {
    // Three blocks: UNLOCK, ERASE, WRITE x3; the third WRITE is refused with reason 1 once.
    StartTerminals(1, {"0:nak-write:3:1"});
    std::string path = MakeImage("font", 16384 * 2 + 500);
    DOWNLOAD_SetImage(1, path.c_str(), "800000");
    Run(1);
    EXPECT_TRUE(ChannelDone(0));
    EXPECT_EQ(Flash(0, 0x800000), Expected(ReadFile(path), 0, false));
    EXPECT_EQ(m_sim.Counters(0).packets, 8u);  // UNLOCK, ERASE, 3 WRITE, resend, CLOSE, GO
    EXPECT_EQ(m_sim.Counters(0).faults[static_cast<int>(termsim::FaultKind::kNakWrite)], 1u);
}

TEST_F(FlashE2E, RefusalMidStreamHoldsTheWindowAndFailsTheChannel) {
    StartTerminals(1, {"0:nak-write:1:1"});
    DOWNLOAD_SetImage(1, MakeImage("font", 16384 * 8).c_str(), "800000");
    Run(1);
    EXPECT_FALSE(ChannelDone(0));
    const std::string last = m_events.Texts(0).back();
    EXPECT_EQ(last.rfind("ERR: [1,", 0), 0u) << last;
}

TEST_F(FlashE2E, OtherRefusalsAndDamagedAnswersFailTheImage) {
    // Channel 0: WRITE 2 refused for reason 5. Channel 1: the answer to packet 4 damaged.
    StartTerminals(2, {"0:nak-write:2:5", "1:bad-fcs:4"});
    DOWNLOAD_SetImage(1, MakeImage("font", 16384 * 6).c_str(), "800000");
    DOWNLOAD_SetImage(2, MakeImage("data", 1000).c_str(), "900000");
    Run(2);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_FALSE(ChannelDone(c));
        EXPECT_TRUE(HasText(m_events.Texts(c), "ERR: [0,1]"));
        bool failed = false;
        for (const auto& e : m_events.ForChannel(c)) failed |= e.code == EV_IMAGE_FAILED;
        EXPECT_TRUE(failed);
        // The images after the failed one are not attempted.
        EXPECT_FALSE(HasText(m_events.Texts(c), "MSM DATA area flash erasing.."));
    }
}

TEST_F(FlashE2E, LastBlockNeverConfirmedIsNoSuccess) {
    // Channel 0: the very last WRITE is refused (reason 2). Channel 1: the loader stops
    // answering after the second-to-last packet, so the last block's answer never comes.
    StartTerminals(2, {"0:nak-write:2:2", "1:stall:3"});
    std::string path = MakeImage("font", 16384 + 10);
    DOWNLOAD_SetImage(1, path.c_str(), "800000");
    Run(2);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_FALSE(ChannelDone(c));
        auto texts = m_events.Texts(c);
        EXPECT_EQ(texts.back().rfind("ERR: [", 0), 0u) << texts.back();
        for (const auto& t : texts) EXPECT_EQ(t.find("소요"), std::string::npos);
    }
    EXPECT_TRUE(HasText(m_events.Texts(0), "ERR: [0,1]"));
    EXPECT_TRUE(HasText(m_events.Texts(1), "ERR: [1,0]"));
}

TEST_F(FlashE2E, UnpluggedTerminalFailsOnlyItsChannel) {
    StartTerminals(3, {"1:unplug:40000"});
    std::string path = MakeImage("data", 16384 * 10);
    DOWNLOAD_SetImage(2, path.c_str(), "1A00000");
    Run(3);
    EXPECT_TRUE(ChannelDone(0));
    EXPECT_TRUE(ChannelDone(2));
    EXPECT_FALSE(ChannelDone(1));
    EXPECT_EQ(m_events.Texts(1).back().rfind("ERR: [", 0), 0u);
    EXPECT_EQ(Flash(0, 0x1A00000), Expected(ReadFile(path), 0, false));
    EXPECT_EQ(Flash(2, 0x1A00000), Expected(ReadFile(path), 0, false));
}

TEST_F(FlashE2E, DamagedAnswerToTheSecondEraseResendsNothing) {
    // Font (2 blocks), then Data: the answer to the Data ERASE (answer 5) is damaged. It
    // fails the Data image; the Font ERASE must not go out again over the finished Font image.
    StartTerminals(1, {"0:bad-fcs:5"});
    const std::string font = MakeImage("font", 2 * LOADER_BLOCK_SIZE);
    DOWNLOAD_SetImage(SLOT_MSM_FONT, font.c_str(), "200000");
    DOWNLOAD_SetImage(SLOT_MSM_DATA, MakeImage("data", 100).c_str(), "300000");
    Run(1);
    EXPECT_FALSE(ChannelDone(0));
    EXPECT_EQ(m_events.Texts(0).back(), "ERR: [0,1]");
    EXPECT_EQ(Flash(0, 0x200000), Expected(ReadFile(font), 0, false));
    EXPECT_EQ(m_sim.Counters(0).packets, 7u);  // UNLOCK, ERASE, 2 WRITE, ERASE, CLOSE, GO
}

class PacedLine : public FlashE2E, public ::testing::WithParamInterface<int> {
  protected:
    // Flashes `blocks` blocks at the parameter's rate and checks them byte for byte.
    void FlashAndCheck(int blocks) {
        const std::string path = MakeImage("font", blocks * LOADER_BLOCK_SIZE);
        DOWNLOAD_SetImage(SLOT_MSM_FONT, path.c_str(), "200000");
        Run(1);
        EXPECT_TRUE(ChannelDone(0)) << m_events.Texts(0).back();
        EXPECT_EQ(Flash(0, 0x200000), Expected(ReadFile(path), 0, false));  // GO arrived too
    }
};

TEST_P(PacedLine, EveryBlockIsConfirmedAtTheLowestAndHighestRate) {
    // At 115200 baud the last block needs 1.4 s of line time after it was written: the
    // confirmation wait must allow for it.
    m_baud = GetParam();
    StartTerminals(1);
    FlashAndCheck(2);
}

INSTANTIATE_TEST_SUITE_P(Rates, PacedLine, ::testing::Values(115200, 3000000));

// Over a real line: two serial adapters joined by a null-modem cable, named by
// KOVIRW_HW_PORTS="TERMINAL_DEVICE,FLASHER_DEVICE"; the simulated terminal serves on the
// first, the flasher opens the second. Skipped unless the variable names two devices.
using HardwareLine = PacedLine;

TEST_P(HardwareLine, FourBlocksLandByteForByte) {
    const char* env = std::getenv("KOVIRW_HW_PORTS");
    const std::string ports = env != nullptr ? env : "";
    const size_t comma = ports.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == ports.size())
        GTEST_SKIP() << "KOVIRW_HW_PORTS=TERMINAL_DEVICE,FLASHER_DEVICE names no null-modem pair";
    m_baud = GetParam();
    termsim::Options options;
    options.device = ports.substr(0, comma);
    options.baud = m_baud;
    options.firstCom = kFirstCom;
    options.portDir = m_ports.path();
    options.flashDir = m_dir + "/flash";
    std::string error;
    ASSERT_TRUE(m_sim.Start(options, &error)) << error;
    const std::string entry = m_ports.path() + "/COM" + std::to_string(kFirstCom);
    ASSERT_EQ(symlink(ports.substr(comma + 1).c_str(), entry.c_str()), 0) << entry;
    FlashAndCheck(4);
}

INSTANTIATE_TEST_SUITE_P(Rates, HardwareLine, ::testing::Values(115200, 1382400, 3000000));

TEST_F(FlashE2E, StopOfEightBusyChannelsReturnsAtOnceAndSendsNoMoreBlocks) {
    m_baud = 115200;  // slow enough that every channel has blocks queued when it is stopped
    StartTerminals(8);
    DOWNLOAD_SetImage(SLOT_MSM_FONT, MakeImage("font", 4 * LOADER_BLOCK_SIZE).c_str(), "200000");
    int writing = 0;
    std::vector<uint64_t> bytesAtStop, bytesLater;
    Clock::duration stopTime{};
    m_events.onEvent = [&](const RecordedEvent& e) {
        if (e.text != "MSM FONT binary downloading.." || ++writing < CHANNEL_COUNT) return;
        usleep(200000);  // let the first blocks fill the lines
        const auto start = Clock::now();
        DOWNLOAD_Stop();
        stopTime = Clock::now() - start;
        for (int i = 0; i < CHANNEL_COUNT; ++i) bytesAtStop.push_back(m_sim.Counters(i).bytesIn);
        usleep(1200000);  // a pseudo-terminal holds up to 11 KiB, 1 s of this line
        for (int i = 0; i < CHANNEL_COUNT; ++i) bytesLater.push_back(m_sim.Counters(i).bytesIn);
    };
    Run(CHANNEL_COUNT);
    ASSERT_EQ(bytesLater.size(), 8u);
    EXPECT_LT(stopTime, std::chrono::milliseconds(500));
    for (int i = 0; i < CHANNEL_COUNT; ++i) {
        // Only what the terminal's side had already taken in (a pseudo-terminal keeps up to
        // 4 KiB there, out of reach of a flush).
        EXPECT_LT(bytesLater[i] - bytesAtStop[i], 6000u) << "terminal " << i;
        EXPECT_FALSE(ChannelDone(i));
    }
}

TEST_F(FlashE2E, StoppedChannelEndsPromptly) {
    StartTerminals(2, {"0:slow-erase:60000"});
    DOWNLOAD_SetImage(1, MakeImage("font", 5000).c_str(), "800000");
    m_events.onEvent = [](const RecordedEvent& e) {
        if (e.channel == 0 && e.text == "MSM FONT area flash erasing..") DOWNLOAD_StopChannel(0);
    };
    const auto start = Clock::now();
    Run(2);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));  // the erase wait is 30000 polls
    EXPECT_TRUE(HasText(m_events.Texts(0), "ERR: Erase Flash"));
    EXPECT_TRUE(ChannelDone(1));
}

}  // namespace
