// Test support for the protocol layer. Not for production code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loader/crc16.h"

// Puts the channel's link record (every count zero), deframer and packet buffers back to
// their state at program start, so every test starts from a clean channel.
void LOADER_ResetForTest(int channel);

// The FCS of a whole byte range.
inline uint16_t CRC16_Compute(const uint8_t* data, size_t length) {
    uint32_t crc;
    CRC16_Init(crc);
    for (size_t i = 0; i < length; ++i) CRC16_Update(crc, data[i]);
    return static_cast<uint16_t>(CRC16_Final(crc));
}
