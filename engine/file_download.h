// The body of a channel's worker thread: one terminal from "Download Start" to the summary.
#pragma once

// Opens the channel's port, unlocks the loader, transfers every selected image in slot
// order, closes the loader and sends GO, reports the end of the channel and its summary,
// closes the port and, as its very last act, clears g_nChannelPort[channel].
// Returns 1 when every selected image reached the flash, else 0.
int FileDownload(int channel);
