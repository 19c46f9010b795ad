// The engine's channel tables and run control: which image goes where on each of the eight
// channels, one worker thread per channel with a port, and stopping one channel or the run.
//
// Every DOWNLOAD_ function is called on the console thread only. Calling order for one
// download: DOWNLOAD_ClearImages, DOWNLOAD_SetImage per selected slot, DOWNLOAD_Start,
// DOWNLOAD_Run, DOWNLOAD_Stop. A station, which flashes each terminal as it arrives, calls
// DOWNLOAD_Serve instead of DOWNLOAD_Run and starts channels one by one from inside it with
// DOWNLOAD_StartChannel. DOWNLOAD_StopChannel and DOWNLOAD_Stop may also be called from a
// handler that runs inside DOWNLOAD_Run or DOWNLOAD_Serve (port removed, window closed).
#pragma once

#include <string>

// The channel tables, the event path, the lock and the trace live below every layer; the
// engine's callers find them here under their own names.
#include "core/channel_tables.h"
#include "core/debug_trace.h"
#include "core/engine_events.h"
#include "core/engine_lock.h"

// Resets all 72 entries: slot -1, address 0xFFFFFFFF, empty path.
void DOWNLOAD_ClearImages();

// Sets entry [c][slot] of every channel to slot, the path and the address, parsed as
// hexadecimal ("%X" style: leading white space, optional 0x, digits up to the first non-hex
// character). Returns slot, or -1 with nothing changed when the slot is outside 0..8, the
// address text holds no hexadecimal digit or a value above 0xFFFFFFFF, or the path is null
// or too long for the entry.
int DOWNLOAD_SetImage(int slot, const char* path, const char* addressText);

// Looks at the file of every selected image (all rows are alike) and checks its size against
// the image's flash range as the transfer will, reading none of it. Returns the first slot,
// in slot order, whose image cannot be flashed, with *reason naming the file and what is
// wrong; -1 when every image fits. A file that cannot be looked at, or is no regular file,
// is left to the transfer, which reports "ERR: No File" on each channel.
int DOWNLOAD_CheckImages(std::string* reason);

// Prepares a run: registers the window for engine events with the message id, resets every
// channel's transport, frame, packet and link state, and records each channel's COM number
// (ports[c], 0 = no port) and the baud rate. Opens nothing. Returns 1.
int DOWNLOAD_Start(EngineWindow* window, int messageId, const int ports[CHANNEL_COUNT],
                   int baudRate);

// Starts one worker per channel with a port and returns when all have ended, delivering
// engine events and calling the window's PumpHostEvents meanwhile. Returns 1.
int DOWNLOAD_Run();

// Serves a station: as DOWNLOAD_Run (which is DOWNLOAD_Serve(nullptr)), but does not end
// while the host may still start channels: it delivers engine events and calls the window's
// PumpHostEvents (where the host starts channels with DOWNLOAD_StartChannel) until *finish
// is true and no channel has a worker, then joins every worker. A station passes no ports
// to DOWNLOAD_Start. finish is read on the console thread only. Returns 1.
int DOWNLOAD_Serve(const bool* finish);

// Starts one channel's worker while the other channels' workers go on: the channel gets the
// images of the last DOWNLOAD_SetImage calls, its byte counts zeroed, and the reset of run
// start (transport, frame, packet and link state), then COM comPort at baudRate. Call it
// between DOWNLOAD_Start and DOWNLOAD_Stop, from the host's PumpHostEvents inside
// DOWNLOAD_Serve (which delivers the worker's events and joins it). Returns 1 when the
// worker started; 0 when the channel is out of range or still has a worker, the port or
// rate is not positive, or no thread could be made (then the channel has ended with
// "ERR: Thread", as in a run).
int DOWNLOAD_StartChannel(int channel, int comPort, int baudRate);

// Stops one channel of the run: clears its active flag and closes its device. The worker
// notices at its next poll and ends through its failure path. Returns 1.
int DOWNLOAD_StopChannel(int channel);

// Ends the run: stops every active channel and unregisters the window (later events are
// dropped). Safe while DOWNLOAD_Run is still pumping: the workers then end on their own.
// Returns 1.
int DOWNLOAD_Stop();

// Delivers the events that workers wait to send, on the console thread; for hosts that
// run a nested event loop during a run (see EngineWindow::WakeHost). Returns the count.
int DOWNLOAD_DeliverEvents();
