// Per-channel glue between the frame codec and the port service: the encoder puts escaped
// frames into the channel's transmit buffer, and the deframer hands every received body to
// the link layer. Worker thread of the channel only.
#pragma once

#include <cstdint>

#include "loader/frame_codec.h"

// The channel's deframer (state, length, body buffer).
extern Deframer g_Deframer[];

// Puts one body byte into the transmit buffer, escaped when it is 0x7D or 0x7E.
void SERIAL_PORT_PutEscaped(int channel, uint8_t byte);

// Puts data[from .. to-1] escaped; nothing when from is not below to. Returns the number of
// bytes put.
int SERIAL_PORT_WriteEscaped(int channel, const uint8_t* data, int from, int to);

// Puts a whole frame (flag, escaped body[from .. to-1], flag) and flushes, so the frame
// leaves now. Returns the frame's size on the line, flags and escapes counted.
int SERIAL_PORT_WriteFrame(int channel, const uint8_t* body, int from, int to);

// Feeds received bytes through the channel's deframer; each complete body goes to
// FLASH_DOWNLOADER_Receive before the next byte is looked at.
void SERIAL_PORT_Deframe(int channel, const uint8_t* bytes, int from, int to);

// Run start: the channel's deframer back to Hunt and empty.
void SERIAL_PORT_ResetDeframer(int channel);
