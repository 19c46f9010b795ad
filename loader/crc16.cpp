#include "loader/crc16.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v = i;
        for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        table[i] = v;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x1189 && kTable[128] == 0x8408, "CRC table of polynomial 0x8408");

// Eight bytes at a step: slice k holds what byte value i does to the accumulator when k
// further bytes follow it, so the eight table lookups of a step are independent of each
// other and need not wait one for the other.
using SliceTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr SliceTables MakeSlices() {
    SliceTables t{};
    for (int i = 0; i < 256; ++i) t[0][i] = static_cast<uint16_t>(kTable[i]);
    for (int k = 1; k < 8; ++k) {
        for (int i = 0; i < 256; ++i) {
            const uint32_t prev = t[k - 1][i];
            t[k][i] = static_cast<uint16_t>((prev >> 8) ^ kTable[prev & 0xFF]);
        }
    }
    return t;
}

constexpr SliceTables kSlices = MakeSlices();

}  // namespace

const uint32_t CRC16_Table[256] = {
#define ROW(i)                                                                            \
    kTable[i], kTable[i + 1], kTable[i + 2], kTable[i + 3], kTable[i + 4], kTable[i + 5], \
        kTable[i + 6], kTable[i + 7]
    ROW(0),   ROW(8),   ROW(16),  ROW(24),  ROW(32),  ROW(40),  ROW(48),  ROW(56),
    ROW(64),  ROW(72),  ROW(80),  ROW(88),  ROW(96),  ROW(104), ROW(112), ROW(120),
    ROW(128), ROW(136), ROW(144), ROW(152), ROW(160), ROW(168), ROW(176), ROW(184),
    ROW(192), ROW(200), ROW(208), ROW(216), ROW(224), ROW(232), ROW(240), ROW(248),
#undef ROW
};

void CRC16_UpdateBlock(uint32_t& crc, const uint8_t* data, int count) {
    uint32_t c = crc & 0xFFFF;
    for (; count >= 8; count -= 8, data += 8) {
        c = kSlices[7][(c ^ data[0]) & 0xFF] ^ kSlices[6][((c >> 8) ^ data[1]) & 0xFF] ^
            kSlices[5][data[2]] ^ kSlices[4][data[3]] ^ kSlices[3][data[4]] ^ kSlices[2][data[5]] ^
            kSlices[1][data[6]] ^ kSlices[0][data[7]];
    }
    for (; count > 0; --count, ++data) c = (c >> 8) ^ kTable[(c ^ *data) & 0xFF];
    crc = c;
}

void CRC16_Append(uint32_t& crc, uint8_t* buffer, int from, int count) {
    CRC16_Init(crc);
    if (count > 0) CRC16_UpdateBlock(crc, buffer + from, count);
    uint32_t fcs = CRC16_Final(crc);
    buffer[from + count] = static_cast<uint8_t>(fcs & 0xFF);
    buffer[from + count + 1] = static_cast<uint8_t>(fcs >> 8);
}

bool CRC16_Check(uint32_t& crc, const uint8_t* buffer, int from, int count) {
    if (count < 2) return false;  // no room for an FCS: never a valid frame
    CRC16_Init(crc);
    CRC16_UpdateBlock(crc, buffer + from, count - 2);
    uint32_t fcs = CRC16_Final(crc);
    return buffer[from + count - 2] == (fcs & 0xFF) && buffer[from + count - 1] == (fcs >> 8);
}
