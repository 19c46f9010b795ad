// Answers that a loader or a noisy line gets wrong, answer by answer from a scripted loader
// or a simulated one: a channel may report success only when every block it sent was
// accepted, and nothing may be written into flash that the loader refused to erase.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loader/loader_commands.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/support/scripted_loader.h"

namespace {

class AnswerFaults : public FlashE2E {
  protected:
    // A Font image of two blocks on channel 0, flashed through a loader that answers as
    // `policy` says.
    void RunWith(ScriptedLoader::Policy policy) {
        m_loader = std::make_unique<ScriptedLoader>(kFirstCom, std::move(policy));
        m_peer.store(&m_loader->peer(), std::memory_order_release);
        DOWNLOAD_SetImage(SLOT_MSM_FONT, Image("font", 2 * LOADER_BLOCK_SIZE).c_str(), "200000");
        Run(1);
    }

    // Refuses every packet with `code` for reason 2 and accepts the rest.
    static ScriptedLoader::Policy Refusing(uint8_t code) {
        return [code](const std::vector<uint8_t>& body, int) {
            LoaderAnswer answer;
            if (body.size() > 1 && body[1] == code) answer = {true, NAK, 2};
            return answer;
        };
    }

    std::vector<uint8_t> Codes() const { return m_loader->Codes(); }
    std::string LastText() const { return m_events.Texts(0).back(); }

    std::unique_ptr<ScriptedLoader> m_loader;
    // For policies, which run on the loader's thread: the loader's end of the line.
    std::atomic<PtyPeer*> m_peer{nullptr};
};

TEST_F(AnswerFaults, DuplicatedAnswerCannotStandInForAMissingOne) {
    // The first block is answered twice and the last one not at all: the counts of packets
    // and answers agree, but the last block was never accepted.
    RunWith([this](const std::vector<uint8_t>& body, int index) {
        LoaderAnswer answer;
        if (index == 2) m_peer.load(std::memory_order_acquire)->Answer(body[0], ACK);
        if (index == 3) answer.send = false;
        return answer;
    });
    EXPECT_FALSE(Done(0));
    EXPECT_EQ(LastText().rfind("ERR: ", 0), 0u) << LastText();
    EXPECT_EQ(g_ImageTable[0][SLOT_MSM_FONT].ackedBytes, LOADER_BLOCK_SIZE);  // one block held
}

TEST_F(AnswerFaults, RefusedEraseGetsNoWriteButTheUsualFailureReport) {
    RunWith(Refusing(ERASE));
    EXPECT_FALSE(Done(0));
    EXPECT_EQ(m_events.Texts(0),
              (std::vector<std::string>{"Download Start", "MSM FONT area flash erasing..",
                                        "MSM FONT binary downloading..", "ERR: [0,1]"}));
    std::vector<int> codes;
    for (const auto& e : m_events.ForChannel(0))
        if (e.code != EV_CHANNEL_TEXT) codes.push_back(e.code);
    EXPECT_EQ(codes, (std::vector<int>{EV_PROGRESS, EV_IMAGE_FAILED}));
    m_loader->WaitForFrames(4);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{UNLOCK, ERASE, CLOSE, GO}));
}

TEST_F(AnswerFaults, TerminalSlowToProgramItsLastBlockIsWaitedFor) {
    RunWith([](const std::vector<uint8_t>&, int index) {
        if (index == 3) usleep(1500000);  // UNLOCK, ERASE, WRITE, then the last WRITE
        return LoaderAnswer{};
    });
    EXPECT_TRUE(Done(0)) << LastText();
}

TEST_F(AnswerFaults, StrayBytesDoNotShortenTheUnlockWait) {
    // A terminal that never answers UNLOCK but sends a stray byte every 0.1 ms: the unlock
    // and close waits (300 polls each) still last their time.
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop) {
            if (PtyPeer* peer = m_peer.load(std::memory_order_acquire)) peer->Write({0x00});
            usleep(100);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    RunWith([](const std::vector<uint8_t>& body, int) {
        return LoaderAnswer{body.size() > 1 && body[1] != UNLOCK};
    });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    stop = true;
    noise.join();
    EXPECT_EQ(LastText(), "ERR: Unlock");
    EXPECT_GE(elapsed, std::chrono::milliseconds(600));
}

TEST_F(AnswerFaults, RefusedUnlockIsNoUnlock) {
    RunWith(Refusing(UNLOCK));
    EXPECT_EQ(m_events.Texts(0), (std::vector<std::string>{"Download Start", "ERR: Unlock"}));
    m_loader->WaitForFrames(2);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{UNLOCK, CLOSE}));
}

}  // namespace
