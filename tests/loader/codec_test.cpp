// Byte-vector tests of the pure codec: CRC-16/X.25, escaping, deframing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loader/crc16.h"
#include "loader/frame_codec.h"
#include "loader/loader_testing.h"
#include "tests/support/deframe_vectors.h"

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

std::vector<Bytes> Deframe(const Bytes& stream) {
    static Deframer d;
    DEFRAMER_Reset(d);
    Collector c;
    DEFRAMER_Feed(d, stream.data(), 0, static_cast<int>(stream.size()), Collector::Sink, &c);
    return c.bodies;
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
    // The FCS of no bytes is 0000; a body too short to hold an FCS is never valid.
    const uint8_t bare[3] = {0x01, 0x00, 0x00};
    EXPECT_TRUE(CRC16_Check(crc, bare, 1, 2));
    EXPECT_FALSE(CRC16_Check(crc, bare, 2, 1));
}

TEST(FrameEncode, EscapesOnlyFlagAndEscapeBytes) {
    EXPECT_EQ(Encode({0x01, 0xA0, 0x72, 0x55}), (Bytes{0x7E, 0x01, 0xA0, 0x72, 0x55, 0x7E}));
    EXPECT_EQ(Encode({0x01, 0x7E, 0x7D, 0x20, 0x5E, 0x55, 0xAA}),
              (Bytes{0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x20, 0x5E, 0x55, 0xAA, 0x7E}));
    // Control characters go out unchanged: there is no control-character map.
    EXPECT_EQ(Encode({0x00, 0x11, 0x13, 0x1F}), (Bytes{0x7E, 0x00, 0x11, 0x13, 0x1F, 0x7E}));
}

TEST(Deframer, PassesTheSharedVectors) {
    CheckDeframeVectors(FRAME_BODY_SIZE, [](const std::vector<Bytes>& pieces) {
        Deframer d;
        DEFRAMER_Reset(d);
        Collector c;
        for (const Bytes& p : pieces)
            DEFRAMER_Feed(d, p.data(), 0, static_cast<int>(p.size()), Collector::Sink, &c);
        return c.bodies;
    });
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

}  // namespace
