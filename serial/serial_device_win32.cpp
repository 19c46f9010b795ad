#include <windows.h>
// windows.h first: mmsystem.h needs its types.
#include <mmsystem.h>

#include <atomic>
#include <cstdint>

#include "core/debug_trace.h"
#include "core/utf16_win32.h"
#include "serial/port_directory.h"
#include "serial/serial_device.h"

struct SerialDevice {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The overlapped records of this device's reads and writes. They belong to the device,
    // not to the channel, and go with its last reference: a Close on the console thread
    // must never close an event that the worker is waiting on.
    OVERLAPPED osRead{};
    OVERLAPPED osWrite{};
    HANDLE closeEvent = nullptr;  // set by Close: ends a read, write or wait in progress
    std::atomic<bool> closed{false};
    std::atomic<bool> drained{false};  // the worker's drain saw the output queue empty
    COMMTIMEOUTS timeouts{};
    int baud = 0;
    std::string path;

    ~SerialDevice() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        for (HANDLE event : {osRead.hEvent, osWrite.hEvent, closeEvent}) {
            if (event != nullptr) CloseHandle(event);
        }
    }
};

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr int kDrainLimitMs = 500;
// Bytes the driver reported queued are there: their read ends at once. The bound only
// keeps a misbehaving driver from holding the channel.
constexpr DWORD kQueuedReadWaitMs = 1000;

// Waits for an overlapped operation to end, or for Close; then cancels what is still
// running and waits for it, since the record and the buffer are in use until it ended.
// Returns 1 when it succeeded, 0 when we cancelled it (time-out or Close), -1 when it
// failed; *count holds the bytes it moved in every case.
int AwaitOverlapped(SerialDevice* d, OVERLAPPED* op, DWORD timeoutMs, DWORD* count) {
    HANDLE events[2] = {op->hEvent, d->closeEvent};
    bool cancelled = false;
    if (WaitForMultipleObjects(2, events, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        cancelled = CancelIoEx(d->handle, op) != 0;  // false: it ended meanwhile
    }
    *count = 0;
    if (GetOverlappedResult(d->handle, op, count, TRUE)) return 1;
    return cancelled && GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
}

// Bytes in the driver's output queue; -1 when the device is gone.
int64_t OutputQueued(SerialDevice* d) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(d->handle, &errors, &status)) return -1;
    return status.cbOutQue;
}

void ResetRecord(OVERLAPPED* op) {
    op->Offset = 0;
    op->OffsetHigh = 0;
    ResetEvent(op->hEvent);
}

}  // namespace

SerialHandle SERIAL_DEVICE_Open(int channel, int comPortNumber, int baudRate) {
    return SERIAL_DEVICE_OpenPath(channel, PORT_DIRECTORY_EntryPath(comPortNumber), baudRate);
}

SerialHandle SERIAL_DEVICE_OpenPath(int channel, const std::string& path, int baudRate) {
    std::wstring name;
    if (!UTF16_FromUtf8(path, &name)) return nullptr;
    auto d = std::make_shared<SerialDevice>();
    d->path = path;
    // Share mode 0: no other program may have the port while we do, nor open it after us.
    d->handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (d->handle == INVALID_HANDLE_VALUE) {
        DEBUG_Trace("[Ch %d] CreateFile(%s) False = %lu\n", channel, path.c_str(), GetLastError());
        return nullptr;
    }
    SetCommMask(d->handle, EV_RXCHAR);
    SetupComm(d->handle, 4096, 4096);
    PurgeComm(d->handle, kPurgeAll);
    d->timeouts.ReadIntervalTimeout = 5000;
    d->timeouts.WriteTotalTimeoutConstant = SERIAL_WRITE_TIMEOUT_MS;
    SetCommTimeouts(d->handle, &d->timeouts);
    d->baud = baudRate;

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(d->handle, &dcb);
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // The images are binary: a driver left with software flow control would swallow 0x11
    // and 0x13, one with NUL stripping every 0x00, one that aborts on a line error every
    // write after it. Hardware flow control and the DTR/RTS modes stay as the driver has them.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(d->handle, &dcb)) {
        DEBUG_Trace("[Ch %d] SetCommState False\n", channel);
        return nullptr;
    }
    // Unnamed, manual reset, not signalled.
    d->osRead.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (d->osRead.hEvent == nullptr) {
        DEBUG_Trace("[Ch %d] g_osRead CreateEvent False\n", channel);
        return nullptr;
    }
    d->osWrite.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    d->closeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (d->osWrite.hEvent == nullptr || d->closeEvent == nullptr) {
        DEBUG_Trace("[Ch %d] g_osWrite CreateEvent False\n", channel);
        return nullptr;
    }
    DEBUG_Trace("SERIAL_DEVICE_Open() %s, BaudRate:%d\n", path.c_str(), baudRate);
    return d;
}

bool SERIAL_DEVICE_Drain(SerialDevice* handle) {
    if (handle == nullptr) return true;
    int64_t queued = OutputQueued(handle);
    if (queued < 0) return false;  // device gone
    const DWORD limitMs =
        kDrainLimitMs + static_cast<DWORD>(SERIAL_LineTimeMs(queued, handle->baud));
    const DWORD start = GetTickCount();
    while (queued > 0) {
        if (handle->closed.load(std::memory_order_relaxed)) return false;
        if (GetTickCount() - start >= limitMs) return false;
        WaitForSingleObject(handle->closeEvent, 1);  // a close ends the pause at once
        queued = OutputQueued(handle);
        if (queued < 0) return false;
    }
    handle->drained = true;
    return true;
}

