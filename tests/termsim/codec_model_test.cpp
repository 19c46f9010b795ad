// Host tests of the simulator's pieces that need no pseudo-terminal: wire codec, flash
// model and fault options.
#include <gtest/gtest.h>

#include "tests/support/deframe_vectors.h"
#include "tools/termsim/fault_options.h"
#include "tools/termsim/flash_model.h"
#include "tools/termsim/frame_codec.h"
#include "wire.h"

namespace {

using wire::Bytes;

struct Collect : termsim::FrameSink {
    std::vector<Bytes> bodies;
    void OnFrame(const uint8_t* body, size_t n) override { bodies.emplace_back(body, body + n); }
};

TEST(TermsimCodec, DeframerPassesTheSharedVectors) {
    CheckDeframeVectors(termsim::kMaxBody, [](const std::vector<Bytes>& pieces) {
        termsim::Deframer deframer;
        Collect sink;
        for (const Bytes& p : pieces) deframer.Feed(p.data(), p.size(), sink);
        return sink.bodies;
    });
}

// Bytes outside, resent and in conflict are the session test's; here erasing again and clearing.
TEST(TermsimFlashModel, ErasingAgainMakesBytesWritableAndClearingForgetsTheRanges) {
    termsim::FlashModel flash;
    ASSERT_EQ(termsim::FlashModel::EraseStatus::kOk, flash.Erase(0x1000, 16));
    const Bytes data{1, 2}, other{9, 2};
    EXPECT_EQ(0u, flash.Write(0x100E, data.data(), 2).conflicts);
    EXPECT_EQ(1u, flash.Write(0x100E, other.data(), 2).conflicts);
    flash.Erase(0x1008, 8);
    EXPECT_EQ(0u, flash.Write(0x100E, other.data(), 2).conflicts);
    flash.Clear();
    EXPECT_TRUE(flash.Snapshot().empty());
    EXPECT_EQ(2u, flash.Write(0x100E, other.data(), 2).outside);
}

TEST(TermsimFlashModel, RefusesImpossibleRangesAndStaysSparse) {
    termsim::FlashModel flash;
    EXPECT_EQ(termsim::FlashModel::EraseStatus::kWraps, flash.Erase(0xFFFFFF00, 0x200));
    EXPECT_EQ(termsim::FlashModel::EraseStatus::kTooLong,
              flash.Erase(0, termsim::FlashModel::kMaxEraseLength + 1));
    EXPECT_TRUE(flash.Ranges().empty());

    // A range at the very top of the address space, and a large one that is barely written.
    EXPECT_EQ(termsim::FlashModel::EraseStatus::kOk, flash.Erase(0xFFFFFFF0, 0x10));
    EXPECT_EQ(termsim::FlashModel::EraseStatus::kOk,
              flash.Erase(0x10000000, termsim::FlashModel::kMaxEraseLength));
    const Bytes data(32, 0x5A);
    auto st = flash.Write(0xFFFFFFF0, data.data(), 32);  // half runs off the top
    EXPECT_EQ(16u, st.outside);
    EXPECT_EQ(0u, flash.Write(0x10000000 + 12345, data.data(), 32).outside);
    uint8_t probe[3];
    flash.Read(0x10000000 + 12344, 3, probe);
    EXPECT_EQ((Bytes{0xFF, 0x5A, 0x5A}), Bytes(probe, probe + 3));
}

TEST(TermsimFlashModel, AsicAreasAreSeparateEvenWhenTheirNumbersAreClose) {
    termsim::FlashModel flash;
    const Bytes boot(20000, 0x11), code(30000, 0x22);
    flash.Erase(0xF000100, 32768);
    EXPECT_EQ(0u, flash.Write(0xF000100, boot.data(), 16384).outside);
    EXPECT_EQ(0u, flash.Write(0xF000100 + 16384, boot.data(), 3616).outside);
    flash.Erase(0xF000200, 32768);  // would wipe most of boot in a linear flash
    EXPECT_EQ(0u, flash.Write(0xF000200, code.data(), 16384).conflicts);
    auto ranges = flash.Snapshot();
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ(Bytes(ranges[0].bytes.begin(), ranges[0].bytes.begin() + 20000), boot);
    EXPECT_EQ(ranges[1].bytes[0], 0x22);
    EXPECT_EQ(ranges[1].bytes[16384], 0xFF);
    // Read by range: boot's second block lies under code's address, and stays boot's.
    uint8_t probe[4];
    flash.ReadRange(flash.Ranges()[0], 16384, 4, probe);
    EXPECT_EQ(Bytes(probe, probe + 4), Bytes(4, 0x11));
    // A write outside every area and the linear ranges is still caught.
    EXPECT_EQ(16u, flash.Write(0xF000100 + 40000, boot.data(), 16).outside);
}

TEST(TermsimFaultSpec, ParsesAllAndDefaultsAndRejectsNonsense) {
    termsim::FaultSpec spec;
    std::string error;
    // Terminal, kind, count and reason of "c:nak-write:K:R" and "c:delay:RATE:MS" show in the
    // end-to-end fault table.
    ASSERT_TRUE(termsim::ParseFaultSpec("all:drop:0.25", &spec, &error)) << error;
    EXPECT_EQ(-1, spec.terminal);
    ASSERT_TRUE(termsim::ParseFaultSpec("0:nak:1", &spec, &error)) << error;
    EXPECT_EQ(1, spec.reason);

    for (const char* bad :
         {"", "no-unlock", "x:no-unlock", "0:fly", "0:no-unlock:1", "0:nak-write:0",
          "0:nak-write:1:256", "0:bad-fcs", "0:drop:1.5", "0:drop:-0.1", "0:drop:nan",
          "0:delay:0.5", "0:stall:-1", "0:bit-errors:0.1x", "0:stall-random:0"}) {
        error.clear();
        EXPECT_FALSE(termsim::ParseFaultSpec(bad, &spec, &error)) << bad;
        EXPECT_NE(std::string::npos, error.find(bad)) << error;
    }
}

}  // namespace
