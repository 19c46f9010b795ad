#include "tools/cli/station_status.h"

#include <algorithm>
#include <cstdio>

#include "console/core/operator_text.h"
#include "tools/cli/cli_report.h"

namespace {

std::string Number(double value, const char* format = "%.3f") {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// One Prometheus metric family's HELP and TYPE lines.
std::string Family(const char* name, const char* type, const char* help) {
    return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void StationStatus::SetStart(const std::string& utc, double unixSeconds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_facts.startUtc = utc;
    m_facts.startUnix = unixSeconds;
    m_facts.start = std::chrono::steady_clock::now();
}

void StationStatus::SetChannels(const ChannelView channels[CHANNEL_COUNT],
                                long long bytesInProgress) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int c = 0; c < CHANNEL_COUNT; ++c) m_facts.channels[c] = channels[c];
    m_facts.bytesInProgress = bytesInProgress;
}

void StationStatus::AddUnit(const std::string& line, const char* result, int port, double seconds,
                            long long sentBytes) {
    int r = 0;
    while (r < kResultCount - 1 && std::string(kResults[r]) != result) ++r;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_facts.results[r] += 1;
    m_facts.portResults[port][r] += 1;  // a new port starts from zeros
    for (int b = 0; b < kBucketCount; ++b)
        if (seconds <= kBuckets[b]) m_facts.buckets[b] += 1;
    m_facts.secondsSum += seconds;
    m_facts.bytesEnded += sentBytes;
    // The sum stays as it was (or grows), so the counter never seems to go back.
    m_facts.bytesInProgress = std::max(0LL, m_facts.bytesInProgress - sentBytes);
    m_facts.recent.push_front(line);
    if (m_facts.recent.size() > kRecentUnits) m_facts.recent.pop_back();
}

void StationStatus::SetEnding() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_facts.ending = true;
}

StationStatus::Facts StationStatus::Copy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_facts;
}

std::string StationStatus::Json() const {
    const Facts f = Copy();
    const double uptime =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - f.start).count();
    long long units = 0;
    for (long long n : f.results) units += n;
    const long long failed = units - f.results[0];
    std::string json = "{\"station\":{\"start\":" + REPORT_JsonString(f.startUtc) +
                       ",\"uptimeSeconds\":" + Number(uptime) +
                       ",\"done\":" + std::to_string(f.results[0]) +
                       ",\"failed\":" + std::to_string(failed) + ",\"unitsPerHour\":" +
                       (units > 0 && uptime > 0 ? Number(f.results[0] * 3600 / uptime, "%.1f")
                                                : std::string("null")) +
                       ",\"results\":{";
    for (int r = 0; r < kResultCount; ++r)
        json += std::string(r > 0 ? "," : "") + "\"" + kResults[r] +
                "\":" + std::to_string(f.results[r]);
    json += "},\"sentBytes\":" + std::to_string(f.bytesEnded + f.bytesInProgress) +
            ",\"ending\":" + (f.ending ? "true" : "false") + "},\"channels\":[";
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        const ChannelView& ch = f.channels[c];
        json += std::string(c > 0 ? "," : "") + "{\"channel\":" + std::to_string(c) +
                ",\"port\":" + std::to_string(ch.port) + "," +
                REPORT_TextField("device", ch.device) + ",\"state\":\"" + ch.state + "\"," +
                REPORT_TextField("text", ch.text) + ",\"image\":" +
                (ch.slot >= 0 ? REPORT_JsonString(OPERATOR_ProgressLabel(ch.slot)) : "null") +
                ",\"sent\":" + std::to_string(ch.doneBytes) +
                ",\"of\":" + std::to_string(ch.totalBytes) + ",\"last\":";
        json += ch.last.empty() ? "null"
                                : "{\"result\":" + REPORT_JsonString(ch.last) + "," +
                                      REPORT_TextField("error", ch.lastError) +
                                      ",\"seconds\":" + Number(ch.lastSeconds) + "}";
        json += "}";
    }
    json += "],\"units\":[";
    for (size_t i = 0; i < f.recent.size(); ++i) json += (i > 0 ? "," : "") + f.recent[i];
    return json + "]}\n";
}

std::string StationStatus::Metrics() const {
    const Facts f = Copy();
    std::string text = Family("kovirw_units_total", "counter", "Terminals that ended, by result.");
    for (int r = 0; r < kResultCount; ++r)
        text += std::string("kovirw_units_total{result=\"") + kResults[r] + "\"} " +
                std::to_string(f.results[r]) + "\n";
    text += Family("kovirw_port_units_total", "counter",
                   "Terminals that ended, by COM port and result.");
    for (const auto& [port, counts] : f.portResults)
        for (int r = 0; r < kResultCount; ++r)
            text += "kovirw_port_units_total{port=\"" + std::to_string(port) + "\",result=\"" +
                    kResults[r] + "\"} " + std::to_string(counts[r]) + "\n";
    text += Family("kovirw_sent_bytes_total", "counter",
                   "Image bytes sent to the terminals and acknowledged by them.");
    text += "kovirw_sent_bytes_total " + std::to_string(f.bytesEnded + f.bytesInProgress) + "\n";
    text += Family("kovirw_channel_state", "gauge",
                   "1 for the state each channel is in: free, busy (downloading) or finished "
                   "(its terminal still plugged in).");
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        for (const char* state : {"free", "busy", "finished"})
            text += "kovirw_channel_state{channel=\"" + std::to_string(c) + "\",state=\"" + state +
                    "\"} " + (std::string(state) == f.channels[c].state ? "1" : "0") + "\n";
    text += Family("kovirw_channel_port", "gauge",
                   "The COM number of each channel's terminal; 0 when it has none.");
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        text += "kovirw_channel_port{channel=\"" + std::to_string(c) + "\"} " +
                std::to_string(f.channels[c].port) + "\n";
    text += Family("kovirw_unit_duration_seconds", "histogram",
                   "Seconds from a terminal's arrival to its end, whatever the result.");
    long long count = 0;
    for (long long n : f.results) count += n;
    for (int b = 0; b < kBucketCount; ++b)
        text += "kovirw_unit_duration_seconds_bucket{le=\"" + Number(kBuckets[b], "%g") + "\"} " +
                std::to_string(f.buckets[b]) + "\n";
    text += "kovirw_unit_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(count) + "\n";
    text += "kovirw_unit_duration_seconds_sum " + Number(f.secondsSum) + "\n";
    text += "kovirw_unit_duration_seconds_count " + std::to_string(count) + "\n";
    text += Family("kovirw_station_start_time_seconds", "gauge",
                   "When the station started, in seconds since 1970 (UTC).");
    text += "kovirw_station_start_time_seconds " + Number(f.startUnix) + "\n";
    return text;
}
