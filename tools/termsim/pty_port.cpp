#include "tools/termsim/pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/serial_baud.h"

namespace termsim {
namespace {

std::string SysError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

bool OpenPty(PtyPair* pty, std::string* error) {
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master < 0) {
        *error = SysError("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(pty->master) != 0 || unlockpt(pty->master) != 0 ||
        ptsname_r(pty->master, name, sizeof name) != 0) {
        *error = SysError("pseudo-terminal set-up");
        ClosePty(pty);
        return false;
    }
    pty->slavePath = name;
    pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (pty->slave < 0 || tcgetattr(pty->slave, &tio) != 0) {
        *error = SysError(name);
        ClosePty(pty);
        return false;
    }
    // Raw from the start: nothing is echoed or translated before the flasher sets the line up.
    cfmakeraw(&tio);
    const int flags = fcntl(pty->master, F_GETFL);
    if (tcsetattr(pty->slave, TCSANOW, &tio) != 0 || flags < 0 ||
        fcntl(pty->master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = SysError(name);
        ClosePty(pty);
        return false;
    }
    return true;
}

bool OpenDevice(PtyPair* pty, const std::string& path, long baud, std::string* error) {
    pty->slavePath = path;
    pty->master = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty->master < 0) {
        *error = SysError(path.c_str());
        return false;
    }
    termios tio{};
    const char* problem = nullptr;
    if (flock(pty->master, LOCK_EX | LOCK_NB) != 0)
        problem = "in use by another program";
    else if (!isatty(pty->master) || tcgetattr(pty->master, &tio) != 0)
        problem = "not a serial device";
    if (problem == nullptr) {
        cfmakeraw(&tio);
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(pty->master, TCSANOW, &tio) != 0 ||
            SERIAL_BAUD_Set(pty->master, static_cast<int>(baud)) != 0)
            problem = "the line settings or the rate were refused";
    }
    if (problem != nullptr) {
        *error = path + ": " + problem;
        ClosePty(pty);
        return false;
    }
    tcflush(pty->master, TCIOFLUSH);
    return true;
}

void ClosePty(PtyPair* pty) {
    if (pty->slave >= 0) close(pty->slave);
    if (pty->master >= 0) close(pty->master);
    pty->slave = -1;
    pty->master = -1;
}

bool CloseWatch::Start(const std::string& slavePath) {
    Stop();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) return false;
    if (inotify_add_watch(m_fd, slavePath.c_str(), IN_CLOSE) < 0) {
        Stop();
        return false;
    }
    return true;
}

void CloseWatch::Stop() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

bool CloseWatch::ClosedSince() {
    bool closed = false;
    alignas(inotify_event) char buffer[1024];
    while (read(m_fd, buffer, sizeof buffer) > 0) closed = true;  // only IN_CLOSE is watched
    return closed;
}

}  // namespace termsim
