#include "tests/support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "loader/crc16.h"
#include "serial/port_directory.h"

ScopedPortDir::ScopedPortDir() {
    if (m_scratch.Path().empty()) throw std::runtime_error("no scratch directory");
    if (const char* old = std::getenv("KOVIRW_PORT_DIR")) {
        m_previous = old;
        m_hadPrevious = true;
    }
    setenv("KOVIRW_PORT_DIR", m_scratch.Path().c_str(), 1);
}

ScopedPortDir::~ScopedPortDir() {
    if (m_hadPrevious) {
        setenv("KOVIRW_PORT_DIR", m_previous.c_str(), 1);
    } else {
        unsetenv("KOVIRW_PORT_DIR");
    }
}

PtyPeer::PtyPeer(int comPort) {
    int slave = -1;
    char name[256];
    if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty");
    struct termios tio {};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    m_slaveKeep = slave;  // keeps the master from seeing hang-ups while the engine reopens
    m_slavePath = name;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_entry = PORT_DIRECTORY_EntryPath(comPort);
    unlink(m_entry.c_str());
    if (symlink(m_slavePath.c_str(), m_entry.c_str()) != 0) throw std::runtime_error("symlink");
    DEFRAMER_Reset(m_deframer);
}

PtyPeer::~PtyPeer() { Unplug(); }

void PtyPeer::Unplug() {
    if (m_master >= 0) ::close(m_master);
    if (m_slaveKeep >= 0) ::close(m_slaveKeep);
    m_master = m_slaveKeep = -1;
    if (!m_entry.empty()) unlink(m_entry.c_str());
}

void PtyPeer::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{m_master, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

void PtyPeer::Answer(uint8_t seq, uint8_t code, uint8_t reason) {
    std::vector<uint8_t> body = {seq, code, 0x00, reason, 0, 0};
    uint32_t crc;
    CRC16_Append(crc, body.data(), 1, 3);
    std::vector<uint8_t> wire(FRAME_MaxEncodedSize(static_cast<int>(body.size())));
    wire.resize(FRAME_Encode(body.data(), 0, static_cast<int>(body.size()), wire.data()));
    Write(wire);
}

std::vector<uint8_t> PtyPeer::ReadSome(int timeoutMs, int quietMs) {
    std::vector<uint8_t> out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[65536];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_master, POLLIN, 0};
        int wait = out.empty() ? 10 : quietMs;
        if (poll(&p, 1, wait) <= 0) {
            if (!out.empty()) break;
            continue;
        }
        ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) out.insert(out.end(), buf, buf + n);
        if (n <= 0 && !(p.revents & POLLIN)) break;
    }
    return out;
}

namespace {
void Collect(void* context, const uint8_t* body, int length) {
    static_cast<std::vector<std::vector<uint8_t>>*>(context)->emplace_back(body, body + length);
}
}  // namespace

std::vector<std::vector<uint8_t>> PtyPeer::ReadFrames(size_t count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[65536];
    while (m_pending.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) DEFRAMER_Feed(m_deframer, buf, 0, static_cast<int>(n), Collect, &m_pending);
    }
    std::vector<std::vector<uint8_t>> out;
    size_t take = m_pending.size() < count ? m_pending.size() : count;
    out.assign(m_pending.begin(), m_pending.begin() + static_cast<long>(take));
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(take));
    return out;
}
