#include "bench/flash_run.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "bench/alloc_count.h"
#include "bench/run_recorder.h"
#include "loader/loader_commands.h"
#include "serial/port_service.h"

namespace {

constexpr auto kProbePeriod = std::chrono::microseconds(5000);

// The process's user + system time, and its system part in *system.
double CpuSeconds(double* system) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    *system = seconds(usage.ru_stime);
    return seconds(usage.ru_utime) + *system;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Stops the run at its first pump once every channel has been sending blocks for `after`.
class StoppingRecorder : public RunRecorder {
  public:
    StoppingRecorder(int channels, std::chrono::milliseconds after)
        : RunRecorder(nullptr), m_channelCount(channels), m_after(after) {}

    void PumpHostEvents() override {
        if (m_stopSeconds >= 0) return;
        Clock::time_point last{};
        for (int c = 0; c < m_channelCount; ++c) {
            if (!channel(c).hasBlocks) return;
            last = std::max(last, channel(c).blocksFrom);
        }
        if (Clock::now() - last < m_after) return;
        const auto start = Clock::now();
        DOWNLOAD_Stop();
        m_stopSeconds = Seconds(Clock::now() - start);
    }

    double stopSeconds() const { return m_stopSeconds; }

  private:
    int m_channelCount;
    std::chrono::milliseconds m_after;
    double m_stopSeconds = -1;
};

}  // namespace

double FLASH_RUN_MeasureStop(const FlashRunConfig& config) {
    StoppingRecorder recorder(config.channels, std::chrono::milliseconds(500));
    DOWNLOAD_ClearImages();
    if (DOWNLOAD_SetImage(SLOT_ASIC_CODE, config.imagePath.c_str(), "0") < 0) return -1;
    int ports[CHANNEL_COUNT] = {};
    for (int c = 0; c < config.channels; ++c) ports[c] = c + 1;
    DOWNLOAD_Start(&recorder, WM_ENGINE_EVENT, ports, static_cast<int>(config.baud));
    DOWNLOAD_Run();
    DOWNLOAD_Stop();
    for (int c = 0; c < config.channels; ++c)
        if (recorder.channel(c).finished) return -1;
    return recorder.stopSeconds();
}

FlashRunResult FLASH_RUN_Measure(const FlashRunConfig& config, EventProbe* probe) {
    FlashRunResult result;
    result.config = config;
    EventProbe* activeProbe = config.probeEvents ? probe : nullptr;
    RunRecorder recorder(activeProbe);

    DOWNLOAD_ClearImages();
    if (DOWNLOAD_SetImage(SLOT_ASIC_CODE, config.imagePath.c_str(), "0") < 0) {
        result.problem = "image path not accepted";
        return result;
    }
    int ports[CHANNEL_COUNT] = {};
    for (int c = 0; c < config.channels; ++c) ports[c] = c + 1;
    DOWNLOAD_Start(&recorder, WM_ENGINE_EVENT, ports, static_cast<int>(config.baud));
    if (activeProbe != nullptr) activeProbe->Start(0, kProbePeriod);

    double load[1];
    if (getloadavg(load, 1) == 1) result.loadBefore = load[0];
    double systemBefore = 0;
    double systemAfter = 0;
    const double cpuBefore = CpuSeconds(&systemBefore);
    const auto start = std::chrono::steady_clock::now();
    DOWNLOAD_Run();
    const auto end = std::chrono::steady_clock::now();
    const double cpuAfter = CpuSeconds(&systemAfter);

    if (activeProbe != nullptr) activeProbe->RequestStop();
    DOWNLOAD_Stop();  // releases a probe send that the run no longer delivers
    if (activeProbe != nullptr) {
        activeProbe->Join();
        result.events = activeProbe->Result();
    }

    result.wallSeconds = Seconds(end - start);
    result.cpuSeconds = cpuAfter - cpuBefore - result.events.senderCpuSeconds;
    result.systemSeconds = systemAfter - systemBefore;
    result.ok = true;
    const double blocks =
        static_cast<double>((config.imageBytes + LOADER_BLOCK_SIZE - 1) / LOADER_BLOCK_SIZE);
    for (int c = 0; c < config.channels; ++c) {
        const RunRecorder::Channel& rc = recorder.channel(c);
        if (!rc.finished || rc.failed) {
            result.ok = false;
            result.problem = "channel " + std::to_string(c) + " failed" +
                             (rc.firstError[0] ? std::string(": ") + rc.firstError : "");
            continue;
        }
        ChannelFigures f;
        f.seconds = Seconds(rc.done - rc.started);
        f.bytesPerSecond = static_cast<double>(config.imageBytes) / f.seconds;
        f.lineRatio = f.bytesPerSecond / (static_cast<double>(config.baud) / 10.0);
        const PortStats& stats = SERIAL_PORT_Stats(c);
        f.writesPerBlock = static_cast<double>(stats.writes) / blocks;
        f.readsPerBlock = static_cast<double>(stats.reads) / blocks;
        result.perChannel.push_back(f);
    }
    if (ALLOC_Counting())
        result.allocationsInBlockPhase = recorder.AllocationsWhileAllSendBlocks(config.channels);
    result.blockPhaseSeconds = recorder.SecondsWhileAllSendBlocks(config.channels);
    return result;
}
