#include "support.h"

bool PortClient::Send(const wire::Bytes& bytes) {
    const int n = static_cast<int>(bytes.size());
    return m_device && SERIAL_DEVICE_Write(0, m_device.get(), bytes.data(), 0, n) == n;
}

bool PortClient::ReadMore(std::chrono::milliseconds timeout) {
    if (!m_device) return false;
    SERIAL_DEVICE_WaitReadable(m_device.get(), static_cast<int>(timeout.count()));
    uint8_t buffer[4096];
    const int n = SERIAL_DEVICE_Read(0, m_device.get(), buffer, 0, sizeof buffer);
    if (n <= 0) return false;
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
        if (answers.size() >= count || left.count() <= 0 || !ReadMore(left)) return answers;
    }
}

wire::Bytes PortClient::Drain(std::chrono::milliseconds quiet) {
    while (ReadMore(quiet)) {
    }
    wire::Bytes all;
    all.swap(m_pending);
    return all;
}
