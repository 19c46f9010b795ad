// Engine events: everything the operator is to see leaves the engine as one event, sent
// synchronously from the engine's thread to the console window registered at run start.
//
// A worker's send blocks until the console thread has run the window's handler, so a record
// on the worker's stack, or the live ImageEntry it passes, stays valid and consistent while
// the handler reads it. A send from the console thread itself calls the handler directly.
// Once the run is stopped (or before it starts) a send is dropped and the sender goes on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/channel_tables.h"

// WM_USER + 100: the first private window message id (0x0400) plus 100. Written out, since
// windows.h defines WM_USER as a macro where the Win32 window includes both.
constexpr int WM_ENGINE_EVENT = 0x0400 + 100;

enum EngineEventCode {
    EV_PROGRESS = 1,      // record: the live ImageEntry of the image being sent
    EV_IMAGE_FAILED = 2,  // record: the live ImageEntry of the image that failed
    EV_CHANNEL_DONE = 3,  // record: int32_t ChannelId
    EV_TEXT = 4,          // record: NUL-terminated text (log line)
    EV_CHANNEL_TEXT = 5,  // record: ImageEntry layout, slot 0, the text in path
};

// What a channel text tells besides its words. The engine sets it where it makes the text, so
// that a front end learns what happened from the event and never by recognising the words,
// which are the operator's.
enum ChannelFact {
    FACT_STATUS = 0,   // a status line and nothing more
    FACT_STARTED = 1,  // the worker began: the channel's first text ("Download Start")
    FACT_BLOCKS = 2,   // an image's blocks begin to go out (its "... downloading.." text)
    FACT_FAILED = 3,   // the channel failed and the text says why: its last text, no
                       // EV_CHANNEL_DONE follows
    FACT_SUMMARY = 4,  // after EV_CHANNEL_DONE: the files written and the time they took
};

// The record of EV_CHANNEL_TEXT: the ImageEntry layout every window reads (slot 0, the
// channel, the text in path, the counts 0), followed by what the text tells.
struct ChannelTextRecord {
    ImageEntry entry;
    int32_t fact;    // ChannelFact
    int32_t timeAt;  // FACT_SUMMARY: the byte of the text where its elapsed time begins; else 0
};
static_assert(offsetof(ChannelTextRecord, entry) == 0, "read as an ImageEntry too");

constexpr int ENGINE_TEXT_SIZE = 4096;          // EV_TEXT buffer, terminator included
constexpr int ENGINE_CHANNEL_TEXT_SIZE = 1024;  // EV_CHANNEL_TEXT text, terminator included

// The console's side of the event path. The engine calls OnEngineMessage and PumpHostEvents
// on the console thread only; WakeHost may be called from any thread.
class EngineWindow {
  public:
    virtual ~EngineWindow() = default;

    // Handles one event; the record is valid only during the call. Returns 0.
    virtual int OnEngineMessage(int message, int code, const void* record) = 0;

    // Called once per pass of the run's poll loop so the host can process its own events
    // (repaint, input). May call back into the engine (stop a channel, stop the run).
    virtual void PumpHostEvents() {}

    // Called from a worker right after it queued an event. A host that may sit in a nested
    // event loop of its own (a modal box during a run) can use it to schedule
    // DOWNLOAD_DeliverEvents from that loop. Must not block or call into the engine.
    virtual void WakeHost() {}
};

// Sends code with the record's address to the registered window and returns the handler's
// result; with no window registered, writes "KOVIR_SendMessage() Ignore!" to the trace and
// returns 0. Any thread.
int KOVIR_SendMessage(int code, const void* record);

// Formats a log line (at most ENGINE_TEXT_SIZE - 1 bytes, longer texts are cut at a whole
// UTF-8 character) and sends it as EV_TEXT. Any thread.
void KOVIR_SendText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats a channel status text (at most ENGINE_CHANNEL_TEXT_SIZE - 1 bytes, cut likewise)
// into a zeroed ChannelTextRecord for the channel and sends it as EV_CHANNEL_TEXT, as a plain
// status line (FACT_STATUS). Any thread.
void KOVIR_SendChannelText(int channel, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// KOVIR_SendChannelText for a text that tells `fact` (not FACT_SUMMARY).
void KOVIR_SendChannelFact(int channel, ChannelFact fact, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Sends the channel's summary: `files` followed by `time` as one text, with FACT_SUMMARY and
// the byte where `time` begins.
void KOVIR_SendChannelSummary(int channel, const char* files, const char* time);
