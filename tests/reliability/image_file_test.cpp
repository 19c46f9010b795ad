// Hostile image files, end to end through the engine and simulated terminals: whatever the
// operator's file turns out to be, the channel says so in plain words and nothing wrong
// reaches the loader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "loader/loader_commands.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using ImageFileE2E = FlashE2E;

// A sparse file of `size` bytes: no disk space, but its length is what the engine sees.
std::string MakeSparse(const std::string& path, off_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, size), 0);
    ::close(fd);
    return path;
}

// The loader must see nothing but the channel's frame: UNLOCK, CLOSE, GO, and no flash.
void ExpectNothingSent(termsim::Simulator& sim, int terminal) {
    EXPECT_TRUE(sim.WaitForSessions(terminal, 1, std::chrono::seconds(5)));
    EXPECT_EQ(sim.Counters(terminal).packets, 3u);
    EXPECT_TRUE(sim.LastFlash(terminal).empty());
}

TEST_F(ImageFileE2E, WhatIsNoImageFileIsNamedAndNeverSent) {
    const std::string fifo = m_dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink(m_dir.File("gone").c_str(), m_dir.File("dangling").c_str()), 0);
    const std::string locked = Image("locked", 5000);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    // Files too large for the 32-bit byte counts, one just past them and one whose length
    // would look small when cut to 32 bits; last, a file without read permission (root reads
    // it all the same, so that row is left out for root).
    const std::string names[] = {m_dir.File("missing"),
                                 m_dir.Path(),
                                 fifo,
                                 "/dev/zero",
                                 m_dir.File("dangling"),
                                 MakeSparse(m_dir.File("huge"), off_t{1} << 31),
                                 MakeSparse(m_dir.File("wraps"), (off_t{1} << 32) + 5000),
                                 locked};
    const int channels = geteuid() == 0 ? 7 : 8;
    StartTerminals(channels);
    for (int c = 0; c < channels; ++c) Select(c, SLOT_MSM_FONT, names[c], 0x200000);
    const auto start = std::chrono::steady_clock::now();
    Run(channels);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // FIFO: no hang
    for (int c = 0; c < channels; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const auto texts = m_events.Texts(c);
        EXPECT_EQ(texts.back(), c == 5 || c == 6 ? "ERR: File Too Large" : "ERR: No File");
        EXPECT_TRUE(m_events.Has(c, EV_IMAGE_FAILED));
        EXPECT_FALSE(Done(c));
        ExpectNothingSent(m_sim, c);
    }
    // A file that could not be used keeps its path, so the operator sees what was meant.
    EXPECT_STREQ(g_ImageTable[0][SLOT_MSM_FONT].path, names[0].c_str());
}

TEST_F(ImageFileE2E, FileThatShrinksOrGrowsDuringTheRun) {
    StartTerminals(3);
    // Channel 0's file loses its tail, channel 1's is emptied, channel 2's grows: each
    // right before the first block is read.
    const size_t size = 5 * LOADER_BLOCK_SIZE;
    std::string paths[3];
    Bytes original[3];
    for (int c = 0; c < 3; ++c) {
        paths[c] = Image("img" + std::to_string(c), size);
        original[c] = ReadBytes(paths[c]);
        Select(c, SLOT_MSM_FONT, paths[c], 0x200000);
    }
    const off_t newSize[3] = {LOADER_BLOCK_SIZE + 100, 0, 9 * LOADER_BLOCK_SIZE};
    m_events.onEvent = [&paths, &newSize](const RecordedEvent& e) {
        if (e.text == "MSM FONT binary downloading.." && e.channel >= 0 && e.channel < 3) {
            EXPECT_EQ(truncate(paths[e.channel].c_str(), newSize[e.channel]), 0);
        }
    };
    Run(3);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_EQ(m_events.Texts(c).back(), "ERR: Read File");
        EXPECT_TRUE(m_events.Has(c, EV_IMAGE_FAILED));
        EXPECT_FALSE(Done(c));
        EXPECT_FALSE(HasText(m_events.Texts(c), "MSM FONT download complete! [1 sec]"));
    }
    // The block that the file lost part of is not sent: the first block only, then CLOSE, GO.
    EXPECT_TRUE(m_sim.WaitForSessions(0, 1, std::chrono::seconds(5)));
    EXPECT_EQ(m_sim.Counters(0).packets, 2u + 1u + 2u);
    // Only the size measured at the start goes out: five blocks, not nine.
    EXPECT_TRUE(Done(2));
    EXPECT_EQ(Flash(2, 0x200000), ExpectedFlash(original[2], 0, false));
    EXPECT_EQ(m_sim.Counters(2).packets, 2u + 5u + 2u);  // UNLOCK, ERASE, 5 WRITE, CLOSE, GO
}

TEST_F(ImageFileE2E, RangePastTheTopOfTheAddressSpaceIsRefused) {
    // 40000 bytes from 0xFFFFC000 would run past 0xFFFFFFFF, and the blocks after the first
    // would land at address 0: the channel must refuse before it erases anything. One block
    // that ends exactly at the top is fine.
    StartTerminals(2);
    Select(0, SLOT_MSM_FONT, Image("wraps", 40000), 0xFFFFC000u);
    const std::string top = Image("top", 16384);
    Select(1, SLOT_MSM_FONT, top, 0xFFFFC000u);
    Run(2);
    EXPECT_EQ(m_events.Texts(0).back(), "ERR: Address Overflow");
    EXPECT_TRUE(m_events.Has(0, EV_IMAGE_FAILED));
    ExpectNothingSent(m_sim, 0);
    EXPECT_TRUE(Done(1));
    EXPECT_EQ(Flash(1, 0xFFFFC000u), ExpectedFlash(ReadBytes(top), 0, false));
}

}  // namespace
