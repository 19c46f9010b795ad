#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

#include "serial/serial_baud.h"

// BOTHER takes the rate as a number, so 1382400 and other non-standard rates work on every
// driver that supports them, and the standard rates work the same way.
int SERIAL_BAUD_Set(int fd, int baud) {
    if (baud <= 0) return -1;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &tio);
}

int SERIAL_BAUD_Get(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    return static_cast<int>(tio.c_ospeed);
}

static_assert(sizeof(struct termios2) <= sizeof(SerialLineState::bytes), "termios2 does not fit");

int SERIAL_BAUD_SaveLine(int fd, SerialLineState* state) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    std::memcpy(state->bytes, &tio, sizeof tio);
    return 0;
}

int SERIAL_BAUD_RestoreLine(int fd, const SerialLineState& state) {
    struct termios2 tio {};
    std::memcpy(&tio, state.bytes, sizeof tio);
    return ioctl(fd, TCSETS2, &tio);
}
