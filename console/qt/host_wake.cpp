#include "console/qt/host_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>
#include <cstdio>

HostWake::HostWake(std::function<void()> handler) : m_handler(std::move(handler)) {
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0) {
        std::perror("kovirw: eventfd");
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnReadable(); });
}

HostWake::~HostWake() {
    m_notifier.reset();
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void HostWake::Wake() {
    if (m_fd < 0) {
        return;
    }
    const uint64_t one = 1;
    // It can fail only on a full counter, which leaves the descriptor readable all the same.
    [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void HostWake::OnReadable() {
    uint64_t count = 0;
    if (read(m_fd, &count, sizeof count) == sizeof count) {
        m_handler();
    }
}
