// Reading an engine event's record: the one place that knows which record each code carries
// (see EngineEventCode), for every window that handles events. Allocates nothing; any thread.
#pragma once

#include "core/channel_tables.h"

struct EngineEventRecord {
    int code = 0;
    int channel = -1;                   // ChannelId; -1 for EV_TEXT
    const ImageEntry* entry = nullptr;  // EV_PROGRESS, EV_IMAGE_FAILED, EV_CHANNEL_TEXT
    const char* text = "";              // EV_TEXT, EV_CHANNEL_TEXT: the text; else empty
    int fact = 0;                       // EV_CHANNEL_TEXT: what the text tells (ChannelFact)
    int timeAt = 0;                     // FACT_SUMMARY: where its elapsed time begins
};

// Reads the record of one event, valid as long as the record is. Returns false, with *out
// holding the code only, for a null record, a code outside 1..5, or a channel outside
// 0..CHANNEL_COUNT-1: such an event names nothing a window could show.
bool ENGINE_EVENT_Read(int code, const void* record, EngineEventRecord* out);
