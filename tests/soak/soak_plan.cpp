#include "tests/soak/soak_plan.h"

#include <cstdio>

#include "loader/link.h"
#include "loader/loader_commands.h"
#include "tests/support/test_files.h"
#include "tools/termsim/fault_plan.h"

namespace {

using termsim::Dice;

// Flash addresses that keep every image's range apart.
constexpr uint32_t kSlotAddress[IMAGE_SLOT_COUNT] = {
    0, 0x200000, 0x400000, 0x600000, 0xF000100, 0xF000200, 0xF000300, 0xF000400, 0xF000500,
};

// Sizes around the block edges, and random ones up to three blocks.
size_t DrawSize(Dice& dice) {
    static const size_t kEdges[] = {0,     1,     16383, 16384, 16385,
                                    32767, 32768, 40000, 49152, 3 * 16384 + 1};
    if (dice.Chance(0.5)) return kEdges[dice.Next() % (sizeof kEdges / sizeof kEdges[0])];
    return static_cast<size_t>(dice.Next() % (3 * LOADER_BLOCK_SIZE + 1));
}

SoakImage DrawImage(Dice& dice, int slot) {
    SoakImage image;
    image.slot = slot;
    image.address = kSlotAddress[slot];
    size_t skip = 0;
    if (slot == SLOT_MSM_CODE) {
        // The usual start after the boot area, the whole file from 0, or an odd offset.
        static const uint32_t kCodeAddress[] = {0x18000, 0, 0x1000};
        image.address = kCodeAddress[dice.Next() % 3];
        skip = image.address;
    }
    image.bytes.resize(skip + DrawSize(dice));
    for (uint8_t& b : image.bytes) b = static_cast<uint8_t>(dice.Next() >> 56);
    if (!image.bytes.empty() && dice.Chance(0.2)) {
        // Flags and escapes in numbers, so the escaped frames grow.
        for (size_t i = 0; i < image.bytes.size(); i += 3) image.bytes[i] = 0x7E;
    }
    return image;
}

std::string Rate(double low, double high, Dice& dice) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", low + (high - low) * dice.Uniform());
    return text;
}

std::string Count(uint64_t low, uint64_t high, Dice& dice) {
    return std::to_string(low + dice.Next() % (high - low + 1));
}

// One fault text for a terminal (without the "t:" in front): the kind, a rate drawn between
// rateLow and rateHigh when rateHigh > 0, then each count drawn between low and high when
// high > 0.
std::string DrawFault(Dice& dice) {
    static const struct {
        const char* kind;
        double rateLow, rateHigh;
        uint64_t low[2], high[2];
    } kFaults[] = {
        {"bit-errors", 1e-7, 5e-5, {}, {}},  {"drop", 0.005, 0.15, {}, {}},
        {"dup", 0.005, 0.15, {}, {}},        {"delay", 0.02, 0.3, {1}, {800}},
        {"nak", 0.005, 0.08, {1}, {1}},      {"nak", 0.005, 0.08, {0}, {9}},
        {"stall-random", 0, 0, {2}, {40}},   {"unplug-random", 0, 0, {1}, {150000}},
        {"nak-write", 0, 0, {1, 1}, {6, 2}}, {"bad-fcs", 0, 0, {1}, {10}},
        {"slow-erase", 0, 0, {1}, {300}},    {"stall", 0, 0, {1}, {20}},
        {"unplug", 0, 0, {1}, {100000}},     {"no-unlock", 0, 0, {}, {}},
    };
    const auto& fault = kFaults[dice.Next() % (sizeof kFaults / sizeof kFaults[0])];
    std::string text = fault.kind;
    if (fault.rateHigh > 0) text += ":" + Rate(fault.rateLow, fault.rateHigh, dice);
    for (int i = 0; i < 2 && fault.high[i] > 0; ++i)
        text += ":" + Count(fault.low[i], fault.high[i], dice);
    return text;
}

}  // namespace

SoakPlan SOAK_MakePlan(uint64_t seed, int maxImages) {
    SoakPlan plan;
    plan.seed = seed;
    Dice dice(seed);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        SoakChannel& ch = plan.channels[c];
        ch.hasPort = !dice.Chance(0.03);
        const int count = static_cast<int>(dice.Next() % static_cast<uint64_t>(maxImages + 1));
        bool taken[IMAGE_SLOT_COUNT] = {};
        for (int i = 0; i < count; ++i) taken[dice.Next() % IMAGE_SLOT_COUNT] = true;
        for (int slot = 0; slot < IMAGE_SLOT_COUNT; ++slot)
            if (taken[slot]) ch.images.push_back(DrawImage(dice, slot));
        if (!dice.Chance(0.35)) {
            const int kinds = dice.Chance(0.3) ? 2 : 1;
            for (int k = 0; k < kinds; ++k)
                ch.faults.push_back(std::to_string(c) + ":" + DrawFault(dice));
        }
        if (dice.Chance(0.08)) ch.stopAtEvent = 1 + static_cast<int>(dice.Next() % 12);
    }
    return plan;
}

std::vector<uint8_t> SOAK_ExpectedFlash(const SoakImage& image) {
    return ExpectedFlash(image.bytes, image.slot == SLOT_MSM_CODE ? image.address : 0,
                         image.slot == SLOT_ASIC_DMB);
}

SoakBound SOAK_ChannelBound(const SoakChannel& channel) {
    constexpr int64_t kWindow = LINK_WINDOW_POLLS;
    constexpr int64_t kResends = LINK_DRAIN_RESENDS;
    constexpr int64_t kWritesPerWrite = 9;  // escaped WRITE frame in 4096-byte writes
    // A close: its drain, the resends the drain may make, and the CLOSE packet itself.
    const SoakBound close{CLOSE_POLLS + kResends * kWindow + kWindow,
                          kResends * kWritesPerWrite + 1};

    SoakBound b;
    b.polls = kWindow + UNLOCK_POLLS + kWindow;  // UNLOCK's window and answer, GO's window
    b.writes = 2;                                // UNLOCK, GO
    for (const SoakImage& image : channel.images) {
        const size_t offset = image.slot == SLOT_MSM_CODE ? image.address : 0;
        const int64_t blocks = static_cast<int64_t>(
            (image.bytes.size() - offset + LOADER_BLOCK_SIZE - 1) / LOADER_BLOCK_SIZE);
        b.polls += kWindow + ERASE_POLLS + kResends * kWindow + blocks * 2 * kWindow;
        b.writes += 1 + kResends * kWritesPerWrite + blocks * 2 * kWritesPerWrite;
    }
    for (int i = 0; i < 2; ++i) {
        b.polls += close.polls;
        b.writes += close.writes;
    }
    return b;
}
