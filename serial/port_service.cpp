#include "serial/port_service.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "core/debug_trace.h"
#include "core/engine_events.h"
#include "core/engine_lock.h"

SerialHandle g_hSerialDevice[CHANNEL_COUNT];

namespace {

struct ChannelBuffers {
    uint8_t rx[SERIAL_RX_BUFFER_SIZE];
    uint8_t tx[SERIAL_TX_BUFFER_SIZE];
    int txFill;
    bool writeFailed;  // a write did not take every byte: nothing more goes out
    PortStats stats;
};

ChannelBuffers s_buffers[CHANNEL_COUNT];
// Set by the worker when its device failed under it (unplugged, the other side closed);
// read by the waits on the same thread and by the front ends once the worker has ended.
std::atomic<bool> s_gone[CHANNEL_COUNT];
std::atomic<SerialReceiveHook> s_receiveHook{nullptr};
std::atomic<int> s_writeDelay{DEFAULT_WRITE_DELAY_MS};

// Under g_hEngineMutex: close the device if there is one and forget it.
void CloseLocked(int channel) {
    SerialHandle device = std::atomic_load(&g_hSerialDevice[channel]);
    if (device) {
        SERIAL_DEVICE_Close(channel, device);
        std::atomic_store(&g_hSerialDevice[channel], SerialHandle());
    }
}

// A read or write failed: the device went away (or failed so that nothing more can pass).
// The channel's waits end at once on the flag, and the device is closed as a read failure
// closes it, so no drain waits for a line that is gone. The log learns it once.
void MarkGone(int channel) {
    {
        std::lock_guard<std::mutex> guard(g_hEngineMutex);
        CloseLocked(channel);
    }
    if (!s_gone[channel].exchange(true)) {
        // After the lock: the console thread takes it for a channel stop.
        KOVIR_SendText("COM%d: the device went away", g_nChannelPort[channel].load());
    }
}

// The pause before a write: the write delay in 64-bit time, so no value wraps, cut short
// as soon as the channel is stopped.
void WritePause(int channel) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const int delay = s_writeDelay;
    if (delay <= 0) return;
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(delay));
    for (auto now = Clock::now(); now < end && g_bChannelActive[channel] != 0; now = Clock::now()) {
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, kSlice));
    }
}

}  // namespace

void SERIAL_PORT_SetReceiveHook(SerialReceiveHook hook) { s_receiveHook = hook; }

void SERIAL_PORT_SetWriteDelay(int ms) { s_writeDelay = ms; }

SerialHandle SERIAL_PORT_Device(int channel) { return std::atomic_load(&g_hSerialDevice[channel]); }

int SERIAL_PORT_Start(int channel, int comPort, int baudRate) {
    if (SERIAL_PORT_Device(channel)) return 0;
    g_nChannelPort[channel] = comPort;
    g_nChannelBaud[channel] = baudRate;
    DEBUG_Trace(">> SERIAL_PORT_Start()\n");
    return 1;
}

void SERIAL_PORT_ResetChannel(int channel) {
    std::atomic_store(&g_hSerialDevice[channel], SerialHandle());
    s_buffers[channel].txFill = 0;
    s_buffers[channel].writeFailed = false;
    s_buffers[channel].stats = PortStats{};
    s_gone[channel] = false;
}

bool SERIAL_PORT_Gone(int channel) { return s_gone[channel]; }

const PortStats& SERIAL_PORT_Stats(int channel) { return s_buffers[channel].stats; }

void SERIAL_PORT_Stop(int channel) {
    {
        std::lock_guard<std::mutex> guard(g_hEngineMutex);
        CloseLocked(channel);
    }
    DEBUG_Trace(">> SERIAL_PORT_Stop()\n");
}

int SERIAL_PORT_Close(int channel) {
    std::lock_guard<std::mutex> guard(g_hEngineMutex);
    CloseLocked(channel);
    return 1;
}

void SERIAL_PORT_Drain(int channel) { SERIAL_DEVICE_Drain(SERIAL_PORT_Device(channel).get()); }

