#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/debug_trace.h"
#include "serial/port_directory.h"
#include "serial/serial_baud.h"
#include "serial/serial_device.h"

struct SerialDevice {
    int fd = -1;
    int wakeFd = -1;  // eventfd: Close signals it so a waiting writer returns at once
    std::atomic<bool> closed{false};
    std::atomic<bool> drained{false};  // the worker's drain saw the output queue empty
    bool exclusive = false;            // we set TIOCEXCL
    bool lineSaved = false;            // savedLine holds the settings the device had before us
    SerialLineState savedLine{};
    int lineBytesPerSecond = 0;  // baud / 10: start bit, 8 data bits, stop bit
    std::string path;

    ~SerialDevice() {
        if (fd >= 0) {
            // The device is given back as we found it: another program (or a terminal the
            // port entry led to) must not be left raw at our rate.
            if (lineSaved) SERIAL_BAUD_RestoreLine(fd, savedLine);
            // Exclusive mode belongs to the terminal, not to our descriptor: lift what we
            // set, so a terminal that another process also holds open does not stay locked.
            if (exclusive) ioctl(fd, TIOCNXCL);
            ::close(fd);  // releases the flock too
        }
        if (wakeFd >= 0) ::close(wakeFd);
    }
};

namespace {

constexpr int kDrainLimitMs = 500;

// Raw 8N1: no echo, no line editing, no signals, no CR/LF translation, no XON/XOFF (binary
// data contains 0x11 and 0x13). Hardware flow control is left as the driver has it.
bool ApplyLineSettings(int channel, int fd, int baudRate) {
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) {
        DEBUG_Trace("[Ch %d] tcgetattr False = %d\n", channel, errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || SERIAL_BAUD_Set(fd, baudRate) != 0) {
        DEBUG_Trace("[Ch %d] SetCommState False\n", channel);
        return false;
    }
    return true;
}

}  // namespace

SerialHandle SERIAL_DEVICE_Open(int channel, int comPortNumber, int baudRate) {
    // A port entry in a directory that another user could have planted may lead to their
    // device: the images must not go there.
    std::string why;
    if (!PORT_DIRECTORY_Check(PORT_DIRECTORY_Path(), &why)) {
        DEBUG_Trace("[Ch %d] CreateFile(COM%d) False: %s\n", channel, comPortNumber, why.c_str());
        return nullptr;
    }
    return SERIAL_DEVICE_OpenPath(channel, PORT_DIRECTORY_EntryPath(comPortNumber), baudRate);
}

SerialHandle SERIAL_DEVICE_OpenPath(int channel, const std::string& path, int baudRate) {
    auto device = std::make_shared<SerialDevice>();
    device->path = path;
    device->fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0) {
        DEBUG_Trace("[Ch %d] CreateFile(%s) False = %d\n", channel, path.c_str(), errno);
        return nullptr;
    }
    // The operator's own terminal (/dev/tty, or the device it stands for) would get the
    // loader's frames on the screen and be left raw.
    if (isatty(device->fd) && tcgetsid(device->fd) == getsid(0)) {
        DEBUG_Trace("[Ch %d] CreateFile(%s) False (the controlling terminal)\n", channel,
                    path.c_str());
        return nullptr;
    }
    // The lock first: TIOCEXCL on a port that another program holds would lock that
    // program out of its own port once we give up. Root passes TIOCEXCL, not the lock.
    if (flock(device->fd, LOCK_EX | LOCK_NB) != 0) {
        DEBUG_Trace("[Ch %d] CreateFile(%s) False = %d (in use)\n", channel, path.c_str(), errno);
        return nullptr;
    }
    if (!isatty(device->fd) || ioctl(device->fd, TIOCEXCL) != 0) {
        DEBUG_Trace("[Ch %d] CreateFile(%s) False = %d (not a serial device)\n", channel,
                    path.c_str(), errno);
        return nullptr;
    }
    device->exclusive = true;
    device->lineSaved = SERIAL_BAUD_SaveLine(device->fd, &device->savedLine) == 0;
    if (!ApplyLineSettings(channel, device->fd, baudRate)) return nullptr;
    // Drivers round a rate to what their chip can divide, and some put another rate in place
    // without an error (ftdi_sio sets 9600 when asked for more than 3 Mbaud). A UART samples
    // each bit in its middle, so a terminal keeps up with a few per cent; beyond that its
    // loader would see only damaged frames, and the channel would wait out its timeouts.
    const int got = SERIAL_BAUD_Get(device->fd);
    if (got <= 0 || std::abs(int64_t{got} - baudRate) * 100 > int64_t{baudRate} * 3) {
        DEBUG_Trace("[Ch %d] SetCommState(%s) False: asked for %d baud, the driver runs %d\n",
                    channel, path.c_str(), baudRate, got);
        return nullptr;
    }
    if (got != baudRate)
        DEBUG_Trace("[Ch %d] %s runs at %d baud for %d\n", channel, path.c_str(), got, baudRate);
    device->lineBytesPerSecond = got / 10;
    tcflush(device->fd, TCIOFLUSH);
    device->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (device->wakeFd < 0) {
        DEBUG_Trace("[Ch %d] g_osWrite CreateEvent False\n", channel);
        return nullptr;
    }
    DEBUG_Trace("SERIAL_DEVICE_Open() %s, BaudRate:%d\n", path.c_str(), baudRate);
    return device;
}

