// One serial port, opened exclusively by COM number, read without blocking and written with
// a bounded wait.
//
// A SerialHandle is shared: the port service keeps one reference, and a worker that reads or
// writes holds its own for the duration of the call. SERIAL_DEVICE_Close marks the device
// closed and wakes a writer that waits in it; the descriptor itself is released when the
// last reference goes, so a thread that is still inside a read or write can never touch a
// closed or reused descriptor.
//
// Open and Close are called under the engine lock (port service). Read, Write and
// WaitReadable are called from the channel's worker thread only. Close may run on another
// thread while the worker reads or writes the same device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SerialDevice;
using SerialHandle = std::shared_ptr<SerialDevice>;

constexpr int SERIAL_WRITE_TIMEOUT_MS = 5000;

// Time in ms (rounded up) that `bytes` take on a line of `baud` with 10 bits a byte (start
// bit, 8 data bits, stop bit); 0 for a rate below 10.
constexpr int64_t SERIAL_LineTimeMs(int64_t bytes, int baud) {
    return baud < 10 ? 0 : (bytes * 10000 + baud - 1) / baud;
}

// Opens COM<comPortNumber> (its entry in the port directory) with raw 8N1 at baudRate
// (any rate the driver accepts, non-standard ones included). Returns null on any failure:
// no such port, in use by anyone else, not a serial device, rate refused (on Linux also a
// rate the driver silently replaced by one more than 3 % off), the process's controlling
// terminal, or a port directory that another user could have planted.
// When the last reference goes, the device gets back the line settings it had before.
SerialHandle SERIAL_DEVICE_Open(int channel, int comPortNumber, int baudRate);

// The same for a device path (tests, and ports found by other means than the directory).
SerialHandle SERIAL_DEVICE_OpenPath(int channel, const std::string& path, int baudRate);

// Waits until the driver has sent its queued output: at most 500 ms plus the line time of
// what was queued, less when the device is closed meanwhile. True when it all went out.
// Called by the channel's worker, without the engine lock, before its own close.
bool SERIAL_DEVICE_Drain(SerialDevice* handle);

// Drops DTR and RTS (refusals of lines a device does not have are ignored), discards both
// queues at once (output included: a stop must not wait for the line), marks the device
// closed and wakes a writer or drain waiting in it. A null handle is allowed.
void SERIAL_DEVICE_Close(int channel, const SerialHandle& handle);

// Reads what the driver has queued, at most maxBytes, into buffer + offset; never blocks.
// Returns the count (1 or more), 0 when nothing is queued or the device was closed by us,
// -1 when the device failed or went away (unplugged cable, closed pseudo-terminal peer).
int SERIAL_DEVICE_Read(int channel, SerialDevice* handle, uint8_t* buffer, int offset,
                       int maxBytes);

// Writes length bytes from buffer + offset, waiting until the driver has taken every byte
// or SERIAL_WRITE_TIMEOUT_MS passed beyond the line time of these bytes and of those the
// driver holds ahead of them; partial writes are continued within that time, as soon
// as the driver reports room or the line has had the time to send the bytes still to go, so
// the driver's queue is still well filled when the call returns.
// Returns the count taken (1 or more), 0 when none was taken in time or the device was
// closed meanwhile, -1 on a device failure (what it took before is lost with it).
int SERIAL_DEVICE_Write(int channel, SerialDevice* handle, const uint8_t* buffer, int offset,
                        int length);

// Waits until input is queued, the device fails or closes, or timeoutMs passed.
// The waits of the link layer use it as their 1 ms pause, so a poll costs one system call
// and an answer is seen as soon as it arrives.
void SERIAL_DEVICE_WaitReadable(SerialDevice* handle, int timeoutMs);

// A run's waits pause 1 ms per poll. Where the system timer is coarser (Windows: about
// 15.6 ms by default), BeginRun makes it fine until the matching EndRun; elsewhere both do
// nothing. Called by the run control on the console thread.
void SERIAL_DEVICE_BeginRun();
void SERIAL_DEVICE_EndRun();

// The line rate the driver reports (for tests and diagnostics); -1 when unknown.
int SERIAL_DEVICE_GetBaud(SerialDevice* handle);

// The path the device was opened from.
const std::string& SERIAL_DEVICE_Path(SerialDevice* handle);
