#include "loader/frame_codec.h"

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

int FRAME_Encode(const uint8_t* body, int from, int to, uint8_t* out) {
    int n = 0;
    out[n++] = FRAME_FLAG;
    for (int i = from; i < to; ++i) n += FRAME_Escape(body[i], out + n);
    out[n++] = FRAME_FLAG;
    return n;
}

int FRAME_EncodedSize(const uint8_t* body, int from, int to) {
    int size = 2;
    uint8_t wire[2];
    for (int i = from; i < to; ++i) size += FRAME_Escape(body[i], wire);
    return size;
}
