#include "tests/e2e/e2e_fixture.h"

#include <chrono>

Bytes FlashE2E::Flash(int terminal, uint32_t address) {
    EXPECT_TRUE(m_sim.WaitForSessions(terminal, 1, std::chrono::seconds(5)));
    for (const auto& range : m_sim.LastFlash(terminal))
        if (range.address == address) return range.bytes;
    ADD_FAILURE() << "terminal " << terminal << " has no range at 0x" << std::hex << address;
    return {};
}
