// What the station shows to the outside: the facts its thread publishes as they change, and
// their two renderings, the JSON of /status.json and the Prometheus metrics of /metrics.
// The station's thread writes; the web server's threads read. Every call takes one lock for
// a copy of a few kilobytes at most, so a reader never holds up the station.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "core/channel_tables.h"

// One channel as the web view shows it.
struct ChannelView {
    int port = 0;  // COM number of its terminal; 0: none
    std::string device;
    const char* state = "free";  // "free", "busy" (downloading) or "finished" (to be unplugged)
    std::string text;            // the channel's latest text, as the engine gave it
    int slot = -1;               // the image in progress; -1: none
    long long doneBytes = 0;     // of that image
    long long totalBytes = 0;
    std::string last;  // the result of the channel's last terminal; empty: none yet
    std::string lastError;
    double lastSeconds = 0;
};

class StationStatus {
  public:
    // The results a terminal may end with, in the order of the metrics.
    static constexpr const char* kResults[] = {"done", "failed", "unplugged", "stopped"};
    static constexpr int kResultCount = 4;
    static constexpr size_t kRecentUnits = 20;

    // The station's start, as UTC text and as seconds since 1970.
    void SetStart(const std::string& utc, double unixSeconds);

    // The channels now, and the bytes the downloads in progress have sent so far.
    void SetChannels(const ChannelView channels[CHANNEL_COUNT], long long bytesInProgress);

    // A terminal ended: line is its log line (a JSON object), result one of kResults; its
    // sent bytes move from those in progress to the ended ones.
    void AddUnit(const std::string& line, const char* result, int port, double seconds,
                 long long sentBytes);

    // The station takes no further terminal and ends once the downloads in progress end.
    void SetEnding();

    std::string Json() const;
    std::string Metrics() const;

  private:
    static constexpr double kBuckets[] = {5, 10, 15, 20, 30, 45, 60, 90, 120, 180, 300, 600};
    static constexpr int kBucketCount = sizeof kBuckets / sizeof kBuckets[0];

    struct Facts {
        std::string startUtc;
        double startUnix = 0;
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        bool ending = false;
        ChannelView channels[CHANNEL_COUNT];
        long long bytesEnded = 0;
        long long bytesInProgress = 0;
        long long results[kResultCount] = {};
        std::map<int, std::array<long long, kResultCount>> portResults;
        long long buckets[kBucketCount] = {};  // units of at most kBuckets[i] seconds
        double secondsSum = 0;
        std::deque<std::string> recent;  // log lines, newest first
    };

    Facts Copy() const;

    mutable std::mutex m_mutex;
    Facts m_facts;
};
