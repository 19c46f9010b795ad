// Byte-vector tests of the pure codec: CRC-16/X.25, escaping, deframing.
#include <gtest/gtest.h>

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

TEST(Crc16, CheckValueAndKnownFrames) {
    const char* digits = "123456789";
    EXPECT_EQ(CRC16_Compute(reinterpret_cast<const uint8_t*>(digits), 9), 0x906E);

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

}  // namespace
