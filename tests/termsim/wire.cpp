#include "wire.h"

namespace wire {

uint16_t Crc(const Bytes& data) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
    }
    return static_cast<uint16_t>(~crc);
}

Bytes Frame(uint8_t seq, const Bytes& command, bool badFcs) {
    Bytes body{seq};
    body.insert(body.end(), command.begin(), command.end());
    uint16_t fcs = Crc(command);
    if (badFcs)
        fcs ^= 0x0100;
    body.push_back(static_cast<uint8_t>(fcs));
    body.push_back(static_cast<uint8_t>(fcs >> 8));
    return Escaped(body);
}

Bytes Escaped(const Bytes& body) {
    Bytes out{0x7E};
    for (uint8_t b : body) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

static void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes Unlock() {
    return {0xA0};
}
Bytes Close() {
    return {0xC0};
}
Bytes Go() {
    return {0x90};
}

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

std::vector<Answer> ParseAnswers(const Bytes& stream, Bytes* rest) {
    std::vector<Answer> answers;
    Bytes body;
    bool inFrame = false;
    bool escaped = false;
    size_t frameStart = 0;
    for (size_t i = 0; i < stream.size(); ++i) {
        const uint8_t b = stream[i];
        if (b == 0x7E && !escaped) {
            if (inFrame && !body.empty()) {
                Answer a;
                a.length = body.size();
                a.seq = body[0];
                if (body.size() >= 6) {
                    a.code = body[1];
                    a.answered = body[2];
                    a.reason = body[3];
                    a.fcsOk = Crc(Bytes(body.begin() + 1, body.end() - 2)) ==
                              (body[body.size() - 2] | body[body.size() - 1] << 8);
                }
                answers.push_back(a);
                inFrame = false;
            } else {
                inFrame = true;
                frameStart = i;
            }
            body.clear();
        } else if (inFrame) {
            if (escaped) {
                body.push_back(b ^ 0x20);
                escaped = false;
            } else if (b == 0x7D) {
                escaped = true;
            } else {
                body.push_back(b);
            }
        }
    }
    if (rest != nullptr) {
        rest->clear();
        if (inFrame)
            rest->assign(stream.begin() + frameStart, stream.end());
    }
    return answers;
}

}  // namespace wire
