// One end-to-end run of the flasher: the engine flashes one image into the first N simulated
// terminals (channel c on COM<c + 1>) and the run's figures are collected: per-channel time
// and payload rate, the process's CPU time, allocations while every channel sends blocks,
// the port's write and read counts, and optionally the event latency.
//
// Console thread only (the caller's thread runs DOWNLOAD_Run).
#pragma once

#include <string>
#include <vector>

#include "bench/event_probe.h"
#include "engine/download.h"

struct FlashRunConfig {
    std::string name;       // what the image is, for the report ("random", "mostly 0xFF")
    std::string imagePath;  // sent as ASIC Code to flash address 0
    long imageBytes = 0;
    int channels = 1;
    long baud = 1382400;
    bool probeEvents = false;  // run the event probe alongside
};

struct ChannelFigures {
    double seconds = 0;         // the channel's first text to its end
    double bytesPerSecond = 0;  // image bytes over those seconds
    double lineRatio = 0;       // bytesPerSecond over the line's baud / 10
    double writesPerBlock = 0;  // physical writes per WRITE packet sent
    double readsPerBlock = 0;   // reads that returned bytes, per WRITE packet sent
};

struct FlashRunResult {
    FlashRunConfig config;
    bool ok = false;
    std::string problem;     // why not ok
    double loadBefore = -1;  // the machine's 1-minute load average as the run started
    double wallSeconds = 0;
    double cpuSeconds = 0;     // the flasher process's user + system time, probe excluded
    double systemSeconds = 0;  // the system part of the process's time (probe included)
    std::vector<ChannelFigures> perChannel;
    int64_t allocationsInBlockPhase = -1;  // -1: not measured
    double blockPhaseSeconds = 0;
    EventProbe::Figures events;  // when the probe ran
};

// Runs the download and returns its figures; the flash contents are checked by the caller.
FlashRunResult FLASH_RUN_Measure(const FlashRunConfig& config, EventProbe* probe);

// Starts the download and, once every channel has sent blocks for half a second, stops the
// run from the console thread as closing the window does. Returns how long DOWNLOAD_Stop
// took in seconds, or -1 when the run ended before every channel was sending blocks or a
// channel finished although it was stopped.
double FLASH_RUN_MeasureStop(const FlashRunConfig& config);