void SERIAL_DEVICE_Close(int /*channel*/, const SerialHandle& handle) {
    if (handle && !handle->closed.exchange(true)) {
        SetEvent(handle->closeEvent);
        SetCommMask(handle->handle, 0);
        EscapeCommFunction(handle->handle, CLRDTR);
        EscapeCommFunction(handle->handle, CLRRTS);
        // Queued output is discarded unless the worker drained it, so a stop returns at once
        // and a stopped channel's blocks stay off the line. After a drain only input is
        // discarded: a driver that reports its queue empty too early (a pseudo-terminal
        // under wine) still holds bytes the other side has not read, the loader's GO among
        // them.
        PurgeComm(handle->handle, handle->drained ? PURGE_RXABORT | PURGE_RXCLEAR : kPurgeAll);
        // The handle itself is closed with the last reference (a worker inside a call).
    }
    DEBUG_Trace("SERIAL_DEVICE_Close()\n");
}

int SERIAL_DEVICE_Read(int channel, SerialDevice* handle, uint8_t* buffer, int offset,
                       int maxBytes) {
    if (handle == nullptr || handle->closed.load(std::memory_order_relaxed)) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    // A device that is gone (adapter pulled: errors 21, 22, 1167 and the like) fails here.
    if (!ClearCommError(handle->handle, &errors, &status)) {
        DEBUG_Trace("[Ch %d] ClearCommError False = %lu\n", channel, GetLastError());
        return -1;
    }
    const DWORD room = maxBytes > 0 ? static_cast<DWORD>(maxBytes) : 0;
    const DWORD count = status.cbInQue < room ? status.cbInQue : room;
    if (count == 0) return 0;
    ResetRecord(&handle->osRead);
    DWORD n = 0;
    if (!ReadFile(handle->handle, buffer + offset, count, &n, &handle->osRead)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        // The read may end later even for queued bytes (wine always does so); an abandoned
        // read would land in the buffer afterwards, so it is waited for.
        // A read we cancelled took nothing (or what it reports): the bytes stay queued.
        if (AwaitOverlapped(handle, &handle->osRead, kQueuedReadWaitMs, &n) < 0 && n == 0) {
            return -1;
        }
    }
    if (n == 0) return 0;
    DEBUG_Trace("dwLength = %lu\n", n);
    return static_cast<int>(n);
}

int SERIAL_DEVICE_Write(int channel, SerialDevice* handle, const uint8_t* buffer, int offset,
                        int length) {
    if (handle == nullptr || length <= 0) return length == 0 ? 0 : -1;
    if (handle->closed.load(std::memory_order_relaxed)) return 0;
    // The driver's write time-out also covers the line time of these bytes and of those
    // queued ahead of them, so a slow line is not taken for a stalled one.
    const int64_t queued = OutputQueued(handle);
    const int64_t boundMs = SERIAL_WRITE_TIMEOUT_MS +
                            SERIAL_LineTimeMs(length + (queued > 0 ? queued : 0), handle->baud);
    if (handle->timeouts.WriteTotalTimeoutConstant != static_cast<DWORD>(boundMs)) {
        handle->timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(boundMs);
        SetCommTimeouts(handle->handle, &handle->timeouts);
    }
    ResetRecord(&handle->osWrite);
    DWORD n = 0;
    if (!WriteFile(handle->handle, buffer + offset, static_cast<DWORD>(length), &n,
                   &handle->osWrite)) {
        DWORD errors = 0;
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            // A device that is gone fails here (wine: a pseudo-terminal whose other end
            // closed) and the port service counts the channel gone.
            DEBUG_Trace("[Ch %d] WriteFile False = %lu\n", channel, error);
            ClearCommError(handle->handle, &errors, nullptr);
            return -1;
        }
        // The driver ends the write after the write time-out; the wait gives it a margin.
        if (AwaitOverlapped(handle, &handle->osWrite, static_cast<DWORD>(boundMs) + 1000, &n) < 0 &&
            n == 0) {
            DEBUG_Trace("[Ch %d] GetOverlappedResult(write) False = %lu\n", channel,
                        GetLastError());
            ClearCommError(handle->handle, &errors, nullptr);
            return -1;
        }
    }
    if (n > 0) DEBUG_Trace("dwBytesWritten = %lu\n", n);
    return static_cast<int>(n);
}

void SERIAL_DEVICE_WaitReadable(SerialDevice* handle, int timeoutMs) {
    // One poll's pause; Close ends it early. (The run keeps the system timer at 1 ms.)
    if (handle == nullptr || handle->closed.load(std::memory_order_relaxed)) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return;
    }
    WaitForSingleObject(handle->closeEvent, static_cast<DWORD>(timeoutMs));
}

int SERIAL_DEVICE_GetBaud(SerialDevice* handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (handle == nullptr || !GetCommState(handle->handle, &dcb)) return -1;
    return static_cast<int>(dcb.BaudRate);
}

const std::string& SERIAL_DEVICE_Path(SerialDevice* handle) { return handle->path; }

// The default timer tick is about 15.6 ms: a poll's 1 ms pause would last that long and a
// 30000-poll wait minutes.
void SERIAL_DEVICE_BeginRun() { timeBeginPeriod(1); }
void SERIAL_DEVICE_EndRun() { timeEndPeriod(1); }
