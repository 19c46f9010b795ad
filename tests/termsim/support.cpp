#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>


PortClient::PortClient(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios tio{};
    if (ioctl(m_fd, TIOCEXCL) != 0 || flock(m_fd, LOCK_EX | LOCK_NB) != 0 ||
        tcgetattr(m_fd, &tio) != 0) {
        close(m_fd);
        m_fd = -1;
        return;
    }
    cfmakeraw(&tio);
    tcsetattr(m_fd, TCSANOW, &tio);
    tcflush(m_fd, TCIOFLUSH);
}

PortClient::~PortClient() {
    if (m_fd < 0)
        return;
    ioctl(m_fd, TIOCNXCL);  // the simulator keeps the line open; let the next client in
    close(m_fd);
}

bool PortClient::Send(const wire::Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_fd, POLLOUT, 0};
            if (poll(&p, 1, 5000) <= 0 || (p.revents & (POLLHUP | POLLERR)))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool PortClient::ReadMore(std::chrono::milliseconds timeout) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0 || !(p.revents & POLLIN))
        return false;
    uint8_t buffer[4096];
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_pending.insert(m_pending.end(), buffer, buffer + n);
    return true;
}

std::vector<wire::Answer> PortClient::Answers(size_t count, std::chrono::milliseconds timeout) {
    std::vector<wire::Answer> answers;
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::vector<wire::Answer> parsed = m_reader.Feed(m_pending);
        answers.insert(answers.end(), parsed.begin(), parsed.end());
        m_pending.clear();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (answers.size() >= count || left.count() <= 0 || !ReadMore(left))
            return answers;
    }
}

wire::Bytes PortClient::Drain(std::chrono::milliseconds quiet) {
    while (ReadMore(quiet)) {
    }
    wire::Bytes all;
    all.swap(m_pending);
    return all;
}

void SimTest::StartSim(int count, const std::vector<std::string>& faults, uint64_t seed,
                       long baud) {
    options = SimOptions(count, 1, dir.File("ports"), dir.File("flash"), faults, seed, baud);
    std::string error;
    ASSERT_TRUE(sim.Start(options, &error)) << error;
}

std::string SimTest::Output(int terminal, const std::string& file) const {
    return options.flashDir + "/COM" + std::to_string(sim.ComNumber(terminal)) + "/" + file;
}
