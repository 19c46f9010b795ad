// The per-channel tables every layer shares: which image goes where on each channel, and
// the run state of each channel (may it go on, which port and rate it runs on).
//
// Channel c's worker reads row c of g_ImageTable and its own words; the console thread fills
// the table between runs and writes the words at run start and stop.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int CHANNEL_COUNT = 8;
constexpr int IMAGE_SLOT_COUNT = 9;
constexpr int IMAGE_PATH_SIZE = 4097;  // the platform's longest path and its terminator

// ImageSlot order: the order in which images go to the terminal.
enum ImageSlot {
    SLOT_MSM_CODE = 0,
    SLOT_MSM_FONT = 1,
    SLOT_MSM_DATA = 2,
    SLOT_MSM_PRELOAD = 3,
    SLOT_ASIC_BOOT = 4,
    SLOT_ASIC_CODE = 5,
    SLOT_ASIC_FONT = 6,
    SLOT_ASIC_CONTENTS = 7,
    SLOT_ASIC_DMB = 8,
};

// The MSM Code image's flash address when the boot area is left alone, and when it is
// written too.
constexpr char MSM_CODE_ADDRESS[] = "18000";
constexpr char MSM_CODE_ADDRESS_BOOT_AREA[] = "0";

struct ImageEntry {
    int32_t slot;     // ImageSlot; -1 when cleared
    int32_t channel;  // ChannelId, stored by the transfer so events can carry the entry alone
    char path[IMAGE_PATH_SIZE];  // empty = not selected; emptied once the file is open
    uint32_t address;            // flash address; 0xFFFFFFFF when cleared
    int32_t totalBytes;          // bytes to send
    int32_t doneBytes;           // bytes sent so far (their blocks went out whole)
    int32_t ackedBytes;          // of those, the bytes the loader acknowledged, from the start
};

// [ChannelId][ImageSlot]. The console fills it before a run; channel c's worker uses row c.
extern ImageEntry g_ImageTable[CHANNEL_COUNT][IMAGE_SLOT_COUNT];

// 1 = the channel takes part in the run and may go on. Written by the console thread, read
// by the channel's worker once per poll and before every block.
extern std::atomic<int> g_bChannelActive[CHANNEL_COUNT];

// COM number of the run, 0 = none; non-zero exactly while the channel's worker runs.
extern std::atomic<int> g_nChannelPort[CHANNEL_COUNT];

// Baud rate of the run; 0 = the channel was never started.
extern std::atomic<int> g_nChannelBaud[CHANNEL_COUNT];

// The pause before each write when no setting says otherwise (DELAY's default, and the port
// service's until run start hands it the setting), in ms.
constexpr int DEFAULT_WRITE_DELAY_MS = 2;
