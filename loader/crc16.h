// CRC-16/X.25: the HDLC frame check sequence (reflected polynomial 0x8408, initial value
// 0xFFFF, result complemented). Check value over "123456789": 0x906E.
//
// Pure functions over caller-owned state; safe from any thread.
#pragma once

#include <cstdint>

extern const uint32_t CRC16_Table[256];

// Sets the accumulator to 0xFFFF.
inline void CRC16_Init(uint32_t& crc) { crc = 0xFFFF; }

// Adds one byte to the accumulator.
inline void CRC16_Update(uint32_t& crc, uint8_t byte) {
    crc = (crc >> 8) ^ CRC16_Table[(crc ^ byte) & 0xFF];
}

// Adds count bytes from data to the accumulator: the same result as CRC16_Update on each of
// them in turn, eight bytes at a step (the accumulator holds 16 bits, as CRC16_Init and every
// update leave it).
void CRC16_UpdateBlock(uint32_t& crc, const uint8_t* data, int count);

// The frame check sequence of the bytes added so far.
inline uint32_t CRC16_Final(uint32_t crc) { return (crc ^ 0xFFFF) & 0xFFFF; }

// Computes the FCS of buffer[from .. from+count-1] and stores it, low byte first, at
// buffer[from+count] and buffer[from+count+1].
void CRC16_Append(uint32_t& crc, uint8_t* buffer, int from, int count);

// count includes the two FCS bytes. True when the FCS of the first count-2 bytes from
// `from` equals the two bytes that follow them (low byte first).
bool CRC16_Check(uint32_t& crc, const uint8_t* buffer, int from, int count);
