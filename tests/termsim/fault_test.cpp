// The random fault kinds do what they say, and do it the same way for a seed.
#include <filesystem>

#include "support.h"

namespace {

using namespace std::chrono_literals;
using termsim::FaultKind;
using wire::Bytes;

// Packets told apart by their (unknown) code, so the answers say which packet they answer.
Bytes Numbered(int count) {
    Bytes stream;
    for (int i = 0; i < count; ++i) {
        const Bytes f =
            wire::Frame(static_cast<uint8_t>(i & 3), {static_cast<uint8_t>(0x10 + i), 0x55});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    return stream;
}

uint64_t Faults(const termsim::TerminalCounters& c, FaultKind kind) {
    return c.faults[static_cast<int>(kind)];
}

// What a terminal with random line faults answers to a fixed stream of packets.
struct Outcome {
    Bytes received;
    termsim::TerminalCounters counters;
};

Outcome RunRandom(const std::vector<std::string>& faults, uint64_t seed, int packets = 60) {
    ScratchDir dir;
    termsim::Simulator sim;
    std::string error;
    EXPECT_TRUE(sim.Start(SimOptions(2, 1, dir.Path(), "", faults, seed), &error)) << error;
    PortClient port(sim.SlavePath(1));
    const Bytes stream = Numbered(packets);
    EXPECT_TRUE(port.Send(stream));
    // Once every byte is handled, every answer it caused has been written.
    EXPECT_TRUE(WaitUntil([&] { return sim.Counters(1).bytesIn == stream.size(); }));
    Outcome out;
    EXPECT_TRUE(WaitUntil([&] {
        const Bytes more = port.Drain(20ms);
        out.received.insert(out.received.end(), more.begin(), more.end());
        return out.received.size() == sim.Counters(1).bytesOut;
    }));
    sim.Stop();
    out.counters = sim.Counters(1);
    return out;
}

TEST(TermsimRandomFaults, DropDupAndNakDoWhatTheySay) {
    const Outcome drop = RunRandom({"1:drop:0.3"}, 5);
    const uint64_t dropped = Faults(drop.counters, FaultKind::kDrop);
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(60u - dropped, wire::ParseAnswers(drop.received).size());

    const Outcome dup = RunRandom({"1:dup:0.3"}, 5);
    const uint64_t doubled = Faults(dup.counters, FaultKind::kDup);
    EXPECT_GT(doubled, 0u);
    const auto dupAnswers = wire::ParseAnswers(dup.received);
    EXPECT_EQ(60u + doubled, dupAnswers.size());
    size_t twins = 0;
    for (size_t i = 1; i < dupAnswers.size(); ++i)
        twins += dupAnswers[i].answered == dupAnswers[i - 1].answered;
    EXPECT_EQ(doubled, twins);

    const Outcome nak = RunRandom({"1:nak:0.5:9"}, 5);
    size_t refused = 0;
    for (const auto& a : wire::ParseAnswers(nak.received)) {
        if (a.code == 0x03) {
            ++refused;
            EXPECT_EQ(9, a.reason);
        }
    }
    EXPECT_GT(refused, 0u);
    EXPECT_EQ(Faults(nak.counters, FaultKind::kNak), refused);
    EXPECT_EQ(60u - refused, nak.counters.protocolErrors);  // refused packets are not carried out
}

TEST(TermsimRandomFaults, BitErrorsHitBothDirections) {
    const Outcome noisy = RunRandom({"1:bit-errors:0.02"}, 9, 120);
    const uint64_t flips = Faults(noisy.counters, FaultKind::kBitErrors);
    EXPECT_GT(flips, 0u);
    const auto answers = wire::ParseAnswers(noisy.received);
    size_t damagedAnswers = 0;
    size_t resendAsks = 0;
    for (const auto& a : answers) {
        damagedAnswers += a.length != 6 || !a.fcsOk;
        resendAsks += a.fcsOk && a.code == 0x03 && a.reason == 1;
    }
    EXPECT_GT(damagedAnswers, 0u);
    EXPECT_GT(resendAsks, 0u);
    EXPECT_LE(resendAsks, noisy.counters.badFcs);  // a damaged answer may hide a refusal
}

TEST(TermsimRandomFaults, SameSeedSameRunOtherSeedOtherRun) {
    const std::vector<std::string> faults = {"1:bit-errors:0.01", "1:drop:0.2", "1:dup:0.2",
                                             "1:nak:0.2:1"};
    const Outcome a = RunRandom(faults, 1234);
    const Outcome b = RunRandom(faults, 1234);
    const Outcome c = RunRandom(faults, 4321);
    EXPECT_EQ(a.received, b.received);
    for (int k = 0; k < termsim::kFaultKindCount; ++k)
        EXPECT_EQ(a.counters.faults[k], b.counters.faults[k]);
    EXPECT_NE(a.received, c.received);
    // Another terminal index draws other dice from the same seed.
    const Outcome otherTerminalOnly = RunRandom({"0:drop:0.2"}, 1234);
    EXPECT_EQ(0u, Faults(otherTerminalOnly.counters, FaultKind::kDrop));
}

TEST(TermsimRandomFaults, RandomStallAndUnplugComeWithinTheirBoundsReproducibly) {
    const Outcome stall = RunRandom({"1:stall-random:20"}, 77);
    const size_t answered = wire::ParseAnswers(stall.received).size();
    EXPECT_GE(answered, 1u);
    EXPECT_LE(answered, 20u);
    EXPECT_EQ(60u - answered, Faults(stall.counters, FaultKind::kStallRandom));
    EXPECT_EQ(answered, wire::ParseAnswers(RunRandom({"1:stall-random:20"}, 77).received).size());

    // The port vanishes before all is sent, so this one is run by hand.
    auto unplugAt = [](uint64_t seed) {
        ScratchDir dir;
        termsim::Simulator sim;
        std::string error;
        EXPECT_TRUE(
            sim.Start(SimOptions(1, 1, dir.Path(), "", {"0:unplug-random:100"}, seed), &error))
            << error;
        PortClient port(sim.SlavePath(0));
        port.Send(Numbered(30));
        EXPECT_TRUE(WaitUntil([&] { return sim.Counters(0).unplugged; }));
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.EntryPath(0))));
        return sim.Counters(0).bytesIn;
    };
    const uint64_t at = unplugAt(3);
    EXPECT_GE(at, 1u);
    EXPECT_LE(at, 100u);
    EXPECT_EQ(at, unplugAt(3));
}

}  // namespace
