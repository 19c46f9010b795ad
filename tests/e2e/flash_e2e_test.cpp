// Terminals flashed end to end: byte-exact results, the image rules, and every way a channel
// can fail without taking the others down or reporting a false success.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "loader/loader_commands.h"
#include "serial/port_service.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// One channel per row, each with its own files straight in its table row: the image rules
// for sizes, slots and the Code offset, and an ASIC Code image after each, byte for byte.
TEST_F(FlashE2E, EachChannelsImagesLandByTheRulesOfTheirSlots) {
    const struct {
        int slot;
        size_t size;
        uint32_t address;
        size_t fileOffset;
    } rows[] = {
        {1, 1, 0x200000, 0},               // 1 byte: one padded block
        {2, 32768, 0x300000, 0},           // exactly two blocks
        {8, 20000, 0xF000500, 0},          // DMB: exact length, short last block
        {0, 131072, 0x18000, 0x18000},     // Code skips the boot area
        {0, 40000, 0x0, 0},                // Code from address 0: the whole file
        {3, 0, 0x400000, 0},               // empty file: ERASE 0, no WRITE
        {0, 0x18000, 0x18000, 0x18000},    // Code of the boot area only: nothing
        {2, 16384 * 7 - 7, 0x1A00000, 0},  // a short last block after six whole ones
    };
    StartTerminals(CHANNEL_COUNT);
    std::vector<Bytes> files, asic;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        const std::string path = Image("img" + std::to_string(c), rows[c].size);
        const std::string second = Image("asic" + std::to_string(c), 5000 + 333 * c);
        files.push_back(ReadBytes(path));
        asic.push_back(ReadBytes(second));
        Select(c, rows[c].slot, path, rows[c].address);
        Select(c, SLOT_ASIC_CODE, second, 0xF000200);
    }
    Run(CHANNEL_COUNT);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_TRUE(Done(c));
        EXPECT_EQ(m_events.Texts(c).back(), "2개 파일, 소요시간 : 0분 2초");
        const bool exact = rows[c].slot == SLOT_ASIC_DMB;
        EXPECT_EQ(Flash(c, rows[c].address), ExpectedFlash(files[c], rows[c].fileOffset, exact));
        EXPECT_EQ(Flash(c, 0xF000200), ExpectedFlash(asic[c], 0, false));
        EXPECT_TRUE(m_sim.LastErrors(c).empty());
    }
    EXPECT_TRUE(HasText(m_events.Texts(2), "ASIC DMB Image pass complete! [1 sec]"));
    EXPECT_TRUE(HasText(m_events.Texts(2), "DMB Writing..."));
    EXPECT_TRUE(HasText(m_events.Texts(5), "MSM PRELOAD download complete! [1 sec]"));
    // Progress of the Code case counts the bytes after the offset only.
    for (const auto& e : m_events.ForChannel(3)) {
        if (e.code == EV_PROGRESS && e.slot == SLOT_MSM_CODE) {
            EXPECT_EQ(e.totalBytes, 131072 - 0x18000);
        }
    }
}

