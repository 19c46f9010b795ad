#include "tools/termsim/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/port_directory.h"

namespace termsim {
namespace {

// Reading in bursts of about 4 ms of line time keeps the pace smooth without waking up
// for every few bytes.
constexpr double kBurstSeconds = 0.004;
// A busy line goes on carrying bytes while the terminal's thread wakes up late: the bucket
// holds several bursts, so a late read takes what the line delivered meanwhile instead of
// losing that line time (waking late by 0.1 ms per 4 ms burst would lose 2.5% of the rate).
// Eight terminals and a flasher on two busy cores wake up tens of ms late now and then: with
// 16 ms of catch-up a 3,000,000-baud run carried 0.90 to 0.95 of the line, with 48 ms 0.99.
constexpr double kCatchUpBursts = 12;
// A pseudo-terminal hands the writer's bytes on to our side in steps (a kernel worker moves
// them once our side has nearly run dry), and its queued count does not show those still on
// their way: an emptied queue is a line fallen idle only when nothing follows by our next
// look at the line, one burst later. Taking every empty moment for idleness lost about 1% of
// a 3,000,000-baud line. A real gap of the writer shorter than that passes as line time.
constexpr auto kHandOverGrace =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBurstSeconds));

}  // namespace

Terminal::Terminal(TerminalConfig config)
    : m_config(std::move(config)),
      m_plan(m_config.faults, m_config.seed, m_config.index, m_stats),
      m_loader(m_plan, m_stats, *this),
      m_writer(m_config.outputDir) {}

Terminal::~Terminal() {
    Join();
    Close();
}

bool Terminal::Open(std::string* error) {
    if (!m_config.device.empty())
        return OpenDevice(&m_pty, m_config.device, m_config.deviceBaud, error);
    if (!OpenPty(&m_pty, error)) return false;
    if (!m_closes.Start(m_pty.slavePath)) {
        std::fprintf(stderr,
                     "termsim: COM%d: cannot watch %s for closes; a flasher that leaves it in "
                     "exclusive mode locks others out\n",
                     m_config.com, m_pty.slavePath.c_str());
    }
    const PortPublish published =
        PORT_DIRECTORY_Publish(m_config.entryPath, m_pty.slavePath, error);
    if (published == PortPublish::kTaken)
        *error = m_config.entryPath + " already exists (another simulator or a user's port?)";
    if (published != PortPublish::kPublished) {
        ClosePty(&m_pty);
        return false;
    }
    return true;
}

void Terminal::Start(int stopFd) {
    const Clock::time_point now = Clock::now();
    if (m_config.baud > 0) {
        // 10 bits on the line per byte: start, 8 data, stop.
        const double bytesPerSecond = m_config.baud / 10.0;
        const double burst = std::max(16.0, bytesPerSecond * kBurstSeconds);
        m_rxPace.Configure(bytesPerSecond, burst * kCatchUpBursts, now);
        m_rxPace.Idle(now);  // the line starts with nothing to carry
        m_txPace.Configure(bytesPerSecond, std::max<double>(burst, EncodedCapacity(kAnswerBody)),
                           now);
    }
    m_inputHoldUntil = now;
    m_thread = std::thread([this, stopFd] { Run(stopFd); });
}

void Terminal::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void Terminal::Close() {
    if (m_pty.master >= 0) PORT_DIRECTORY_Withdraw(m_config.entryPath, m_pty.slavePath);
    m_closes.Stop();
    ClosePty(&m_pty);
}

TerminalCounters Terminal::Counters() const {
    TerminalCounters c = m_stats.Copy();
    c.sessions = Sessions();
    c.unplugged = m_unplugged.load();
    return c;
}

bool Terminal::WaitSessions(uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_resultLock);
    return m_sessionDone.wait_for(lock, timeout, [&] { return Sessions() >= count; });
}

std::vector<FlashRange> Terminal::LastFlash() const {
    std::lock_guard<std::mutex> lock(m_resultLock);
    return m_lastFlash.Snapshot();
}

std::vector<FlashRange> Terminal::CurrentFlash() const {
    if (m_thread.joinable()) return {};  // the terminal's thread owns the loader while it runs
    return m_loader.InSession() ? m_loader.SessionFlash().Snapshot() : LastFlash();
}

