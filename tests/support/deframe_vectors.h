// One table of deframer vectors that every codec of the loader wire must pass (the
// product's and the simulator's): each stream, whole, byte by byte and cut in two at every
// place, must yield exactly the bodies given.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using DeframeBytes = std::vector<uint8_t>;
// Feeds the pieces in order to one fresh deframer and returns the bodies it delivered.
using DeframeFn = std::function<std::vector<DeframeBytes>(const std::vector<DeframeBytes>&)>;

// Flag, body with 0x7E and 0x7D escaped, flag: the test's own writer.
inline DeframeBytes EscapedFrame(const DeframeBytes& body) {
    DeframeBytes out{0x7E};
    for (uint8_t b : body) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            b ^= 0x20;
        }
        out.push_back(b);
    }
    out.push_back(0x7E);
    return out;
}

inline void CheckDeframeVectors(size_t maxBody, const DeframeFn& deframe) {
    DeframeBytes every, full(maxBody, 0x33);
    for (int i = 0; i < 256; ++i) every.push_back(static_cast<uint8_t>(i));
    DeframeBytes twice = EscapedFrame(every), overlong{0x7E};
    twice.insert(twice.end(), twice.begin(), twice.end());
    overlong.resize(maxBody + 100, 0x11);  // no closing flag in time: dropped whole
    for (uint8_t b : {0x7E, 0x7E, 0x01, 0x02, 0x6A, 0xD3, 0x7E}) overlong.push_back(b);
    const struct {
        const char* what;
        DeframeBytes stream;
        std::vector<DeframeBytes> bodies;
    } vectors[] = {
        {"noise and doubled flags before a frame",
         {0x00, 0x11, 0x7E, 0x7E, 0x7E, 0x05, 0x7E},
         {{0x05}}},
        {"escaped flag", {0x7E, 0x12, 0x7D, 0x7E, 0x34, 0x7E}, {{0x12, 0x5E, 0x34}}},
        {"escaped escape", EscapedFrame({0x01, 0x7D, 0x7E, 0x20}), {{0x01, 0x7D, 0x7E, 0x20}}},
        {"empty frames", {0x7E, 0x7E, 0x7E}, {}},
        // A closing flag never opens the next frame: the middle body is lost.
        {"shared flag", {0x7E, 0xA1, 0x7E, 0xA2, 0x7E, 0xA3, 0x7E}, {{0xA1}, {0xA3}}},
        {"every byte value, back to back", twice, {every, every}},
        {"overlong run, then a frame", overlong, {{0x01, 0x02, 0x6A, 0xD3}}},
        {"body of the largest size", EscapedFrame(full), {full}},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.what);
        EXPECT_EQ(deframe({v.stream}), v.bodies);
        std::vector<DeframeBytes> bytes;
        for (uint8_t b : v.stream) bytes.push_back({b});
        EXPECT_EQ(deframe(bytes), v.bodies);
        for (size_t cut = 1; v.stream.size() < 2000 && cut < v.stream.size(); ++cut) {
            const auto at = v.stream.begin() + static_cast<long>(cut);
            ASSERT_EQ(
                deframe({DeframeBytes(v.stream.begin(), at), DeframeBytes(at, v.stream.end())}),
                v.bodies)
                << "cut at " << cut;
        }
    }
}
