#include "wire.h"

#include "loader/crc16.h"

namespace wire {

Bytes Frame(uint8_t seq, const Bytes& command, bool badFcs) {
    Bytes body{seq};
    body.insert(body.end(), command.begin(), command.end());
    body.resize(body.size() + 2);
    uint32_t crc;
    CRC16_Append(crc, body.data(), 1, static_cast<int>(command.size()));
    if (badFcs) body.back() ^= 0x01;
    Bytes out(FRAME_MaxEncodedSize(static_cast<int>(body.size())));
    out.resize(FRAME_Encode(body.data(), 0, static_cast<int>(body.size()), out.data()));
    return out;
}

static void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes Unlock() { return {0xA0}; }
Bytes Close() { return {0xC0}; }
Bytes Go() { return {0x90}; }

Bytes Erase(uint32_t address, uint32_t length) {
    Bytes b{0xEE};
    Put32(b, address);
    Put32(b, length);
    return b;
}

Bytes Write(uint32_t address, const Bytes& data) {
    Bytes b{0xDD};
    Put32(b, address);
    b.push_back(static_cast<uint8_t>(data.size()));
    b.push_back(static_cast<uint8_t>(data.size() >> 8));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

std::vector<Answer> AnswerReader::Feed(const Bytes& bytes) {
    std::vector<Answer> answers;
    auto sink = [](void* context, const uint8_t* body, int n) {
        Answer a;
        a.length = static_cast<size_t>(n);
        a.seq = body[0];
        if (n >= 6) {
            a.code = body[1];
            a.answered = body[2];
            a.reason = body[3];
            uint32_t crc;
            a.fcsOk = CRC16_Check(crc, body, 1, n - 1);
        }
        static_cast<std::vector<Answer>*>(context)->push_back(a);
    };
    DEFRAMER_Feed(m_deframer, bytes.data(), 0, static_cast<int>(bytes.size()), sink, &answers);
    return answers;
}

}  // namespace wire
