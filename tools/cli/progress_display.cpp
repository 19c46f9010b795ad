#include "tools/cli/progress_display.h"

#include <cstdio>

void ProgressDisplay::AddChannel(int channel, int port) {
    if (port != 0) m_bars.push_back(Bar{channel, port, "", 0, 100, ""});
}

void ProgressDisplay::SetPort(int channel, int port) {
    for (Bar& b : m_bars) {
        if (b.channel != channel) continue;
        b.port = port;
        m_dirty = true;
        return;
    }
    m_bars.push_back(Bar{channel, port, "", 0, 100, ""});
    m_dirty = true;
}

void ProgressDisplay::SetNote(int channel, const std::string& note) {
    for (Bar& b : m_bars) {
        if (b.channel != channel) continue;
        b.note = note;
        m_dirty = true;
    }
}

void ProgressDisplay::SetFooter(const std::string& text) {
    m_dirty = m_dirty || text != m_footer;
    m_footer = text;
}

void ProgressDisplay::Line(const std::string& text) {
    Erase();
    std::printf("%s\n", text.c_str());
    if (m_live) Draw();
    std::fflush(stdout);
}

void ProgressDisplay::SetBar(int channel, const std::string& text, long long position,
                             long long upper) {
    for (Bar& b : m_bars) {
        if (b.channel != channel) continue;
        b.text = text;
        b.position = position;
        b.upper = upper;
        m_dirty = true;
    }
}

void ProgressDisplay::Refresh() {
    if (!m_live || !m_dirty) return;
    auto now = std::chrono::steady_clock::now();
    if (now - m_lastDraw < std::chrono::milliseconds(100)) return;
    Erase();
    Draw();
    std::fflush(stdout);
}

void ProgressDisplay::Finish() {
    if (!m_live) return;
    Erase();
    Draw();
    m_drawn = 0;  // leave the last bars on the screen
    std::fflush(stdout);
}

void ProgressDisplay::Erase() {
    if (!m_live || m_drawn == 0) return;
    std::printf("\x1b[%dA\x1b[J", m_drawn);
    m_drawn = 0;
}

void ProgressDisplay::Draw() {
    constexpr int kWidth = 30;
    for (const Bar& b : m_bars) {
        long long filled = b.upper > 0 ? b.position * kWidth / b.upper : 0;
        if (filled < 0) filled = 0;
        if (filled > kWidth) filled = kWidth;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.resize(kWidth, '.');
        const std::string port = b.port != 0 ? "COM" + std::to_string(b.port) : "-";
        std::printf("CH%d %-6s [%s] %s%s%s\n", b.channel, port.c_str(), bar.c_str(), b.text.c_str(),
                    b.note.empty() ? "" : "  | ", b.note.c_str());
        ++m_drawn;
    }
    if (!m_footer.empty()) {
        std::printf("%s\n", m_footer.c_str());
        ++m_drawn;
    }
    m_dirty = false;
    m_lastDraw = std::chrono::steady_clock::now();
}
