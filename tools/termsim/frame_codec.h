// The loader link's wire format as the terminal sees it: the CRC-16/X.25 frame check,
// byte stuffing and the receive state machine. No I/O: bytes in, frame bodies out.
//
// Written independently of the flasher's own codec on purpose, so that a fault in one
// cannot hide itself by being mirrored in the other.
// Not thread-safe: each terminal owns its own Deframer; the free functions are pure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace termsim {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr uint8_t kEscapeXor = 0x20;

// Longest body the deframer keeps; the flasher's longest (a full WRITE) is 16394 bytes.
constexpr size_t kMaxBody = 16400;

// CRC-16/X.25 (reflected polynomial 0x8408, start 0xFFFF, result complemented) of
// data[0..n). Returns 0x0000 for n == 0.
uint16_t Crc16X25(const uint8_t* data, size_t n);

// Room EncodeFrame needs for a body of n bytes: two flags plus every byte escaped.
constexpr size_t EncodedCapacity(size_t n) { return 2 * n + 2; }

// Writes flag, body with 0x7E/0x7D escaped, flag into out, which must hold
// EncodedCapacity(n) bytes. Returns the number of bytes written.
size_t EncodeFrame(const uint8_t* body, size_t n, uint8_t* out);

// Receives every completed body, unescaped, flags removed, FCS still attached.
class FrameSink {
  public:
    virtual void OnFrame(const uint8_t* body, size_t n) = 0;

  protected:
    ~FrameSink() = default;
};

// Turns a received byte stream back into frame bodies. A closing flag returns to hunting,
// so each frame needs its own opening flag; repeated flags before a body are idle fill.
// A body longer than kMaxBody is dropped whole and counted, never overrunning the buffer.
class Deframer {
  public:
    // Feeds data[0..n); calls sink.OnFrame for every non-empty body completed, in order,
    // before looking at the next byte.
    void Feed(const uint8_t* data, size_t n, FrameSink& sink);

    // Back to hunting for an opening flag, partial body discarded.
    void Reset();

    // Bodies dropped because they outgrew kMaxBody.
    uint64_t OverlongFrames() const { return m_overlong; }

  private:
    enum class State { kHunt, kOpened, kInFrame, kEscaped };

    void Append(uint8_t byte);

    State m_state = State::kHunt;
    size_t m_length = 0;
    uint64_t m_overlong = 0;
    uint8_t m_body[kMaxBody];
};

}  // namespace termsim
