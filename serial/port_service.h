// The port service: per channel, the COM port and rate of the run, the device opened lazily
// by the channel's worker and closed under the engine lock, the reader step that feeds the
// deframer, and the transmit buffer written out in chunks after a fixed pause.
//
// Threads: SERIAL_PORT_Start runs on the console thread at run start; SERIAL_PORT_Stop and
// SERIAL_PORT_Close may run on the console thread (run stop, channel stop) while the worker
// uses the device; everything else runs on the channel's worker thread only. Every open and
// close, and every store into g_hSerialDevice, happens under g_hEngineMutex, which is never
// held around a read or write.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/channel_tables.h"
#include "serial/serial_device.h"

constexpr int SERIAL_RX_BUFFER_SIZE = 4096;
constexpr int SERIAL_TX_BUFFER_SIZE = 16400;
constexpr int SERIAL_TX_FLUSH_AT = 4096;  // the driver's output queue size

// The open device per channel, null when none. Read it with SERIAL_PORT_Device().
extern SerialHandle g_hSerialDevice[CHANNEL_COUNT];

// Where the reader step hands what it read: run start installs the deframer, so the port
// service knows nothing of frames. Null drops the bytes.
using SerialReceiveHook = void (*)(int channel, const uint8_t* bytes, int from, int to);

// Installs the receive hook of every channel. Console thread, while no worker runs.
void SERIAL_PORT_SetReceiveHook(SerialReceiveHook hook);

// The pause before each write in ms (the DELAY setting, DEFAULT_WRITE_DELAY_MS until set);
// run start sets it.
// Console thread, while no worker runs.
void SERIAL_PORT_SetWriteDelay(int ms);

// Records port and rate; refuses (returns 0) while the channel's device is open.
int SERIAL_PORT_Start(int channel, int comPort, int baudRate);

// Closes the channel's device if open.
void SERIAL_PORT_Stop(int channel);

// Opens the channel's device unless it is open. Returns 1 when it is open afterwards.
// On failure sends "SERIAL_DEVICE_Open(COM%d) Failed!" to the log (after releasing the lock).
int SERIAL_PORT_Open(int channel);

// Closes the channel's device if open, discarding output still queued unless it was
// drained. Returns 1.
int SERIAL_PORT_Close(int channel);

// The worker's end of its dialogue: lets the output still queued leave (the loader's last
// packets) before its own close, without the lock, for at most 500 ms plus the line time
// of what is queued; a close by a stop meanwhile ends it at once.
void SERIAL_PORT_Drain(int channel);

// One reader step: reads what is queued (at most 4096 bytes) and hands it to the receive
// hook, so every complete answer is processed before it returns. On a read failure closes the
// device and marks the channel gone.
void SERIAL_PORT_DoReading(int channel);

// True once a read or write of the channel's device failed since its last reset: the device
// went away (unplugged adapter, closed pseudo-terminal peer) or failed so that nothing more
// can pass. Its device is then closed, and "COM%d: the device went away" went to the log
// once. The link's waits end at once on it; a slow terminal never sets it. Any thread (the
// front ends read it after the worker ended).
bool SERIAL_PORT_Gone(int channel);

// Reads/writes the channel's current device; a channel without a device reads 0 and
// fails writes with -1. A write that fails on the device marks the channel gone. Write pauses for
// the write delay first; the pause ends at once when the channel is stopped (its active flag
// cleared).
int SERIAL_PORT_Read(int channel, uint8_t* buffer, int offset, int maxBytes);
int SERIAL_PORT_Write(int channel, const uint8_t* buffer, int offset, int length);

// Appends a byte to the transmit buffer, writing it out once it holds 4096 bytes.
void SERIAL_PORT_PutByte(int channel, uint8_t byte);

// The same for many bytes at once: where the next bytes go in the transmit buffer and, in
// *room, how many fit before it is written out (1 to 4096). Put bytes there, then count them
// with SERIAL_PORT_TxCommit (at most *room), which writes the buffer out once it is full.
uint8_t* SERIAL_PORT_TxSpace(int channel, int* room);
void SERIAL_PORT_TxCommit(int channel, int count);

// Writes out the transmit buffer (no retry of a short or failed write); empties it. Once a
// write has failed or fallen short, the channel writes nothing more until its next reset.
void SERIAL_PORT_Flush(int channel);

// True once a write of the channel failed or fell short since its last reset. Worker thread.
bool SERIAL_PORT_WriteFailed(int channel);

// The pause of one poll: waits up to timeoutMs for input on the channel's device, or
// sleeps when it has none.
void SERIAL_PORT_WaitInput(int channel, int timeoutMs);

// The channel's current device (a counted reference), or null.
SerialHandle SERIAL_PORT_Device(int channel);

// Physical reads and writes of a channel since its last run start (diagnostics, benchmarks).
struct PortStats {
    uint64_t reads;
    uint64_t bytesRead;
    uint64_t writes;
    uint64_t bytesWritten;
};
// The channel's counts; read them on the worker's thread or after the run.
const PortStats& SERIAL_PORT_Stats(int channel);

// Run start: forgets the channel's device without closing it, empties its transmit buffer,
// zeroes its counts and clears its gone mark.
void SERIAL_PORT_ResetChannel(int channel);
