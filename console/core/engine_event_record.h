// What an engine event's record carries, read once for every front end that shows events
// (see engine/engine_events.h for the records). Plain C++; any thread, during the event's
// delivery only (the record is valid no longer).
#pragma once

#include <cstdint>
#include <string>

struct EngineEventRecord {
    int code = 0;
    int channel = -1;  // EV_PROGRESS, EV_IMAGE_FAILED, EV_CHANNEL_DONE, EV_CHANNEL_TEXT
    int slot = -1;     // EV_PROGRESS, EV_IMAGE_FAILED
    int32_t doneBytes = 0;
    int32_t totalBytes = 0;
    std::string text;  // EV_TEXT, EV_CHANNEL_TEXT; the image's path for EV_IMAGE_FAILED
};

// Reads the record of an event with `code`. Returns false, with *out as it was, for a
// missing record, a code outside the five, or a channel outside 0..7 where the code has
// one; such events show nothing. Texts are read up to their terminator, never past the
// record's buffer.
bool ENGINE_EVENT_Decode(int code, const void* record, EngineEventRecord* out);
