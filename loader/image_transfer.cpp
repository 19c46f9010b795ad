#include "loader/image_transfer.h"

#include <chrono>
#include <cstdint>
#include <cstring>

#include "core/channel_tables.h"
#include "core/engine_events.h"
#include "loader/image_file.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "serial/port_service.h"

namespace {

constexpr int kProgressEvery = 16;  // blocks between progress events (256 KiB)

struct SlotTexts {
    const char* erasing;
    const char* downloading;
    const char* complete;
};

const SlotTexts kTexts[IMAGE_SLOT_COUNT] = {
    {"MSM CODE area flash erasing..", "MSM CODE binary downloading..",
     "MSM CODE download complete! [%d sec]"},
    {"MSM FONT area flash erasing..", "MSM FONT binary downloading..",
     "MSM FONT download complete! [%d sec]"},
    {"MSM DATA area flash erasing..", "MSM DATA binary downloading..",
     "MSM DATA download complete! [%d sec]"},
    {"MSM PRELOAD area erasing..", "MSM PRELOAD binary downloading..",
     "MSM PRELOAD download complete! [%d sec]"},
    {"ASIC BOOT area erasing..", "ASIC BOOT binary downloading..",
     "ASIC BOOT download complete! [%d sec]"},
    {"ASIC CODE area erasing..", "ASIC CODE binary downloading..",
     "ASIC CODE download complete! [%d sec]"},
    {"ASIC FONT area erasing..", "ASIC FONT binary downloading..",
     "ASIC FONT download complete! [%d sec]"},
    {"ASIC CONTENTS area erasing..", "ASIC CONTENTS binary downloading..",
     "ASIC CONTENTS download complete! [%d sec]"},
    {"ASIC DMB area erasing..", "ASIC DMB binary downloading..",
     "ASIC DMB Image pass complete! [%d sec]"},
};

uint8_t s_block[CHANNEL_COUNT][LOADER_BLOCK_SIZE];

// A block's packet is tagged with its slot and its index in the image (an image of at most
// 2^31 bytes has at most 2^17 blocks).
constexpr int kBlockBits = 18;

// Per channel and slot: the blocks the loader acknowledged, as the count of those from the
// first one on without a gap, and those acknowledged beyond the gap (bit k: block prefix+k).
// Blocks are sent at most four ahead of the oldest unanswered one, so the bits suffice.
struct AckedBlocks {
    int32_t prefix;
    uint64_t beyond;
};
AckedBlocks s_acked[CHANNEL_COUNT][IMAGE_SLOT_COUNT];

// Set between runs only; the workers' start orders the stores before their reads.
ImageReadHook s_readHook = nullptr;
void* s_readHookContext = nullptr;

// Unless the slot is the DMB image, the erase covers whole blocks.
uint32_t EraseLength(int slot, uint32_t bytes) {
    return slot == SLOT_ASIC_DMB ? bytes : (bytes + 16383u) & ~16383u;
}

uint32_t TickMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int Fail(int channel, ImageEntry& entry, const char* text) {
    KOVIR_SendChannelFact(channel, FACT_FAILED, "%s", text);
    KOVIR_SendMessage(EV_IMAGE_FAILED, &entry);
    return 0;
}

// Opens the entry's file into `file`, empties the path, checks the range and moves to the
// first byte to send, leaving totalBytes and doneBytes set. Returns null, or the failure's
// status text.
const char* OpenImage(ImageEntry& entry, ImageFileHandle* file) {
    int64_t fileSize = 0;
    if (!file->Open(entry.path, &fileSize)) return "ERR: No File";
    entry.path[0] = '\0';
    static const char* const kRangeTexts[] = {nullptr, "ERR: File Too Large",
                                              "ERR: Address Past End", "ERR: Address Overflow"};
    if (const char* refusal =
            kRangeTexts[IMAGE_TRANSFER_CheckRange(entry.slot, entry.address, fileSize)]) {
        return refusal;
    }
    const int64_t skip = (entry.slot == SLOT_MSM_CODE) ? entry.address : 0;
    if (skip > 0 && !IMAGE_FILE_Seek(file->get(), skip)) return "ERR: Read File";
    entry.totalBytes = static_cast<int32_t>(fileSize - skip);
    entry.doneBytes = 0;
    entry.ackedBytes = 0;
    s_acked[entry.channel][entry.slot] = AckedBlocks{};
    return nullptr;
}

// Erases the image's flash range. Returns what FLASH_DOWNLOADER_Erase returns.
int EraseImage(int channel, const ImageEntry& entry) {
    KOVIR_SendChannelText(channel, "%s", kTexts[entry.slot].erasing);
    return FLASH_DOWNLOADER_Erase(channel, entry.address,
                                  EraseLength(entry.slot, static_cast<uint32_t>(entry.totalBytes)));
}

enum BlocksOutcome { BLOCKS_SENT, BLOCKS_LINK_FAILED, BLOCKS_READ_FAILED, BLOCKS_WRITE_FAILED };

// Sends the image in blocks of 16384 bytes, a short last block padded with 0xFF (the DMB
// image's sent as it is), with progress every 16 blocks.
BlocksOutcome SendBlocks(int channel, ImageEntry& entry, ImageFile* file) {
    LinkRecord& fn = FN[channel];
    KOVIR_SendChannelFact(channel, FACT_BLOCKS, "%s", kTexts[entry.slot].downloading);
    // The erase, or a block of the image before, was refused or its answer damaged: no block
    // may go into a range that may still hold the old contents. The failure is reported as
    // any failure during the blocks.
    if (fn.error_count != 0) return BLOCKS_LINK_FAILED;
    uint8_t* block = s_block[channel];
    uint32_t flashAddress = entry.address;
    int blockCount = 0;
    for (;;) {
        if (g_bChannelActive[channel] == 0) return BLOCKS_LINK_FAILED;
        // Never more than the size measured at the start: a file that grows meanwhile must
        // not write past the erased range.
        const int32_t remaining = entry.totalBytes - entry.doneBytes;
        if (remaining <= 0) return BLOCKS_SENT;
        const int want = remaining < LOADER_BLOCK_SIZE ? remaining : LOADER_BLOCK_SIZE;
        // A read error, or the file shrank since its size was taken: neither is the end of
        // the image, and what is left of this block is not the image's.
        const int n = IMAGE_FILE_Read(file, block, want);
        if (n < want) return BLOCKS_READ_FAILED;
        // Only a short last block has a rest, sent as erased flash.
        std::memset(block + n, 0xFF, static_cast<size_t>(LOADER_BLOCK_SIZE - n));
        ResendMarked(channel);
        LinkTagNextPacket(channel, entry.slot << kBlockBits | blockCount);
        FLASH_DOWNLOADER_Write(channel, flashAddress,
                               entry.slot == SLOT_ASIC_DMB ? n : LOADER_BLOCK_SIZE, block);
        // A block dropped for want of room in the window (or for a device that went away),
        // or cut by a failed write, did not go out, and nothing after it does: it is not
        // counted. A stop closes the port under a write: that is the stop's failure, not the
        // line's.
        if (fn.tx_timeout != 0 || SERIAL_PORT_WriteFailed(channel)) {
            const bool line = fn.tx_timeout == 0 && g_bChannelActive[channel] != 0;
            return line ? BLOCKS_WRITE_FAILED : BLOCKS_LINK_FAILED;
        }
        if (s_readHook != nullptr) s_readHook(s_readHookContext, channel, entry.slot, block, n);
        entry.doneBytes += n;
        if (++blockCount % kProgressEvery == 0) KOVIR_SendMessage(EV_PROGRESS, &entry);
        SERIAL_PORT_DoReading(channel);
        if (fn.tx_timeout != 0 || fn.error_count > 0) return BLOCKS_LINK_FAILED;
        flashAddress += LOADER_BLOCK_SIZE;
        if (n != LOADER_BLOCK_SIZE) return BLOCKS_SENT;
    }
}

}  // namespace

