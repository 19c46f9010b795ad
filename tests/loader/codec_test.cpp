// Byte-vector tests of the pure codec: CRC-16/X.25, escaping, deframing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loader/crc16.h"
#include "loader/frame_codec.h"
#include "loader/loader_testing.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& body) {
    Bytes out(FRAME_MaxEncodedSize(static_cast<int>(body.size())));
    out.resize(FRAME_Encode(body.data(), 0, static_cast<int>(body.size()), out.data()));
    return out;
}

struct Collector {
    std::vector<Bytes> bodies;
    static void Sink(void* context, const uint8_t* body, int length) {
        static_cast<Collector*>(context)->bodies.emplace_back(body, body + length);
    }
};

std::vector<Bytes> Deframe(Deframer& d, const Bytes& stream) {
    Collector c;
    DEFRAMER_Feed(d, stream.data(), 0, static_cast<int>(stream.size()), Collector::Sink, &c);
    return c.bodies;
}

std::vector<Bytes> Deframe(const Bytes& stream) {
    static Deframer d;
    DEFRAMER_Reset(d);
    return Deframe(d, stream);
}

TEST(Crc16, CheckValueTableAndKnownFrames) {
    const char* digits = "123456789";
    EXPECT_EQ(CRC16_Compute(reinterpret_cast<const uint8_t*>(digits), 9), 0x906E);
    EXPECT_EQ(CRC16_Table[0], 0x0000u);
    EXPECT_EQ(CRC16_Table[1], 0x1189u);
    EXPECT_EQ(CRC16_Table[128], 0x8408u);

    // UNLOCK with sequence 1: the FCS covers the code only and is stored low byte first.
    uint8_t unlock[4] = {0x01, 0xA0, 0, 0};
    uint32_t crc = 0;
    CRC16_Append(crc, unlock, 1, 1);
    EXPECT_EQ(unlock[2], 0x72);
    EXPECT_EQ(unlock[3], 0x55);

    // ACK body 01 02 6A D3: valid, and still valid with another sequence byte.
    uint8_t ack[4] = {0x01, 0x02, 0x6A, 0xD3};
    EXPECT_TRUE(CRC16_Check(crc, ack, 1, 3));
    ack[0] = 0x02;
    EXPECT_TRUE(CRC16_Check(crc, ack, 1, 3));
    ack[3] ^= 0x80;
    EXPECT_FALSE(CRC16_Check(crc, ack, 1, 3));
}

TEST(FrameEncode, EscapesOnlyFlagAndEscapeBytes) {
    EXPECT_EQ(Encode({0x01, 0xA0, 0x72, 0x55}), (Bytes{0x7E, 0x01, 0xA0, 0x72, 0x55, 0x7E}));
    EXPECT_EQ(Encode({0x01, 0x7E, 0x7D, 0x20, 0x5E, 0x55, 0xAA}),
              (Bytes{0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x20, 0x5E, 0x55, 0xAA, 0x7E}));
    // Control characters go out unchanged: there is no control-character map.
    EXPECT_EQ(Encode({0x00, 0x11, 0x13, 0x1F}), (Bytes{0x7E, 0x00, 0x11, 0x13, 0x1F, 0x7E}));
}

TEST(Deframer, StreamsFromTheProtocolDescription) {
    EXPECT_EQ(Deframe({0x00, 0x11, 0x7E, 0x7E, 0x7E, 0x05, 0x7E}), (std::vector<Bytes>{{0x05}}));
    EXPECT_EQ(Deframe({0x7E, 0x12, 0x7D, 0x7E, 0x34, 0x7E}),
              (std::vector<Bytes>{{0x12, 0x5E, 0x34}}));
    // A closing flag goes back to Hunt: a flag shared by two frames loses the second one.
    EXPECT_EQ(Deframe({0x7E, 0xA1, 0x7E, 0xA2, 0x7E, 0xA3, 0x7E}),
              (std::vector<Bytes>{{0xA1}, {0xA3}}));

    Deframer d;
    DEFRAMER_Reset(d);
    EXPECT_TRUE(Deframe(d, {0x7E, 0x7E}).empty());
    EXPECT_EQ(d.state, DEFRAME_OPENED);
}

