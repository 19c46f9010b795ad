// Frame format of the loader line: 0x7E, the byte-stuffed body, 0x7E. Every body byte equal
// to 0x7E or 0x7D goes out as 0x7D followed by the byte XOR 0x20; nothing else is escaped.
//
// This file is the pure codec: bytes in, bodies out, no I/O. The per-channel glue that feeds
// it from the port and hands bodies to the link layer is in frame_io.h.
#pragma once

#include <cstdint>

constexpr uint8_t FRAME_FLAG = 0x7E;
constexpr uint8_t FRAME_ESCAPE = 0x7D;
constexpr uint8_t FRAME_ESCAPE_XOR = 0x20;
constexpr int FRAME_BODY_SIZE = 16400;  // the longest body the PC sends is 16394 bytes

enum DeframeState {
    DEFRAME_HUNT = 0,
    DEFRAME_OPENED = 1,
    DEFRAME_IN_FRAME = 2,
    DEFRAME_ESCAPED = 3
};

struct Deframer {
    int state;   // DeframeState
    int length;  // body bytes collected so far
    uint8_t body[FRAME_BODY_SIZE];
};

// Receives one complete body (flags removed, unescaped, FCS still attached).
using FrameSink = void (*)(void* context, const uint8_t* body, int length);

// Back to Hunt with an empty body.
void DEFRAMER_Reset(Deframer& deframer);

// Feeds bytes[from .. to-1] through the deframer; calls sink for every body that closes,
// before looking at the next byte. A body that would outgrow the buffer is dropped and the
// deframer returns to Hunt, so noise without flags can never overrun it.
void DEFRAMER_Feed(Deframer& deframer, const uint8_t* bytes, int from, int to, FrameSink sink,
                   void* context);

// The escape rule, for every encoder: stores the wire form of one body byte in wire (the
// byte itself, or 0x7D and the byte XOR 0x20 for 0x7D and 0x7E) and returns its length.
inline int FRAME_Escape(uint8_t byte, uint8_t wire[2]) {
    if (byte == FRAME_FLAG || byte == FRAME_ESCAPE) {
        wire[0] = FRAME_ESCAPE;
        wire[1] = static_cast<uint8_t>(byte ^ FRAME_ESCAPE_XOR);
        return 2;
    }
    wire[0] = byte;
    return 1;
}

// Worst-case wire size of a body of n bytes: two flags plus every byte escaped.
constexpr int FRAME_MaxEncodedSize(int n) { return 2 + 2 * n; }

// Escapes body[*from .. to-1] into out, which has room for `room` bytes, as FRAME_Escape
// does byte by byte, and stops early at a byte whose wire form no longer fits. Advances
// *from past the bytes it took and returns the number of bytes it wrote.
int FRAME_EscapeSome(const uint8_t* body, int* from, int to, uint8_t* out, int room);

// Encodes body[from .. to-1] as one frame into out (room for FRAME_MaxEncodedSize bytes);
// returns the number of bytes written.
int FRAME_Encode(const uint8_t* body, int from, int to, uint8_t* out);
