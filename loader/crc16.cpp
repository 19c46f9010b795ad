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

void CRC16_Append(uint32_t& crc, uint8_t* buffer, int from, int count) {
    CRC16_Init(crc);
    for (int i = from; i < from + count; ++i) CRC16_Update(crc, buffer[i]);
    uint32_t fcs = CRC16_Final(crc);
    buffer[from + count] = static_cast<uint8_t>(fcs & 0xFF);
    buffer[from + count + 1] = static_cast<uint8_t>(fcs >> 8);
}

bool CRC16_Check(uint32_t& crc, const uint8_t* buffer, int from, int count) {
    if (count < 2) return false;  // no room for an FCS: never a valid frame
    CRC16_Init(crc);
    for (int i = from; i < from + count - 2; ++i) CRC16_Update(crc, buffer[i]);
    uint32_t fcs = CRC16_Final(crc);
    return buffer[from + count - 2] == (fcs & 0xFF) && buffer[from + count - 1] == (fcs >> 8);
}