ImageRangeFault IMAGE_TRANSFER_CheckRange(int slot, uint32_t address, int64_t fileSize) {
    // The counts are signed 32-bit: a larger file, or a start address past the end of the
    // Code file, would send a wrong length in the ERASE.
    if (fileSize > INT32_MAX) return RANGE_FILE_TOO_LARGE;
    const int64_t skip = slot == SLOT_MSM_CODE ? address : 0;
    if (skip > fileSize) return RANGE_PAST_END;
    // A range past the top of the 32-bit address space would wrap its later blocks round
    // to address 0, over the boot area.
    const uint32_t erase = EraseLength(slot, static_cast<uint32_t>(fileSize - skip));
    if (uint64_t{address} + erase > uint64_t{1} << 32) return RANGE_OVERFLOW;
    return RANGE_FITS;
}

void IMAGE_TRANSFER_SetReadHook(ImageReadHook hook, void* context) {
    s_readHook = hook;
    s_readHookContext = context;
}

void IMAGE_TRANSFER_Acknowledged(int channel, int tag) {
    const int slot = tag >> kBlockBits;
    if (slot < 0 || slot >= IMAGE_SLOT_COUNT) return;
    AckedBlocks& acked = s_acked[channel][slot];
    const int ahead = (tag & ((1 << kBlockBits) - 1)) - acked.prefix;
    if (ahead < 0 || ahead >= 64) return;
    acked.beyond |= uint64_t{1} << ahead;
    while ((acked.beyond & 1) != 0) {
        acked.beyond >>= 1;
        acked.prefix += 1;
    }
    ImageEntry& entry = g_ImageTable[channel][slot];
    const int64_t bytes = int64_t{acked.prefix} * LOADER_BLOCK_SIZE;
    entry.ackedBytes = static_cast<int32_t>(bytes < entry.totalBytes ? bytes : entry.totalBytes);
}

