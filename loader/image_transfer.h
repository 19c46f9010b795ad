// Writes one image file into one flash area of one terminal: ERASE, then WRITE blocks of
// 16384 bytes, with progress every 16 blocks and status texts per slot. Runs on the
// channel's worker thread after the loader was unlocked.
#pragma once

// Transfers g_ImageTable[channel][slot]. Returns the time taken in whole seconds (at least 1)
// when every byte of the image was sent without a link error, else 0 after sending the
// failure's status text and EV_IMAGE_FAILED. Nothing is sent to the loader for a file that
// cannot be opened, is not a regular file, is too large for the 32-bit byte counts, would
// run past the top of the 32-bit address space, or (MSM Code) is shorter than its start
// address.
int TransferImage(int channel, int slot);
