// kovirw-cli --station: flashes every terminal as its port arrives, on the lowest free
// channel, while the other channels go on, until the operator stops it. Runs on the main
// thread, which plays the console thread.
#pragma once

#include <atomic>

#include "console/core/operator_text.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/progress_display.h"

// Runs the station with the images of choices (already checked and set in the engine's
// table) until *stop is set: downloads in progress then stop as a run stop stops them.
// Each terminal's end is printed and, with --log, appended to the log as one JSON line.
// Returns the exit status: 0 every terminal done, 1 one failed, was unplugged or stopped
// mid-download, or the log could not be written; 2 the log cannot be opened (then no
// terminal was touched).
int STATION_Run(const CliOptions& options, const SlotChoice choices[OPERATOR_SLOT_COUNT],
                ProgressDisplay* display, const std::atomic<bool>* stop);
