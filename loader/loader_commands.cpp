#include "loader/loader_commands.h"

#include <cstring>

#include "core/channel_tables.h"
#include "loader/link.h"

const uint8_t LOADER_CODES[7] = {ACK, NAK, ERASE, WRITE, UNLOCK, CLOSE, GO};

namespace {

PacketBuffer s_buffers[CHANNEL_COUNT][PACKET_BUFFER_COUNT];
int s_counter[CHANNEL_COUNT];
PacketBuffer* s_current[CHANNEL_COUNT];

// Starts a packet with its code in a freshly taken buffer.
PacketBuffer* Begin(int channel, uint8_t code) {
    PacketBuffer* p = TakePacketBuffer(channel);
    p->end = p->start;
    p->data[p->end++] = code;
    return p;
}

void Put32(PacketBuffer* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p->data[p->end++] = static_cast<uint8_t>(v >> (8 * i));
}

void Put16(PacketBuffer* p, uint16_t v) {
    p->data[p->end++] = static_cast<uint8_t>(v);
    p->data[p->end++] = static_cast<uint8_t>(v >> 8);
}

void Send(int channel, PacketBuffer* p) { SendPacket(channel, p->data, p->start, p->end); }

void SendBare(int channel, uint8_t code) { Send(channel, Begin(channel, code)); }

}  // namespace

PacketBuffer* TakePacketBuffer(int channel) {
    PacketBuffer* p = &s_buffers[channel][s_counter[channel] % PACKET_BUFFER_COUNT];
    p->start = LinkHeaderLength(channel);
    s_current[channel] = p;
    s_counter[channel] += 1;
    return p;
}

PacketBuffer* PACKET_Current(int channel) { return s_current[channel]; }

int PACKET_FindBySequence(int channel, int seq) {
    const int current = static_cast<int>(s_current[channel] - s_buffers[channel]);
    if (s_current[channel]->data[0] == seq) return 0;
    // After the current buffer, TakePacketBuffer hands out counter mod 4, then onwards.
    for (int step = 1; step < PACKET_BUFFER_COUNT; ++step) {
        int index = (s_counter[channel] + step - 1) % PACKET_BUFFER_COUNT;
        if (index == current) continue;
        if (s_buffers[channel][index].data[0] == seq) return step;
    }
    return -1;
}

void PACKET_ResetChannel(int channel) {
    // A buffer not yet used in this run must never match a resend: a packet left from the
    // previous run (another terminal, other data) would otherwise be sent again.
    for (PacketBuffer& p : s_buffers[channel]) {
        p.data[0] = 0xFF;
        p.start = p.end = 0;
    }
    s_counter[channel] = 0;
    s_current[channel] = &s_buffers[channel][0];
}

int FLASH_DOWNLOADER_Unlock(int channel) {
    LinkResetCounters(channel);
    SendBare(channel, UNLOCK);
    // A refused UNLOCK is answered too, but leaves the loader locked.
    if (WaitAllAnswered(channel, UNLOCK_POLLS) && FN[channel].error_count == 0) return 1;
    FLASH_DOWNLOADER_Close(channel);
    return 0;
}

int FLASH_DOWNLOADER_Erase(int channel, uint32_t address, uint32_t length) {
    PacketBuffer* p = Begin(channel, ERASE);
    Put32(p, address);
    Put32(p, length);
    Send(channel, p);
    if (LinkDrain(channel, ERASE_POLLS)) return 1;
    FLASH_DOWNLOADER_Close(channel);
    return 0;
}

int FLASH_DOWNLOADER_Write(int channel, uint32_t address, int length, const uint8_t* data) {
    if (length < 1 || length > LOADER_BLOCK_SIZE) return 0;
    PacketBuffer* p = Begin(channel, WRITE);
    Put32(p, address);
    Put16(p, static_cast<uint16_t>(length));
    std::memcpy(p->data + p->end, data, static_cast<size_t>(length));
    p->end += length;
    Send(channel, p);
    return 1;
}

int FLASH_DOWNLOADER_Close(int channel) {
    int drained = 0;
    if (FN[channel].tx_timeout == 0) {
        drained = LinkDrain(channel, CLOSE_POLLS);
        if (!drained) FN[channel].tx_timeout = 1;
    }
    SendBare(channel, CLOSE);
    return drained;
}

int FLASH_DOWNLOADER_Go(int channel) {
    SendBare(channel, GO);
    return 1;
}
