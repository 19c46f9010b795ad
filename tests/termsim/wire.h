// The test's own, deliberately naive view of the loader wire: a bitwise CRC, a frame writer
// and an answer reader, sharing nothing with the simulator's codec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wire {

using Bytes = std::vector<uint8_t>;

uint16_t Crc(const Bytes& data);

// Flag, body with 0x7E and 0x7D escaped, flag.
Bytes Escaped(const Bytes& body);

// Flag, escaped (seq, command..., FCS over command...), flag. badFcs damages the FCS.
Bytes Frame(uint8_t seq, const Bytes& command, bool badFcs = false);

Bytes Unlock();
Bytes Erase(uint32_t address, uint32_t length);
Bytes Write(uint32_t address, const Bytes& data);
Bytes Close();
Bytes Go();

struct Answer {
    uint8_t seq = 0;
    uint8_t code = 0;      // ACK 0x02 or NAK 0x03
    uint8_t answered = 0;  // the code of the packet answered
    uint8_t reason = 0;
    bool fcsOk = false;
    size_t length = 0;  // body bytes
};

// Splits a received stream into answers (flags removed, unescaped). Bytes of an
// unfinished frame at the end are left in *rest when given.
std::vector<Answer> ParseAnswers(const Bytes& stream, Bytes* rest = nullptr);

}  // namespace wire
