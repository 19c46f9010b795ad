#include "loader/frame_codec.h"

#include <cstring>

void DEFRAMER_Reset(Deframer& deframer) {
    deframer.state = DEFRAME_HUNT;
    deframer.length = 0;
}

namespace {

// Appends one unescaped body byte; false when the body is full (the frame is then dropped).
inline bool Append(Deframer& d, uint8_t byte) {
    if (d.length >= FRAME_BODY_SIZE) {
        d.length = 0;
        d.state = DEFRAME_HUNT;
        return false;
    }
    d.body[d.length++] = byte;
    return true;
}

}  // namespace

void DEFRAMER_Feed(Deframer& d, const uint8_t* bytes, int from, int to, FrameSink sink,
                   void* context) {
    for (int i = from; i < to; ++i) {
        const uint8_t b = bytes[i];
        switch (d.state) {
            case DEFRAME_HUNT:
                if (b == FRAME_FLAG) {
                    d.length = 0;
                    d.state = DEFRAME_OPENED;
                }
                break;
            case DEFRAME_OPENED:
                if (b == FRAME_FLAG) break;  // repeated flags are idle fill
                [[fallthrough]];
            case DEFRAME_IN_FRAME:
                if (b == FRAME_ESCAPE) {
                    d.state = DEFRAME_ESCAPED;
                } else if (b == FRAME_FLAG) {
                    // The closing flag does not open the next frame: only a further flag does.
                    if (d.length > 0) sink(context, d.body, d.length);
                    d.length = 0;
                    d.state = DEFRAME_HUNT;
                } else if (Append(d, b)) {
                    d.state = DEFRAME_IN_FRAME;
                }
                break;
            case DEFRAME_ESCAPED:
                if (Append(d, static_cast<uint8_t>(b ^ FRAME_ESCAPE_XOR)))
                    d.state = DEFRAME_IN_FRAME;
                break;
            default:  // a state no code path produces; start over rather than guess
                DEFRAMER_Reset(d);
                break;
        }
    }
}

namespace {

// Marks, in the top bit of each byte, the bytes of x that are a flag or an escape byte: a
// byte of x ^ 0x7E..7E or of x ^ 0x7D..7D is zero, which the borrow of a subtraction shows.
// The lowest mark is always exact (a borrow only runs upwards from a true zero byte).
inline uint64_t FlagOrEscapeMarks(uint64_t x) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    const uint64_t f = x ^ (kOnes * FRAME_FLAG);
    const uint64_t e = x ^ (kOnes * FRAME_ESCAPE);
    return (((f - kOnes) & ~f) | ((e - kOnes) & ~e)) & kHighs;
}

// How many of the eight bytes come before the first marked one, in memory order.
inline int PlainBytesBefore(uint64_t marks) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_ctzll(marks) >> 3;
#else
    (void)marks;
    return 0;  // the bytes are then taken one at a time
#endif
}

}  // namespace

int FRAME_EscapeSome(const uint8_t* body, int* from, int to, uint8_t* out, int room) {
    int i = *from;
    int n = 0;
    while (i < to) {
        // Eight bytes at a time go out as they are, up to the first that needs escaping.
        if (to - i >= 8 && room - n >= 8) {
            uint64_t x;
            std::memcpy(&x, body + i, 8);
            std::memcpy(out + n, &x, 8);
            const uint64_t marks = FlagOrEscapeMarks(x);
            if (marks == 0) {
                i += 8;
                n += 8;
                continue;
            }
            const int plain = PlainBytesBefore(marks);
            i += plain;
            n += plain;
        }
        const uint8_t b = body[i];
        if (room - n < ((b == FRAME_FLAG || b == FRAME_ESCAPE) ? 2 : 1)) break;
        n += FRAME_Escape(b, out + n);
        ++i;
    }
    *from = i;
    return n;
}

int FRAME_Encode(const uint8_t* body, int from, int to, uint8_t* out) {
    int n = 0;
    out[n++] = FRAME_FLAG;
    n += FRAME_EscapeSome(body, &from, to, out + n, 2 * (to - from));
    out[n++] = FRAME_FLAG;
    return n;
}