int SERIAL_PORT_Open(int channel) {
    const int baud = g_nChannelBaud[channel];
    if (baud == 0) return 0;
    const int port = g_nChannelPort[channel];
    bool open;
    {
        std::lock_guard<std::mutex> guard(g_hEngineMutex);
        if (!SERIAL_PORT_Device(channel)) {
            std::atomic_store(&g_hSerialDevice[channel], SERIAL_DEVICE_Open(channel, port, baud));
        }
        open = static_cast<bool>(SERIAL_PORT_Device(channel));
    }
    if (open) return 1;
    // Sent after the lock is released: the console thread takes the lock for channel stop.
    KOVIR_SendText("SERIAL_DEVICE_Open(COM%d) Failed!", port);
    DEBUG_Trace("[Ch %d] g_hSerialDevice == NULL\n", channel);
    return 0;
}

void SERIAL_PORT_DoReading(int channel) {
    ChannelBuffers& b = s_buffers[channel];
    int n = SERIAL_PORT_Read(channel, b.rx, 0, SERIAL_RX_BUFFER_SIZE);
    if (n > 0) {
        b.stats.reads += 1;
        b.stats.bytesRead += static_cast<uint64_t>(n);
        if (SerialReceiveHook hook = s_receiveHook) hook(channel, b.rx, 0, n);
    } else if (n < 0) {
        DEBUG_Trace("[Ch %d] SERIAL_PORT_DoReading read_size < 0\n", channel);
        MarkGone(channel);
    }
}

int SERIAL_PORT_Read(int channel, uint8_t* buffer, int offset, int maxBytes) {
    SerialHandle device = SERIAL_PORT_Device(channel);
    if (!device) return 0;
    return SERIAL_DEVICE_Read(channel, device.get(), buffer, offset, maxBytes);
}

int SERIAL_PORT_Write(int channel, const uint8_t* buffer, int offset, int length) {
    WritePause(channel);
    SerialHandle device = SERIAL_PORT_Device(channel);
    if (!device) return -1;
    const int n = SERIAL_DEVICE_Write(channel, device.get(), buffer, offset, length);
    if (n < 0) MarkGone(channel);
    return n;
}

void SERIAL_PORT_PutByte(int channel, uint8_t byte) {
    ChannelBuffers& b = s_buffers[channel];
    b.tx[b.txFill] = byte;
    SERIAL_PORT_TxCommit(channel, 1);
}

uint8_t* SERIAL_PORT_TxSpace(int channel, int* room) {
    ChannelBuffers& b = s_buffers[channel];
    *room = SERIAL_TX_FLUSH_AT - b.txFill;
    return b.tx + b.txFill;
}

void SERIAL_PORT_TxCommit(int channel, int count) {
    ChannelBuffers& b = s_buffers[channel];
    b.txFill += count;
    if (b.txFill >= SERIAL_TX_FLUSH_AT) SERIAL_PORT_Flush(channel);
}

void SERIAL_PORT_Flush(int channel) {
    ChannelBuffers& b = s_buffers[channel];
    // After a failed or short write the line holds a cut frame: what would follow it could
    // not be told from the loader's point of view, so it is dropped.
    if (b.txFill > 0 && !b.writeFailed) {
        int n = SERIAL_PORT_Write(channel, b.tx, 0, b.txFill);
        b.stats.writes += 1;
        if (n > 0) b.stats.bytesWritten += static_cast<uint64_t>(n);
        if (n != b.txFill) b.writeFailed = true;
    }
    b.txFill = 0;
}

bool SERIAL_PORT_WriteFailed(int channel) { return s_buffers[channel].writeFailed; }

void SERIAL_PORT_WaitInput(int channel, int timeoutMs) {
    SerialHandle device = SERIAL_PORT_Device(channel);
    if (device) {
        SERIAL_DEVICE_WaitReadable(device.get(), timeoutMs);
    } else {
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
    }
}