bool SERIAL_DEVICE_Drain(SerialDevice* handle) {
    if (handle == nullptr) return true;
    int queued = 0;
    if (ioctl(handle->fd, TIOCOUTQ, &queued) != 0) return false;  // device gone
    const int limitMs = kDrainLimitMs + static_cast<int>(SERIAL_LineTimeMs(
                                            queued, handle->lineBytesPerSecond * 10));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (queued > 0) {
        if (handle->closed.load(std::memory_order_relaxed)) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd p{handle->wakeFd, POLLIN, 0};
        poll(&p, 1, 1);  // the wake-up of a close ends the pause at once
        if (ioctl(handle->fd, TIOCOUTQ, &queued) != 0) return false;
    }
    handle->drained = true;
    return true;
}

void SERIAL_DEVICE_Close(int /*channel*/, const SerialHandle& handle) {
    if (handle && !handle->closed.exchange(true)) {
        uint64_t one = 1;
        if (::write(handle->wakeFd, &one, sizeof one) < 0) {
            // The counter cannot overflow with one increment; nothing to do.
        }
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(handle->fd, TIOCMBIC, &lines);  // a pseudo-terminal has no modem lines: ENOTTY
        // Queued output is discarded unless it was drained, so a stop returns at once and a
        // stopped channel's blocks stay off the line; with nothing queued, close() has
        // nothing to wait for (the kernel would otherwise let output drain for up to 30 s).
        // After a drain only input is discarded: a pseudo-terminal reports its output queue
        // empty while the other side has not read it yet, and flushing would discard it.
        tcflush(handle->fd, handle->drained ? TCIFLUSH : TCIOFLUSH);
    }
    DEBUG_Trace("SERIAL_DEVICE_Close()\n");
}

int SERIAL_DEVICE_Read(int /*channel*/, SerialDevice* handle, uint8_t* buffer, int offset,
                       int maxBytes) {
    if (handle == nullptr || handle->closed.load(std::memory_order_relaxed)) return 0;
    int queued = 0;
    if (ioctl(handle->fd, FIONREAD, &queued) != 0) return -1;  // EIO: the device went away
    if (queued <= 0) {
        // Nothing queued; a hung-up device also reports nothing, so ask the driver.
        pollfd p{handle->fd, POLLIN, 0};
        if (poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return -1;
        return 0;
    }
    int count = queued < maxBytes ? queued : maxBytes;
    ssize_t n = ::read(handle->fd, buffer + offset, static_cast<size_t>(count));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1;  // end of file on a terminal: the other side is gone
}

int SERIAL_DEVICE_Write(int /*channel*/, SerialDevice* handle, const uint8_t* buffer, int offset,
                        int length) {
    if (handle == nullptr || length <= 0) return length == 0 ? 0 : -1;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    Clock::time_point deadline{};  // set once the driver first refuses bytes
    int done = 0;
    bool lineTimeTried = false;  // since the last bytes were taken
    while (done < length && !handle->closed.load(std::memory_order_relaxed)) {
        ssize_t n = ::write(handle->fd, buffer + offset + done, static_cast<size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
            lineTimeTried = false;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // A device that failed under the write has lost what it took: the count would hide
        // the failure from the caller.
        if (n < 0 && errno != EAGAIN) return -1;
        if (deadline == Clock::time_point{}) {
            // The bound also covers the line time of the bytes still to go and of those
            // queued ahead of them, so a slow line is not taken for a stalled one. Asked
            // only now: a write the driver takes at once needs no bound.
            int queued = 0;
            if (ioctl(handle->fd, TIOCOUTQ, &queued) != 0) queued = 0;
            deadline = start + std::chrono::milliseconds(
                                   SERIAL_WRITE_TIMEOUT_MS +
                                   SERIAL_LineTimeMs(int64_t{length} - done + queued,
                                                     handle->lineBytesPerSecond * 10));
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        int waitMs = static_cast<int>(left.count());
        if (handle->lineBytesPerSecond > 0 && !lineTimeTried) {
            // A serial driver reports room only once its queue has nearly run dry (below 256
            // bytes, under 2 ms of a 1382400-baud line), and the next write begins with the
            // write pause: the line would stand idle. The line has room for the rest once it
            // has had the time to send that many bytes, so try again then. A driver that
            // frees its queue in larger pieces (a pseudo-terminal) may still refuse: then
            // its own notice is awaited, so a stalled line costs no extra wake-ups.
            lineTimeTried = true;
            const int64_t rest = length - done;
            const int64_t lineMs =
                (rest * 1000 + handle->lineBytesPerSecond - 1) / handle->lineBytesPerSecond;
            waitMs = static_cast<int>(std::min<int64_t>(waitMs, std::max<int64_t>(1, lineMs)));
        }
        struct pollfd p[2] = {{handle->fd, POLLOUT, 0}, {handle->wakeFd, POLLIN, 0}};
        int r = poll(p, 2, waitMs);
        if (r < 0 && errno != EINTR) return -1;
        if (p[1].revents != 0) break;  // closed while we waited
        if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    }
    return done;
}

void SERIAL_DEVICE_WaitReadable(SerialDevice* handle, int timeoutMs) {
    if (handle == nullptr || handle->closed.load(std::memory_order_relaxed)) {
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        return;
    }
    struct pollfd p[2] = {{handle->fd, POLLIN, 0}, {handle->wakeFd, POLLIN, 0}};
    if (poll(p, 2, timeoutMs) == 1 && (p[0].revents & (POLLHUP | POLLERR))) {
        // A hung-up device reports itself at once and forever: keep the pause so that a
        // caller polling it does not spin until the reader step notices.
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
    }
}

int SERIAL_DEVICE_GetBaud(SerialDevice* handle) {
    return handle == nullptr ? -1 : SERIAL_BAUD_Get(handle->fd);
}

const std::string& SERIAL_DEVICE_Path(SerialDevice* handle) { return handle->path; }

// The system timer is fine enough for a 1 ms pause.
void SERIAL_DEVICE_BeginRun() {}
void SERIAL_DEVICE_EndRun() {}
