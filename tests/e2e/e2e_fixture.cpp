#include "tests/e2e/e2e_fixture.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "loader/link.h"

void FlashE2E::SetUp() {
    char templ[] = "/tmp/kovirw-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    m_dir = templ;
    DOWNLOAD_ClearImages();
}

void FlashE2E::TearDown() {
    DOWNLOAD_Stop();
    m_sim.Stop();
    std::string cmd = "rm -rf '" + m_dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

void FlashE2E::StartTerminals(int count, const std::vector<std::string>& faults) {
    termsim::Options options;
    options.count = count;
    options.firstCom = kFirstCom;
    options.portDir = m_ports.path();
    options.flashDir = m_dir + "/flash";
    options.baud = m_baud;
    for (const std::string& text : faults) {
        termsim::FaultSpec spec;
        std::string error;
        ASSERT_TRUE(termsim::ParseFaultSpec(text, &spec, &error)) << error;
        options.faults.push_back(spec);
    }
    std::string error;
    ASSERT_TRUE(m_sim.Start(options, &error)) << error;
}

std::string FlashE2E::MakeImage(const std::string& name, size_t size) {
    std::string path = m_dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    uint32_t x = 2166136261u;
    for (char ch : name) x = (x ^ static_cast<uint8_t>(ch)) * 16777619u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        std::fputc(static_cast<int>(x >> 24), f);
    }
    std::fclose(f);
    return path;
}

std::vector<uint8_t> FlashE2E::ReadFile(const std::string& path) {
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return data;
    int ch;
    while ((ch = std::fgetc(f)) != EOF) data.push_back(static_cast<uint8_t>(ch));
    std::fclose(f);
    return data;
}

void FlashE2E::Run(int channels) {
    int ports[CHANNEL_COUNT] = {};
    for (int c = 0; c < channels; ++c) ports[c] = kFirstCom + c;
    DOWNLOAD_Start(&m_events, WM_ENGINE_EVENT, ports, m_baud != 0 ? m_baud : 1382400);
    DOWNLOAD_Run();
    DOWNLOAD_Stop();
}

std::vector<uint8_t> FlashE2E::Flash(int terminal, uint32_t address) {
    EXPECT_TRUE(m_sim.WaitForSessions(terminal, 1, std::chrono::seconds(5)));
    for (const auto& range : m_sim.LastFlash(terminal))
        if (range.address == address) return range.bytes;
    ADD_FAILURE() << "terminal " << terminal << " has no range at 0x" << std::hex << address;
    return {};
}

std::vector<uint8_t> FlashE2E::Expected(const std::vector<uint8_t>& file, size_t offset,
                                        bool exact) {
    std::vector<uint8_t> out(file.begin() + static_cast<long>(offset), file.end());
    if (!exact) out.resize((out.size() + 16383) / 16384 * 16384, 0xFF);
    return out;
}

bool FlashE2E::ChannelDone(int channel) const {
    for (const auto& e : m_events.events())
        if (e.code == EV_CHANNEL_DONE && e.channel == channel) return true;
    return false;
}
