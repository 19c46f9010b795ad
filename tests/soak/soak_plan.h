// Soak plans: eight channels with random images and random line faults per run, what each
// image must leave in flash, and the longest a channel's sequence may take, worked out
// from the poll counts of the link's waits.
//
// Pure functions of their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/download.h"

struct SoakImage {
    int slot = 0;
    uint32_t address = 0;        // the entry's flash address; MSM Code: also the file offset
    std::vector<uint8_t> bytes;  // the file's contents
};

struct SoakChannel {
    bool hasPort = true;              // false: the channel's COM number names no port
    std::vector<SoakImage> images;    // in slot order, at most one per slot
    std::vector<std::string> faults;  // termsim fault texts for this channel's terminal
    int stopAtEvent = 0;              // the console stops the channel on its n-th event; 0 never
};

struct SoakPlan {
    uint64_t seed = 0;
    SoakChannel channels[CHANNEL_COUNT];
};

// The plan of one run: the same seed gives the same plan. Each channel gets 0 to
// maxImages images (sizes around block edges, the MSM Code offset, the exact-length DMB
// image) and, on about two channels in three, one or two random faults.
SoakPlan SOAK_MakePlan(uint64_t seed, int maxImages);

// The bytes an image leaves in flash from its address: the file from the MSM Code offset
// on, padded with 0xFF to whole 16384-byte blocks except for the DMB image.
std::vector<uint8_t> SOAK_ExpectedFlash(const SoakImage& image);

// The most a channel's sequence can spend, counted in waits of the link:
//   polls  every wait at its full count: UNLOCK's window and answer (1200 + 300); per image
//          ERASE's window and drain (1200 + 30000) with up to 4 resends (4 x 1200), and per
//          block the resend and the WRITE window (1200 + 1200); two closes (one after a failed
//          unlock or erase, one at the end), each a drain (300) with its resends (4 x 1200)
//          and the CLOSE window (1200); GO's window (1200).
//   writes every frame those packets may put on the line, in writes of at most 4096 bytes
//          (a 16394-byte WRITE body escaped in full is 32790 bytes: 9 writes), each after the
//          configured pause.
struct SoakBound {
    int64_t polls = 0;
    int64_t writes = 0;
};
SoakBound SOAK_ChannelBound(const SoakChannel& channel);
