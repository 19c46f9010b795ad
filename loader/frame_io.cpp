#include "loader/frame_io.h"

#include "core/channel_tables.h"
#include "loader/link.h"
#include "serial/port_service.h"

Deframer g_Deframer[CHANNEL_COUNT];

void SERIAL_PORT_PutEscaped(int channel, uint8_t byte) {
    uint8_t wire[2];
    const int n = FRAME_Escape(byte, wire);
    for (int i = 0; i < n; ++i) SERIAL_PORT_PutByte(channel, wire[i]);
}

int SERIAL_PORT_WriteEscaped(int channel, const uint8_t* data, int from, int to) {
    int put = 0;
    while (from < to) {
        // Straight into the transmit buffer, as far as it goes before its next write.
        int room = 0;
        uint8_t* space = SERIAL_PORT_TxSpace(channel, &room);
        const int n = FRAME_EscapeSome(data, &from, to, space, room);
        SERIAL_PORT_TxCommit(channel, n);
        put += n;
        if (from < to && room - n == 1) {
            // An escape pair with room for one byte only: its first byte ends this write
            // and its second begins the next, as byte by byte.
            SERIAL_PORT_PutEscaped(channel, data[from++]);
            put += 2;
        }
    }
    return put;
}

int SERIAL_PORT_WriteFrame(int channel, const uint8_t* body, int from, int to) {
    SERIAL_PORT_PutByte(channel, FRAME_FLAG);
    const int escaped = SERIAL_PORT_WriteEscaped(channel, body, from, to);
    SERIAL_PORT_PutByte(channel, FRAME_FLAG);
    SERIAL_PORT_Flush(channel);
    return escaped + 2;
}

namespace {

void DeliverBody(void* context, const uint8_t* body, int length) {
    FLASH_DOWNLOADER_Receive(*static_cast<int*>(context), body, 0, length);
}

}  // namespace

void SERIAL_PORT_Deframe(int channel, const uint8_t* bytes, int from, int to) {
    DEFRAMER_Feed(g_Deframer[channel], bytes, from, to, DeliverBody, &channel);
}

void SERIAL_PORT_ResetDeframer(int channel) { DEFRAMER_Reset(g_Deframer[channel]); }
