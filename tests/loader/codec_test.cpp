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

// A small generator, so that a failure repeats.
uint32_t NextRandom(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// Random bytes; with `dense`, mostly flags and escapes among a few plain values.
Bytes RandomBody(uint32_t& x, size_t n, bool dense) {
    static const uint8_t kDense[] = {0x7E, 0x7D, 0x7C, 0x7F, 0x5E, 0x00, 0xFE, 0xFD};
    Bytes out(n);
    for (uint8_t& b : out)
        b = dense ? kDense[NextRandom(x) % 8] : static_cast<uint8_t>(NextRandom(x));
    return out;
}

TEST(Crc16, BlocksEqualTheBytewiseTableAtEveryLengthAndAlignment) {
    uint32_t x = 12345;
    const Bytes data = RandomBody(x, 16384 + 64, false);
    for (int offset = 0; offset < 8; ++offset) {
        for (int length = 0; length <= 40; ++length) {
            uint32_t crc;
            CRC16_Init(crc);
            CRC16_UpdateBlock(crc, data.data() + offset, length);
            ASSERT_EQ(CRC16_Final(crc), CRC16_Compute(data.data() + offset, length))
                << "offset " << offset << ", length " << length;
        }
    }
    for (int round = 0; round < 200; ++round) {
        const int offset = static_cast<int>(NextRandom(x) % 64);
        const int length = static_cast<int>(NextRandom(x) % 16385);
        Bytes body(data.begin() + offset, data.begin() + offset + length);
        body.resize(body.size() + 2);
        uint32_t crc;
        CRC16_Append(crc, body.data(), 0, length);
        const uint16_t want = CRC16_Compute(data.data() + offset, length);
        ASSERT_EQ(body[length] | body[length + 1] << 8, want) << "length " << length;
        ASSERT_TRUE(CRC16_Check(crc, body.data(), 0, length + 2));
        body[NextRandom(x) % body.size()] ^= static_cast<uint8_t>(1 + NextRandom(x) % 255);
        ASSERT_FALSE(CRC16_Check(crc, body.data(), 0, length + 2)) << "length " << length;
    }
}

TEST(FrameEncode, EscapingInPiecesEqualsEscapingByteByByte) {
    uint32_t x = 777;
    for (int round = 0; round < 400; ++round) {
        const Bytes body = RandomBody(x, NextRandom(x) % 300, round % 2 == 0);
        Bytes want{FRAME_FLAG};
        for (uint8_t b : body) {
            uint8_t wire[2];
            want.insert(want.end(), wire, wire + FRAME_Escape(b, wire));
        }
        want.push_back(FRAME_FLAG);
        ASSERT_EQ(Encode(body), want);

        // In pieces of random room, each piece stopping only where the next byte no longer
        // fits, the pieces join into the same bytes.
        const int size = static_cast<int>(body.size());
        Bytes joined{FRAME_FLAG};
        int from = 0;
        while (from < size) {
            const int room = 1 + static_cast<int>(NextRandom(x) % 24);
            uint8_t out[24];
            const int n = FRAME_EscapeSome(body.data(), &from, size, out, room);
            ASSERT_LE(n, room);
            uint8_t wire[2];
            if (from < size) {
                ASSERT_GT(FRAME_Escape(body[from], wire), room - n);
            }
            joined.insert(joined.end(), out, out + n);
        }
        joined.push_back(FRAME_FLAG);
        ASSERT_EQ(joined, want);
    }
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
