#include "bench/run_report.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Our texts are plain; quotes, backslashes and control characters are kept out regardless.
std::string JsonText(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (ch == '"' || ch == '\\') out.push_back('\\');
        out.push_back(static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch);
    }
    return out;
}

double Min(const std::vector<ChannelFigures>& v, double ChannelFigures::*field) {
    double m = 1e300;
    for (const auto& f : v) m = std::min(m, f.*field);
    return v.empty() ? 0 : m;
}

double Max(const std::vector<ChannelFigures>& v, double ChannelFigures::*field) {
    double m = 0;
    for (const auto& f : v) m = std::max(m, f.*field);
    return m;
}

double Mean(const std::vector<ChannelFigures>& v, double ChannelFigures::*field) {
    double sum = 0;
    for (const auto& f : v) sum += f.*field;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

void REPORT_Print(const FlashRunResult& r, double idealRatio) {
    const auto& ch = r.perChannel;
    std::printf("%d ch, %s %ld bytes: %s\n", r.config.channels, r.config.name.c_str(),
                r.config.imageBytes, r.ok ? "ok" : r.problem.c_str());
    if (!r.ok) return;
    std::printf("  per channel %.0f..%.0f B/s, ratio to line %.4f..%.4f, %.2f..%.2f s\n",
                Min(ch, &ChannelFigures::bytesPerSecond), Max(ch, &ChannelFigures::bytesPerSecond),
                Min(ch, &ChannelFigures::lineRatio), Max(ch, &ChannelFigures::lineRatio),
                Min(ch, &ChannelFigures::seconds), Max(ch, &ChannelFigures::seconds));
    std::printf(
        "  run %.2f s, flasher CPU %.3f s (system %.3f s) = %.2f%% of one core (load average "
        "%.2f before)\n",
        r.wallSeconds, r.cpuSeconds, r.systemSeconds, 100.0 * r.cpuSeconds / r.wallSeconds,
        r.loadBefore);
    std::printf("  writes per block %.2f, reads per block %.2f\n",
                Mean(ch, &ChannelFigures::writesPerBlock),
                Mean(ch, &ChannelFigures::readsPerBlock));
    if (r.allocationsInBlockPhase >= 0)
        std::printf("  allocations while all channels send blocks (%.2f s): %lld\n",
                    r.blockPhaseSeconds, static_cast<long long>(r.allocationsInBlockPhase));
    if (r.config.probeEvents)
        std::printf(
            "  event latency p50 %.3f ms, p99 %.3f ms, max %.3f ms (%d events); "
            "round trip p50 %.3f ms, p99 %.3f ms\n",
            r.events.p50Ms, r.events.p99Ms, r.events.maxMs, r.events.samples,
            r.events.roundTripP50Ms, r.events.roundTripP99Ms);
    std::printf("  best possible for this image: %.4f of the line\n", idealRatio);
    std::fflush(stdout);
}

void REPORT_WriteJson(FILE* out, const FlashRunResult& r, double idealRatio, int writeDelayMs,
                      const char* kind, double lineRatio) {
    const auto& ch = r.perChannel;
    std::fprintf(out, "{\"kind\":\"%s\",\"idealRatio\":%.5f,\"lineRatio\":%.5f,", kind, idealRatio,
                 lineRatio);
    std::fprintf(
        out,
        "\"image\":\"%s\",\"channels\":%d,\"imageBytes\":%ld,\"baud\":%ld,"
        "\"writeDelayMs\":%d,\"ok\":%s,\"problem\":\"%s\",\"wallSeconds\":%.3f,"
        "\"cpuSeconds\":%.4f,\"systemSeconds\":%.4f,\"rateMin\":%.1f,\"rateMean\":%.1f,"
        "\"ratioMin\":%.5f,"
        "\"ratioMean\":%.5f,\"ratioMax\":%.5f,\"channelSecondsMax\":%.3f,"
        "\"writesPerBlock\":%.3f,\"readsPerBlock\":%.3f,\"allocations\":%lld,"
        "\"blockPhaseSeconds\":%.3f,\"loadBefore\":%.2f",
        JsonText(r.config.name).c_str(), r.config.channels, r.config.imageBytes, r.config.baud,
        writeDelayMs, r.ok ? "true" : "false", JsonText(r.problem).c_str(), r.wallSeconds,
        r.cpuSeconds, r.systemSeconds, Min(ch, &ChannelFigures::bytesPerSecond),
        Mean(ch, &ChannelFigures::bytesPerSecond), Min(ch, &ChannelFigures::lineRatio),
        Mean(ch, &ChannelFigures::lineRatio), Max(ch, &ChannelFigures::lineRatio),
        Max(ch, &ChannelFigures::seconds), Mean(ch, &ChannelFigures::writesPerBlock),
        Mean(ch, &ChannelFigures::readsPerBlock), static_cast<long long>(r.allocationsInBlockPhase),
        r.blockPhaseSeconds, r.loadBefore);
    if (r.config.probeEvents)
        std::fprintf(out,
                     ",\"events\":{\"samples\":%d,\"p50Ms\":%.4f,\"p99Ms\":%.4f,\"maxMs\":%.4f,"
                     "\"roundTripP50Ms\":%.4f,\"roundTripP99Ms\":%.4f}",
                     r.events.samples, r.events.p50Ms, r.events.p99Ms, r.events.maxMs,
                     r.events.roundTripP50Ms, r.events.roundTripP99Ms);
    std::fputs("}\n", out);
}
