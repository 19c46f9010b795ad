// Writes one image file into one flash area of one terminal: ERASE, then WRITE blocks of
// 16384 bytes, with progress every 16 blocks and status texts per slot. Runs on the
// channel's worker thread after the loader was unlocked.
#pragma once

#include <cstdint>

// Transfers g_ImageTable[channel][slot]. Returns the time taken in whole seconds (at least 1)
// when every byte of the image was sent without a link error, else 0 after sending the
// failure's status text and EV_IMAGE_FAILED. Nothing is sent to the loader for a file that
// cannot be opened, is not a regular file, is too large for the 32-bit byte counts, would
// run past the top of the 32-bit address space, or (MSM Code) is shorter than its start
// address.
int TransferImage(int channel, int slot);

// The loader acknowledged the block packet tagged `tag` (see LinkTagNextPacket): the entry's
// ackedBytes grows to the end of the blocks acknowledged without a gap from the first one.
// Worker thread of the channel, inside its reader steps.
void IMAGE_TRANSFER_Acknowledged(int channel, int tag);

// Sends the status text of a link failure, "ERR: [%d,%d]" with the channel's tx_timeout and
// error_count. Worker thread of the channel.
void IMAGE_TRANSFER_SendLinkError(int channel);

// What keeps an image of fileSize bytes from going to flash address `address` in `slot`:
// the 32-bit byte counts, the MSM Code image's start offset (its address) past the end of
// the file, or a range that runs past the top of the 32-bit address space (erased in whole
// blocks, the DMB image exactly). TransferImage refuses such an image; front ends check a
// selection with it before a run.
enum ImageRangeFault { RANGE_FITS, RANGE_FILE_TOO_LARGE, RANGE_PAST_END, RANGE_OVERFLOW };
ImageRangeFault IMAGE_TRANSFER_CheckRange(int slot, uint32_t address, int64_t fileSize);

// Sees every byte of an image file that the transfer sends, as it reads it for sending
// (without the 0xFF padding of a short last block), on the channel's worker thread.
using ImageReadHook = void (*)(void* context, int channel, int slot, const uint8_t* bytes,
                               int count);

// Installs the hook (null: none) with its context. Call it between runs only.
void IMAGE_TRANSFER_SetReadHook(ImageReadHook hook, void* context);