std::vector<std::string> Terminal::LastErrors() const {
    std::lock_guard<std::mutex> lock(m_resultLock);
    return m_lastErrors;
}

void Terminal::Run(int stopFd) {
    if (m_plan.UnplugAfter() == 0) {
        Unplug();
        return;
    }
    for (;;) {
        m_now = Clock::now();
        m_wake = Clock::time_point::max();
        Flush(m_now);

        bool wantInput = true;
        if (m_now < m_inputHoldUntil) {
            wantInput = false;
            m_wake = std::min(m_wake, m_inputHoldUntil);
        } else if (m_rxPace.Enabled() && m_rxPace.Available(m_now) < m_rxNeed) {
            wantInput = false;
            m_wake = std::min(m_wake, m_rxPace.ReadyAt(m_rxNeed));
        }

        pollfd fds[3] = {{stopFd, POLLIN, 0}, {m_pty.master, 0, 0}, {m_closes.Fd(), POLLIN, 0}};
        if (wantInput) fds[1].events |= POLLIN;
        if (m_waitWritable) fds[1].events |= POLLOUT;
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (m_wake != Clock::time_point::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::max(m_wake - m_now, Clock::duration::zero()));
            timeout.tv_sec = static_cast<time_t>(ns.count() / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns.count() % 1000000000);
            timeoutPtr = &timeout;
        }
        if (ppoll(fds, 3, timeoutPtr, nullptr) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "termsim: COM%d: poll: %s\n", m_config.com, std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if ((fds[2].revents & POLLIN) && m_closes.ClosedSince()) ioctl(m_pty.slave, TIOCNXCL);
        const short events = fds[1].revents;
        if (events & POLLOUT) m_waitWritable = false;
        if (events & POLLIN) {
            if (!ReadInput()) return;
        } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
            // A pseudo-terminal cannot hang up while our own slave descriptor is open; a real
            // device can (adapter unplugged). Leave rather than spin.
            std::fprintf(stderr, "termsim: COM%d: the line broke down\n", m_config.com);
            return;
        }
    }
}

bool Terminal::ReadInput() {
    m_now = Clock::now();
    if (m_drainedAt != Clock::time_point{}) {
        if (m_now - m_drainedAt > kHandOverGrace) m_rxPace.Idle(m_now);
        m_drainedAt = Clock::time_point{};
    }
    size_t want = std::min(sizeof m_rxBuffer, m_rxPace.Available(m_now));
    const uint64_t received = m_stats.bytesIn.load(std::memory_order_relaxed);
    want = static_cast<size_t>(std::min<uint64_t>(want, m_plan.UnplugAfter() - received));
    const ssize_t n = read(m_pty.master, m_rxBuffer, want);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        std::fprintf(stderr, "termsim: COM%d: read: %s\n", m_config.com, std::strerror(errno));
        return false;
    }
    if (n == 0) return true;
    m_rxPace.Take(static_cast<size_t>(n));
    if (m_rxPace.Enabled()) {
        // Wait for enough line time to take what is already waiting in one read (one burst
        // at most); with nothing waiting the line falls idle, unless more comes at once.
        int pending = 0;
        if (ioctl(m_pty.master, FIONREAD, &pending) != 0) pending = 0;
        const size_t burst = static_cast<size_t>(m_rxPace.Burst() / kCatchUpBursts);
        m_rxNeed = std::clamp<size_t>(static_cast<size_t>(pending), 1, std::max<size_t>(burst, 1));
        if (pending == 0) m_drainedAt = m_now;
    }

    m_plan.DamageReceived(m_rxBuffer, static_cast<size_t>(n));
    m_deframer.Feed(m_rxBuffer, static_cast<size_t>(n), m_loader);
    m_stats.overlongFrames.store(m_deframer.OverlongFrames(), std::memory_order_relaxed);
    // Counted once handled, so a reader that sees the count also sees every answer it caused.
    m_stats.Add(m_stats.bytesIn, static_cast<uint64_t>(n));

    if (received + static_cast<uint64_t>(n) >= m_plan.UnplugAfter()) {
        Unplug();
        return false;
    }
    return true;
}

