// Measures how long an engine event waits for the console: a thread that behaves like a
// channel worker sends a channel text at a fixed period, noting the time just before the
// send; the console's handler notes when it starts. The delay between the two is the
// event latency; the time until the send returns is the round trip.
//
// Start, RequestStop, Join and Figures on the owner's (console) thread; OnHandlerStart on
// the console thread from the window's handler. Samples live in memory taken at
// construction, so a probe allocates nothing while it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

class EventProbe {
  public:
    static constexpr const char* kText = "event probe";

    explicit EventProbe(int capacity);
    ~EventProbe();

    // Starts sending as `channel` every `period`; forgets earlier samples.
    void Start(int channel, std::chrono::microseconds period);

    // Asks the sender to send no more. A send that waits is released only when the console
    // delivers it or the run is stopped (DOWNLOAD_Stop); then Join.
    void RequestStop();
    void Join();

    // The handler of the console calls this first thing for a probe text.
    void OnHandlerStart();

    struct Figures {
        int samples = 0;
        double p50Ms = 0, p99Ms = 0, maxMs = 0;         // send to handler start
        double roundTripP50Ms = 0, roundTripP99Ms = 0;  // send to the send's return
        double senderCpuSeconds = 0;                    // CPU time of the sending thread
    };
    // After Join.
    Figures Result() const;

  private:
    void Run(int channel, std::chrono::microseconds period);

    const int m_capacity;
    std::unique_ptr<int64_t[]> m_latencyNs;    // written by the console thread
    std::unique_ptr<int64_t[]> m_roundTripNs;  // written by the sender
    int m_latencyCount = 0;
    int m_roundTripCount = 0;
    std::atomic<int64_t> m_sentAtNs{0};
    std::atomic<int> m_handled{0};
    std::atomic<bool> m_stop{false};
    double m_cpuSeconds = 0;
    std::thread m_thread;
};
