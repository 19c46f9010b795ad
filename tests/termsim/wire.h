// The flasher's side of the loader wire for driving the simulator by hand: packets built and
// answers read with the flasher's own codec and CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "loader/frame_codec.h"

namespace wire {

using Bytes = std::vector<uint8_t>;

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

// Splits a received stream into answers; a frame left unfinished waits for the next Feed.
class AnswerReader {
  public:
    AnswerReader() { DEFRAMER_Reset(m_deframer); }
    std::vector<Answer> Feed(const Bytes& bytes);

  private:
    Deframer m_deframer;
};

inline std::vector<Answer> ParseAnswers(const Bytes& stream) { return AnswerReader().Feed(stream); }

}  // namespace wire
