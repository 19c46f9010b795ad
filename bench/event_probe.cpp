#include "bench/event_probe.h"

#include <time.h>

#include <algorithm>
#include <vector>

#include "core/engine_events.h"

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<int64_t>& v, double p) {
    if (v.empty()) return 0;
    size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return static_cast<double>(v[k]) / 1e6;
}

}  // namespace

EventProbe::EventProbe(int capacity)
    : m_capacity(capacity),
      m_latencyNs(new int64_t[static_cast<size_t>(capacity)]),
      m_roundTripNs(new int64_t[static_cast<size_t>(capacity)]) {}

EventProbe::~EventProbe() {
    RequestStop();
    Join();
}

void EventProbe::Start(int channel, std::chrono::microseconds period) {
    m_latencyCount = 0;
    m_roundTripCount = 0;
    m_handled = 0;
    m_stop = false;
    m_thread = std::thread([this, channel, period] { Run(channel, period); });
}

void EventProbe::RequestStop() { m_stop = true; }

void EventProbe::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void EventProbe::OnHandlerStart() {
    const int64_t now = NowNs();
    if (m_latencyCount < m_capacity) m_latencyNs[m_latencyCount++] = now - m_sentAtNs.load();
    m_handled.fetch_add(1);
}

void EventProbe::Run(int channel, std::chrono::microseconds period) {
    while (!m_stop.load()) {
        std::this_thread::sleep_for(period);
        if (m_stop.load()) break;
        const int handledBefore = m_handled.load();
        const int64_t sentAt = NowNs();
        m_sentAtNs.store(sentAt);
        KOVIR_SendChannelText(channel, "%s", kText);
        // A send dropped at run stop never reached the handler: no round trip to count.
        if (m_handled.load() != handledBefore && m_roundTripCount < m_capacity)
            m_roundTripNs[m_roundTripCount++] = NowNs() - sentAt;
    }
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    m_cpuSeconds = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

EventProbe::Figures EventProbe::Result() const {
    Figures f;
    std::vector<int64_t> latency(m_latencyNs.get(), m_latencyNs.get() + m_latencyCount);
    std::vector<int64_t> roundTrip(m_roundTripNs.get(), m_roundTripNs.get() + m_roundTripCount);
    f.samples = m_latencyCount;
    f.p50Ms = Percentile(latency, 0.50);
    f.p99Ms = Percentile(latency, 0.99);
    f.maxMs = latency.empty()
                  ? 0
                  : static_cast<double>(*std::max_element(latency.begin(), latency.end())) / 1e6;
    f.roundTripP50Ms = Percentile(roundTrip, 0.50);
    f.roundTripP99Ms = Percentile(roundTrip, 0.99);
    f.senderCpuSeconds = m_cpuSeconds;
    return f;
}
