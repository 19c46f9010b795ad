// The loader's commands: codes, packet layouts, the four per-channel packet buffers that
// keep sent packets for resending, and the loader steps the download sequence calls.
// Every function runs on the channel's worker thread; 1 = success, 0 = failure.
#pragma once

#include <cstdint>

enum LoaderCode : uint8_t {
    ACK = 0x02,
    NAK = 0x03,
    ERASE = 0xEE,
    WRITE = 0xDD,
    UNLOCK = 0xA0,
    CLOSE = 0xC0,
    GO = 0x90,
};

// The code table in its fixed order; entries 0 and 1 are the answer codes.
extern const uint8_t LOADER_CODES[7];

constexpr int LOADER_BLOCK_SIZE = 16384;  // largest WRITE payload and the file block size
constexpr int PACKET_DATA_SIZE = 16400;
constexpr int PACKET_BUFFER_COUNT = 4;
constexpr int UNLOCK_POLLS = 300;
constexpr int CLOSE_POLLS = 300;
constexpr int ERASE_POLLS = 30000;

struct PacketBuffer {
    int32_t start;  // where the command begins (the header length)
    int32_t end;    // one past the last byte built
    uint8_t data[PACKET_DATA_SIZE];
};

// Selects buffer (counter mod 4), sets its start to the header length, makes it current and
// advances the counter. Returns it.
PacketBuffer* TakePacketBuffer(int channel);

// The channel's current packet buffer (the one most recently taken).
PacketBuffer* PACKET_Current(int channel);

// How many TakePacketBuffer steps from the current buffer (0 = the current one itself) reach
// the first buffer whose byte 0 is seq, looking at each of the four once; -1 when none.
int PACKET_FindBySequence(int channel, int seq);

// Run start: counter 0 and the buffer it selects as current; every buffer marked unused.
void PACKET_ResetChannel(int channel);

// Unlocks the loader: resets the link counters, sends UNLOCK, waits 300 polls for the answer.
// Fails when the answer does not come in time or is not an acceptance; on failure runs
// FLASH_DOWNLOADER_Close before returning 0.
int FLASH_DOWNLOADER_Unlock(int channel);

// Sends ERASE and waits up to 30000 polls for every answer, the previous image's last blocks
// included, resending what the loader asks for meanwhile. On failure runs
// FLASH_DOWNLOADER_Close before returning 0.
int FLASH_DOWNLOADER_Erase(int channel, uint32_t address, uint32_t length);

// Sends one WRITE of length bytes (1 to 16384) without waiting for its answer. Returns 0
// without sending when the length is out of range.
int FLASH_DOWNLOADER_Write(int channel, uint32_t address, int length, const uint8_t* data);

// Unless the window already timed out: waits 300 polls (and the line time of what is still
// unanswered, see LINK_BLOCK_PROGRAM_MS) for all answers, resending what the
// loader asks for (a failed wait sets tx_timeout). Then sends CLOSE in every case. Returns 1 only
// when that drain ran and succeeded: every packet answered and no resend left, so the caller
// knows whether the last blocks reached the loader.
int FLASH_DOWNLOADER_Close(int channel);

// Sends GO without waiting for the answer. Returns 1.
int FLASH_DOWNLOADER_Go(int channel);