// One channel per row, all in one run: how each line fault ends its channel, and that it
// ends only its own.
TEST_F(FlashE2E, EachFaultEndsItsChannelAsItMust) {
    constexpr size_t B = LOADER_BLOCK_SIZE;
    struct Row {
        const char* fault;
        size_t size;    // of the Font image at 0x200000
        bool withData;  // a Data image of 100 bytes at 0x300000 follows
        bool done;
        const char* last;  // how the channel's last text starts
        uint64_t packets;  // the loader's count, 0: not checked
        bool lands;        // the Font image stands in flash after a complete session
    } rows[] = {
        // Every answer 3 s late, past the unlock wait: UNLOCK and CLOSE go out, nothing else.
        {"delay:1:3000", 100, false, false, "ERR: Unlock", 2, false},
        // The last of three WRITEs refused for reason 1 once: resent, and the image lands.
        {"nak-write:3:1", 2 * B + 500, false, true, "", 8, true},
        {"nak-write:1:1", 8 * B, true, false, "ERR: [1,", 0, false},      // holds the window
        {"nak-write:2:2", B + 10, false, false, "ERR: [0,1]", 0, false},  // last WRITE refused
        {"stall:3", B + 10, false, false, "ERR: [1,0]", 0, false},        // last answer never comes
        // Pulled out: a write fails ("ERR: Port Write"), or the window waits in vain.
        {"unplug:40000", 10 * B, false, false, "ERR: ", 0, false},
        // The answer to the Data ERASE damaged: the Font ERASE must not go out again.
        {"bad-fcs:5", 2 * B, true, false, "ERR: [0,1]", 7, true},
        // CLOSE and GO never carried out: done all the same, the image in flash.
        {"stall:3", 5000, false, true, "", 0, false},
    };
    std::vector<std::string> faults;
    std::vector<Bytes> fonts;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        faults.push_back(std::to_string(c) + ":" + rows[c].fault);
        const std::string font = Image("font" + std::to_string(c), rows[c].size);
        fonts.push_back(ReadBytes(font));
        Select(c, SLOT_MSM_FONT, font, 0x200000);
        if (rows[c].withData) Select(c, SLOT_MSM_DATA, Image("data", 100), 0x300000);
    }
    StartTerminals(CHANNEL_COUNT, faults);
    Run(CHANNEL_COUNT);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        const Row& row = rows[c];
        SCOPED_TRACE(std::string("channel ") + std::to_string(c) + ", " + row.fault);
        const auto texts = m_events.Texts(c);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(Done(c), row.done);
        EXPECT_EQ(texts.back().rfind(row.last, 0), 0u) << texts.back();
        size_t summaries = 0;  // the closing "n개 파일, 소요시간" comes with success only
        for (const auto& t : texts) summaries += t.find("소요") != std::string::npos;
        EXPECT_EQ(summaries, row.done ? 1u : 0u);
        if (row.packets != 0) {
            for (int i = 0; i < 200 && m_sim.Counters(c).packets < row.packets; ++i) usleep(10000);
            EXPECT_EQ(m_sim.Counters(c).packets, row.packets);
        }
        if (row.lands) {
            EXPECT_EQ(Flash(c, 0x200000), ExpectedFlash(fonts[c], 0, false));
        }
    }
    // A failed image ends the channel: the image after it is not attempted.
    EXPECT_TRUE(m_events.Has(2, EV_IMAGE_FAILED));
    EXPECT_FALSE(HasText(m_events.Texts(2), "MSM DATA area flash erasing.."));
    m_sim.Stop();  // what the stalled loader of channel 7 holds shows once stopped
    EXPECT_EQ(m_sim.SessionCount(7), 0u);
    const auto held = m_sim.CurrentFlash(7);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].bytes, ExpectedFlash(fonts[7], 0, false));
}

class PacedLine : public FlashE2E, public ::testing::WithParamInterface<int> {
  protected:
    // Flashes `blocks` blocks at the parameter's rate and checks them byte for byte.
    void FlashAndCheck(int blocks) {
        const std::string path = Image("font", blocks * LOADER_BLOCK_SIZE);
        DOWNLOAD_SetImage(SLOT_MSM_FONT, path.c_str(), "200000");
        Run(1);
        EXPECT_TRUE(Done(0)) << m_events.Texts(0).back();
        EXPECT_EQ(Flash(0, 0x200000), ExpectedFlash(ReadBytes(path), 0, false));  // GO arrived too
    }
};

TEST_P(PacedLine, EveryBlockIsConfirmedAtTheLowestAndHighestRate) {
    // At 9600 baud a block needs 17 s of line time after it was written, far beyond the
    // polls of any wait and the time allowed for programming it: the waits must allow for it.
    m_baud = GetParam();
    StartTerminals(1);
    FlashAndCheck(1);
}

INSTANTIATE_TEST_SUITE_P(Rates, PacedLine, ::testing::Values(9600, 3000000));

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
    termsim::Options options =
        SimOptions(1, kFirstCom, m_ports.path(), m_dir.File("flash"), {}, 0, m_baud);
    options.device = ports.substr(0, comma);
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
    DOWNLOAD_SetImage(SLOT_MSM_FONT, Image("font", 4 * LOADER_BLOCK_SIZE).c_str(), "200000");
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
        EXPECT_FALSE(Done(i));
    }
}

// Whether this process holds the file open.
bool HeldOpen(const std::string& path) {
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error))
        if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
    return false;
}

TEST_F(FlashE2E, StoppedChannelEndsPromptly) {
    StartTerminals(2, {"0:slow-erase:60000"});
    const std::string font = Image("font", 5000);
    DOWNLOAD_SetImage(1, font.c_str(), "800000");
    m_events.onEvent = [](const RecordedEvent& e) {
        if (e.channel == 0 && e.text == "MSM FONT area flash erasing..") DOWNLOAD_StopChannel(0);
    };
    const auto start = Clock::now();
    Run(2);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));  // the erase wait is 30000 polls
    EXPECT_EQ(m_events.Texts(0).back(), "ERR: Erase Flash");
    EXPECT_EQ(g_nChannelPort[0], 0);
    EXPECT_FALSE(HeldOpen(font));  // the failed image's file is closed
    EXPECT_TRUE(Done(1));
}

}  // namespace
