// Run control and engine events: workers per channel with a port, events delivered on the
// console thread in order, channel stop and run stop ending workers promptly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "config/settings.h"
#include "core/event_queue.h"
#include "engine/download.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "loader/loader_testing.h"
#include "serial/port_service.h"
#include "tests/support/event_recorder.h"
#include "tests/support/scripted_loader.h"
#include "tests/support/test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

class RunControl : public ::testing::Test {
  protected:
    void SetUp() override {
        m_savedDelay = g_nWriteDelay;
        g_nWriteDelay = 0;
        ResetEngine();
    }
    void TearDown() override {
        DOWNLOAD_Stop();
        g_nWriteDelay = m_savedDelay;
    }
    void Run(const int ports[CHANNEL_COUNT]) { RunDownload(m_events, ports); }

    ScopedPortDir m_dir;
    ScratchDir m_images;
    EventRecorder m_events;
    int m_savedDelay = 2;
};

TEST_F(RunControl, OneImageRunReportsInOrderAndEndsWithTheSummary) {
    ScriptedLoader loader(3);
    const std::string font = MakeImage(m_images, "font.fnt", 40000);
    ASSERT_EQ(DOWNLOAD_SetImage(1, font.c_str(), "1A00000"), 1);
    int ports[CHANNEL_COUNT] = {0, 3};
    Run(ports);

    EXPECT_TRUE(loader.WaitForFrames(7));
    EXPECT_EQ(loader.Codes(), (std::vector<uint8_t>{0xA0, 0xEE, 0xDD, 0xDD, 0xDD, 0xC0, 0x90}));
    // Every WRITE carries a whole block: the short last one is padded with 0xFF.
    const Bytes file = ReadBytes(font);
    const Bytes flash = ExpectedFlash(file, 0, false);
    for (int k = 0; k < 3; ++k) {
        const Bytes body = loader.Bodies()[2 + k];
        ASSERT_EQ(body.size(), 8u + LOADER_BLOCK_SIZE + 2);
        const auto* data = flash.data() + k * LOADER_BLOCK_SIZE;
        EXPECT_EQ(Bytes(body.begin() + 8, body.end() - 2), Bytes(data, data + LOADER_BLOCK_SIZE));
    }
    auto events = m_events.ForChannel(1);
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].text, "Download Start");
    EXPECT_EQ(events[1].text, "MSM FONT area flash erasing..");
    EXPECT_EQ(events[2].text, "MSM FONT binary downloading..");
    EXPECT_EQ(events[3].code, EV_PROGRESS);
    EXPECT_EQ(events[3].totalBytes, 40000);
    EXPECT_EQ(events[3].doneBytes, 40000);
    EXPECT_EQ(events[3].text, "");  // the path is emptied once the file is open
    EXPECT_EQ(events[4].text, "MSM FONT download complete! [1 sec]");
    EXPECT_EQ(events[5].code, EV_CHANNEL_DONE);
    EXPECT_EQ(events[6].text, "1개 파일, 소요시간 : 0분 1초");
    EXPECT_EQ(g_nChannelPort[1], 0);
}

TEST_F(RunControl, RunStopFromAHandlerReleasesEveryWorker) {
    ScriptedLoader a(3, [](const std::vector<uint8_t>&, int) { return LoaderAnswer{false}; });
    ScriptedLoader b(4, [](const std::vector<uint8_t>&, int) { return LoaderAnswer{false}; });
    ScriptedLoader c(5, [](const std::vector<uint8_t>&, int) { return LoaderAnswer{false}; });
    bool stopped = false;
    m_events.onEvent = [&](const RecordedEvent&) {
        if (!stopped) {
            stopped = true;
            DOWNLOAD_Stop();  // the window is closed during the run
        }
    };
    int ports[CHANNEL_COUNT] = {3, 4, 5};
    auto start = Clock::now();
    DOWNLOAD_Start(&m_events, WM_ENGINE_EVENT, ports, 115200);
    DOWNLOAD_Run();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(g_nChannelPort[ch], 0);
    EXPECT_EQ(KOVIR_SendMessage(EV_TEXT, "late"), 0);
    EXPECT_EQ(m_events.events().size(), 1u);  // everything after the stop is dropped
}

TEST_F(RunControl, SecondRunStartsFromFreshState) {
    ScriptedLoader loader(1);  // COM1: the lowest port is a port like any other
    int ports[CHANNEL_COUNT] = {1};
    Run(ports);
    ASSERT_TRUE(loader.WaitForFrames(3));
    EXPECT_EQ(FN[0].tx_no, 3);
    const int firstRx = FN[0].rx_no;  // the answers to CLOSE and GO were never read
    Run(ports);
    EXPECT_EQ(FN[0].tx_no, firstRx + 3);  // counts go on from the answers seen
    EXPECT_EQ(m_events.Texts(0).back(), "0개 파일, 소요시간 : 0분 0초");
    EXPECT_TRUE(loader.WaitForFrames(6));
}

// The poll loop's pause: its whole period when nothing comes, over at once after a wake.
TEST(EventQueue, WaitLastsItsPeriodUnlessWoken) {
    EVENTS_WaitForPost(std::chrono::milliseconds(0));  // takes a wake left by an earlier test
    auto start = Clock::now();
    EVENTS_WaitForPost(std::chrono::milliseconds(100));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    EVENTS_Wake();
    start = Clock::now();
    EVENTS_WaitForPost(std::chrono::seconds(60));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));

    // One event sent ends it at once too (its sender waits until it is delivered).
    EventRecorder window;
    EVENTS_Register(&window, WM_ENGINE_EVENT);
    const int32_t channel = 2;
    std::thread sender([&channel] { KOVIR_SendMessage(EV_CHANNEL_DONE, &channel); });
    start = Clock::now();
    EVENTS_WaitForPost(std::chrono::seconds(60));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(EVENTS_DeliverPending(), 1);
    EXPECT_EQ(EVENTS_DeliverPending(), 0);
    // Sent on the console thread itself, an event runs its handler at once, and the handler
    // may use the queue (here it wakes the poll loop).
    window.onEvent = [](const RecordedEvent&) { EVENTS_Wake(); };
    const int32_t own = 3;
    KOVIR_SendMessage(EV_CHANNEL_DONE, &own);
    EXPECT_TRUE(window.Has(3, EV_CHANNEL_DONE));
    EVENTS_WaitForPost(std::chrono::milliseconds(0));  // takes that wake
    // A sender still waiting when the window goes away is released, its event undelivered.
    std::thread orphan([] {
        const int32_t c = 4;
        EXPECT_EQ(KOVIR_SendMessage(EV_CHANNEL_DONE, &c), 0);
    });
    EVENTS_WaitForPost(std::chrono::seconds(60));
    EVENTS_Unregister();
    orphan.join();
    sender.join();
    EXPECT_TRUE(window.Has(2, EV_CHANNEL_DONE));
    EXPECT_FALSE(window.Has(4, EV_CHANNEL_DONE));
}

}  // namespace
