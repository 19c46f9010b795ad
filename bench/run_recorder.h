// The benchmark's console: an engine window that notes, per channel, when the channel
// started, when its blocks began and ended, when it finished and whether anything failed,
// together with the allocation count at the edges of the block phase. It also serves the
// event probe. Its handler allocates nothing, so it cannot disturb the count it takes.
//
// The handler runs on the console thread (the one that calls DOWNLOAD_Run); read the results
// on that thread after the run.
#pragma once

#include <chrono>
#include <cstdint>

#include "bench/event_probe.h"
#include "core/event_record.h"
#include "engine/download.h"

class RunRecorder : public EngineWindow {
  public:
    using Clock = std::chrono::steady_clock;

    struct Channel {
        Clock::time_point started;     // the channel's first text
        Clock::time_point blocksFrom;  // the text that its image's blocks begin
        Clock::time_point blocksTo;    // the progress event that reports every byte sent
        Clock::time_point done;        // EV_CHANNEL_DONE
        uint64_t allocsAtBlocksFrom = 0;
        uint64_t allocsAtBlocksTo = 0;
        bool hasBlocks = false;
        bool blocksEnded = false;
        bool finished = false;
        bool failed = false;
        char firstError[64] = {};
    };

    explicit RunRecorder(EventProbe* probe) : m_probe(probe) {}

    // Forgets the previous run.
    void Reset();

    int OnEngineMessage(int message, int code, const void* record) override;

    const Channel& channel(int c) const { return m_channels[c]; }

    // Allocations made while every one of the first `channels` channels was inside its block
    // phase: from the last to start its blocks to the first to end them. -1 when those phases
    // did not overlap (a channel failed or never sent a block).
    int64_t AllocationsWhileAllSendBlocks(int channels) const;

    // The length of that common phase in seconds (0 when there is none).
    double SecondsWhileAllSendBlocks(int channels) const;

  private:
    void OnChannelText(const EngineEventRecord& event);
    bool CommonBlockPhase(int channels, const Channel** first, const Channel** last) const;

    EventProbe* m_probe;
    Channel m_channels[CHANNEL_COUNT];
};
