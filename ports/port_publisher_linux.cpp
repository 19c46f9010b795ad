#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "ports/port_publisher.h"
#include "ports/ports_testing.h"
#include "ports/udev_monitor.h"
#include "ports/udev_port_map.h"

namespace {

std::atomic<bool> s_enabled{true};

// How often entries whose publisher has ended are looked for.
constexpr int kAdoptPeriodMs = 250;

}  // namespace

struct PortPublisher::State {
    Warn warn;
    UdevMonitor monitor;
    std::unique_ptr<UdevPortMap> map;
    mutable std::mutex mutex;  // guards map against Publishes
    int wakeFd = -1;
    std::thread thread;

    void Report(const std::string& error) {
        if (!error.empty() && warn) warn(error);
    }

    void Follow() {
        auto lastAdopt = std::chrono::steady_clock::now();
        for (;;) {
            pollfd fds[2] = {{monitor.Fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (poll(fds, 2, kAdoptPeriodMs) < 0 && errno != EINTR) {
                Report(std::string("udev's events cannot be read: ") + std::strerror(errno));
                return;
            }
            if (fds[1].revents != 0) return;
            std::lock_guard<std::mutex> lock(mutex);
            DeviceProperties device;
            while ((fds[0].revents & POLLIN) != 0 && monitor.Receive(&device)) {
                std::string error;
                map->Handle(device, &error);
                Report(error);
            }
            const auto now = std::chrono::steady_clock::now();
            if (now - lastAdopt >= std::chrono::milliseconds(kAdoptPeriodMs)) {
                lastAdopt = now;
                std::string error;
                map->Adopt(&error);
                Report(error);
            }
        }
    }
};

void PORT_PUBLISHER_SetEnabledForTest(bool enabled) { s_enabled = enabled; }

PortPublisher::PortPublisher() = default;

PortPublisher::~PortPublisher() {
    if (!m_state) return;
    if (m_state->thread.joinable()) {
        const uint64_t one = 1;
        if (write(m_state->wakeFd, &one, sizeof one) != sizeof one) {
            // An eventfd write fails only when its counter is full, and then it is readable.
        }
        m_state->thread.join();
    }
    if (m_state->wakeFd >= 0) close(m_state->wakeFd);
    m_state->map.reset();  // withdraws, or leaves the entries to another publisher
}

bool PortPublisher::Start(const std::string& settingsPath, const std::string& portDir, Warn warn,
                          std::string* why) {
    const char* env = std::getenv("KOVIRW_UDEV");
    if (!s_enabled || (env != nullptr && std::strcmp(env, "0") == 0)) {
        *why = "publishing udev's serial devices is turned off";
        return false;
    }
    if (!UdevMonitor::DaemonRunning()) {
        *why = "udev does not run here: only the ports linked by hand are seen";
        return false;
    }
    auto state = std::make_unique<State>();
    state->warn = std::move(warn);
    state->wakeFd = eventfd(0, EFD_CLOEXEC);
    if (!state->monitor.Open() || state->wakeFd < 0) {
        // udev runs, yet its devices cannot be followed: worth a warning, not only a reason.
        *why = "udev's device events cannot be received";
        state->Report(*why);
        if (state->wakeFd >= 0) close(state->wakeFd);
        return false;
    }
    state->map = std::make_unique<UdevPortMap>(settingsPath, portDir);
    // The devices present now are published before Start returns, so that a caller that
    // reads the port directory next finds them.
    for (const DeviceProperties& device : state->monitor.Enumerate()) {
        std::string error;
        state->map->Handle(device, &error);
        state->Report(error);
    }
    m_state = std::move(state);
    m_state->thread = std::thread([state = m_state.get()] { state->Follow(); });
    return true;
}

bool PortPublisher::Publishes(int com) const {
    if (!m_state) return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->map->Publishes(com);
}