void Terminal::SendAnswer(const uint8_t* body, size_t n, uint64_t holdMs) {
    if (m_plan.DropAnswer()) return;
    const int copies = m_plan.DuplicateAnswer() ? 2 : 1;
    const uint64_t delayMs =
        m_plan.DelayAnswer() ? static_cast<uint64_t>(m_plan.Faults().delayMs) : 0;
    Clock::time_point sendAt = m_now + std::chrono::milliseconds(holdMs + delayMs);
    // The loader is busy until its answer is ready; meanwhile the line input waits.
    if (holdMs > 0) m_inputHoldUntil = std::max(m_inputHoldUntil, sendAt);
    for (int copy = 0; copy < copies; ++copy) {
        if (m_queueCount == kQueueSize) {
            // Nobody has read the line for a long while: the answer falls on the floor.
            m_stats.Add(m_stats.answersLost);
            continue;
        }
        if (m_queueCount > 0) {
            const Outgoing& last = m_queue[(m_queueHead + m_queueCount - 1) % kQueueSize];
            sendAt = std::max(sendAt, last.sendAt);  // answers leave in the order they were made
        }
        Outgoing& out = m_queue[(m_queueHead + m_queueCount) % kQueueSize];
        out.sendAt = sendAt;
        out.sent = 0;
        out.length = static_cast<uint8_t>(EncodeFrame(body, n, out.bytes));
        m_plan.DamageSent(out.bytes, out.length);
        ++m_queueCount;
    }
    Flush(m_now);
}

void Terminal::Flush(Clock::time_point now) {
    while (m_queueCount > 0 && !m_waitWritable && m_pty.master >= 0) {
        Outgoing& out = m_queue[m_queueHead];
        if (out.sendAt > now) {
            m_wake = std::min(m_wake, out.sendAt);
            return;
        }
        const size_t remaining = out.length - out.sent;
        if (m_txPace.Available(now) < remaining) {
            m_wake = std::min(m_wake, m_txPace.ReadyAt(remaining));
            return;
        }
        const ssize_t n = write(m_pty.master, out.bytes + out.sent, remaining);
        if (n < 0) {
            if (errno == EAGAIN) {
                m_waitWritable = true;
            } else if (errno != EINTR) {
                m_stats.Add(m_stats.answersLost, m_queueCount);
                m_queueCount = 0;
            }
            return;
        }
        m_txPace.Take(static_cast<size_t>(n));
        m_stats.Add(m_stats.bytesOut, static_cast<uint64_t>(n));
        out.sent = static_cast<uint8_t>(out.sent + n);
        if (out.sent == out.length) {
            m_stats.Add(m_stats.answers);
            m_queueHead = (m_queueHead + 1) % kQueueSize;
            --m_queueCount;
        }
    }
}

void Terminal::OnSessionComplete(FlashModel& flash, const SessionLog& log) {
    Flush(Clock::now());  // the GO answer leaves before the files are written
    {
        std::lock_guard<std::mutex> lock(m_resultLock);
        m_lastFlash.Swap(flash);
        m_lastErrors = log.errors;
        if (log.errorsNotKept > 0)
            m_lastErrors.push_back("... and " + std::to_string(log.errorsNotKept) + " more");
    }
    const uint64_t number = Sessions() + 1;
    std::string error;
    if (!m_writer.Write(m_lastFlash, log, number, &error)) {
        m_stats.Add(m_stats.outputErrors);
        std::fprintf(stderr, "termsim: COM%d: session results not written: %s\n", m_config.com,
                     error.c_str());
    }
    {
        std::lock_guard<std::mutex> lock(m_resultLock);
        m_sessions.store(number, std::memory_order_release);
    }
    m_sessionDone.notify_all();
}

void Terminal::Unplug() {
    const bool fixed = m_config.faults.unplug && m_stats.bytesIn.load(std::memory_order_relaxed) >=
                                                     m_config.faults.unplugAfter;
    m_stats.AddFault(fixed ? FaultKind::kUnplug : FaultKind::kUnplugRandom);
    PORT_DIRECTORY_Withdraw(m_config.entryPath, m_pty.slavePath);
    m_closes.Stop();
    ClosePty(&m_pty);
    m_stats.Add(m_stats.answersLost, m_queueCount);
    m_queueCount = 0;
    m_unplugged.store(true);
}

}  // namespace termsim