TEST(Deframer, FrameSplitAcrossReadsAtEveryPosition) {
    const Bytes body = {0x01, 0x7E, 0x7D, 0x02, 0x6A, 0xD3};
    const Bytes wire = Encode(body);
    for (size_t cut = 0; cut <= wire.size(); ++cut) {
        Deframer d;
        DEFRAMER_Reset(d);
        auto first = Deframe(d, Bytes(wire.begin(), wire.begin() + static_cast<long>(cut)));
        auto second = Deframe(d, Bytes(wire.begin() + static_cast<long>(cut), wire.end()));
        first.insert(first.end(), second.begin(), second.end());
        ASSERT_EQ(first, std::vector<Bytes>{body}) << "cut at " << cut;
    }
}

TEST(Deframer, RoundTripsEveryByteValueAndBackToBackFrames) {
    Bytes body;
    for (int i = 0; i < 256; ++i) body.push_back(static_cast<uint8_t>(i));
    Bytes wire = Encode(body);
    Bytes twice = wire;
    twice.insert(twice.end(), wire.begin(), wire.end());
    EXPECT_EQ(Deframe(twice), (std::vector<Bytes>{body, body}));
}

TEST(Deframer, OneFlippedBitInEveryByteNeverPassesTheCheck) {
    // A WRITE-like body with a valid FCS; flip each bit of each body byte on the wire and
    // check that what arrives is either dropped, split, or fails the FCS.
    Bytes body = {0x02, 0xDD, 0x00, 0x80, 0x01, 0x00, 0x04, 0x00, 0x7E, 0x7D, 0x55, 0xAA};
    uint16_t fcs = CRC16_Compute(body.data() + 1, body.size() - 1);
    body.push_back(static_cast<uint8_t>(fcs));
    body.push_back(static_cast<uint8_t>(fcs >> 8));
    const Bytes wire = Encode(body);
    int checked = 0;
    for (size_t i = 1; i + 1 < wire.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes damaged = wire;
            damaged[i] ^= static_cast<uint8_t>(1 << bit);
            for (const Bytes& got : Deframe(damaged)) {
                if (got.size() < 3) continue;  // too short: ignored by the link layer
                uint32_t crc = 0;
                EXPECT_FALSE(got == body) << "byte " << i << " bit " << bit;
                // Only the sequence byte lies outside the FCS.
                if (got.size() == body.size() &&
                    std::equal(got.begin() + 1, got.end(), body.begin() + 1))
                    continue;
                EXPECT_FALSE(CRC16_Check(crc, got.data(), 1, static_cast<int>(got.size()) - 1))
                    << "byte " << i << " bit " << bit;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 80);
}

TEST(Deframer, OverlongRunIsDroppedWithoutOverrun) {
    Deframer d;
    DEFRAMER_Reset(d);
    Bytes noise(FRAME_BODY_SIZE + 100, 0x11);
    noise.insert(noise.begin(), 0x7E);
    EXPECT_TRUE(Deframe(d, noise).empty());
    EXPECT_EQ(d.state, DEFRAME_HUNT);
    // The line recovers with the next complete frame.
    EXPECT_EQ(Deframe(d, {0x7E, 0x7E, 0x01, 0x02, 0x6A, 0xD3, 0x7E}),
              (std::vector<Bytes>{{0x01, 0x02, 0x6A, 0xD3}}));

    // A body of exactly the buffer size still arrives whole.
    DEFRAMER_Reset(d);
    Bytes full(FRAME_BODY_SIZE, 0x33);
    EXPECT_EQ(Deframe(d, Encode(full)), std::vector<Bytes>{full});
}

}  // namespace