void IMAGE_TRANSFER_SendLinkError(int channel) {
    KOVIR_SendChannelFact(channel, FACT_FAILED, "ERR: [%d,%d]", FN[channel].tx_timeout,
                          FN[channel].error_count);
}

int TransferImage(int channel, int slot) {
    ImageEntry& entry = g_ImageTable[channel][slot];
    entry.channel = channel;
    if (entry.slot != slot) return Fail(channel, entry, "ERR: No File");  // never set up
    const uint32_t startTick = TickMs();
    BlocksOutcome outcome;
    {
        ImageFileHandle file;
        if (const char* refusal = OpenImage(entry, &file)) return Fail(channel, entry, refusal);
        if (EraseImage(channel, entry) == 0) return Fail(channel, entry, "ERR: Erase Flash");
        outcome = SendBlocks(channel, entry, file.get());
    }  // the file is closed before the time is taken
    const uint32_t endTick = TickMs();
    KOVIR_SendMessage(EV_PROGRESS, &entry);

    if (outcome == BLOCKS_READ_FAILED) return Fail(channel, entry, "ERR: Read File");
    if (outcome == BLOCKS_WRITE_FAILED) return Fail(channel, entry, "ERR: Port Write");
    if (outcome == BLOCKS_LINK_FAILED) {
        IMAGE_TRANSFER_SendLinkError(channel);
        KOVIR_SendMessage(EV_IMAGE_FAILED, &entry);
        return 0;
    }
    int seconds = static_cast<int>((endTick - startTick) / 1000u);
    if (seconds == 0) seconds = 1;
    KOVIR_SendChannelText(channel, kTexts[entry.slot].complete, seconds);
    if (entry.slot == SLOT_ASIC_DMB) KOVIR_SendChannelText(channel, "DMB Writing...");
    return seconds;
}
