// Over a real line: two serial adapters joined by a null-modem cable, named by
// KOVIRW_HW_PORTS="TERMINAL_DEVICE,FLASHER_DEVICE". The simulated terminal serves on the
// first; the flasher opens the second as its COM port. Skipped unless the variable names two
// devices, so the suite runs on machines without adapters.
#include <unistd.h>

#include <cstdlib>

#include "loader/loader_commands.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

class HardwareLine : public FlashE2E, public ::testing::WithParamInterface<int> {};

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

    const std::string path = MakeImage("font", 4 * LOADER_BLOCK_SIZE);
    DOWNLOAD_SetImage(SLOT_MSM_FONT, path.c_str(), "200000");
    Run(1);
    EXPECT_TRUE(ChannelDone(0)) << m_events.Texts(0).back();
    EXPECT_EQ(Flash(0, 0x200000), Expected(ReadFile(path), 0, false));  // GO arrived too
    EXPECT_TRUE(m_sim.LastErrors(0).empty());
}

INSTANTIATE_TEST_SUITE_P(Rates, HardwareLine, ::testing::Values(115200, 1382400, 3000000));

}  // namespace
