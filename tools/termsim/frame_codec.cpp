#include "tools/termsim/frame_codec.h"

#include <array>

namespace termsim {
namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint16_t Crc16X25(const uint8_t* data, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF];
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

size_t EncodeFrame(const uint8_t* body, size_t n, uint8_t* out) {
    size_t at = 0;
    out[at++] = kFlag;
    for (size_t i = 0; i < n; ++i) {
        if (body[i] == kFlag || body[i] == kEscape) {
            out[at++] = kEscape;
            out[at++] = body[i] ^ kEscapeXor;
        } else {
            out[at++] = body[i];
        }
    }
    out[at++] = kFlag;
    return at;
}

void Deframer::Reset() {
    m_state = State::kHunt;
    m_length = 0;
}

void Deframer::Append(uint8_t byte) {
    if (m_length == kMaxBody) {
        // No closing flag in sight: give the frame up rather than overrun the buffer.
        ++m_overlong;
        Reset();
        return;
    }
    m_body[m_length++] = byte;
    m_state = State::kInFrame;
}

void Deframer::Feed(const uint8_t* data, size_t n, FrameSink& sink) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        switch (m_state) {
            case State::kHunt:
                if (b == kFlag) {
                    m_length = 0;
                    m_state = State::kOpened;
                }
                break;
            case State::kOpened:
            case State::kInFrame:
                if (b == kEscape) {
                    m_state = State::kEscaped;
                } else if (b == kFlag) {
                    if (m_state == State::kInFrame) {
                        if (m_length > 0) sink.OnFrame(m_body, m_length);
                        m_length = 0;
                        m_state = State::kHunt;
                    }
                } else {
                    Append(b);
                }
                break;
            case State::kEscaped:
                Append(b ^ kEscapeXor);
                break;
        }
    }
}

}  // namespace termsim
