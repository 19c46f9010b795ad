// What a batch run and the station of kovirw-cli share: the window that turns engine events
// into output lines, bars and per-channel records, the read hook that digests the bytes
// sent, and the images of a selection as the records start them. Console thread only,
// except the read hook (see IMAGE_TRANSFER_SetReadHook).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "console/core/operator_text.h"
#include "core/engine_events.h"
#include "tools/cli/cli_report.h"
#include "tools/cli/progress_display.h"

// Prints what the window would show and records into (*channels)[c] what channel c's
// events tell; once *stop is set, its PumpHostEvents stops every channel (once) and the
// records keep the failure texts that follow.
std::unique_ptr<EngineWindow> CLI_NewWindow(ProgressDisplay* display,
                                            std::vector<ChannelReport>* channels, bool dmbSelected,
                                            const std::atomic<bool>* stop);

// The read hook: context is the std::vector<ChannelReport> of the window. Keeps the digest
// of each block's end until the terminal has acknowledged the bytes after it.
void CLI_AddImageBytes(void* context, int channel, int slot, const uint8_t* bytes, int count);

// Once channel c's worker has ended: the bytes of each image of (*channel) that the
// terminal acknowledged, the answers to the last blocks included.
void CLI_TakeAcknowledged(ChannelReport* channel);

// One record per checked slot, with its path, address text and the file's size now (-1 when
// it cannot be opened).
std::vector<ImageReport> CLI_SelectedImages(const SlotChoice choices[OPERATOR_SLOT_COUNT]);
