#include "core/engine_events.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/channel_tables.h"
#include "core/debug_trace.h"
#include "core/event_queue.h"
#include "core/utf8.h"

namespace {

// vsnprintf cuts at a byte; step back so the text never ends in half a UTF-8 character.
void FormatText(char* out, size_t size, const char* format, va_list args) {
    int n = std::vsnprintf(out, size, format, args);
    if (n < 0) {
        out[0] = '\0';
        return;
    }
    if (static_cast<size_t>(n) >= size) out[UTF8_CutLength(out, size - 1)] = '\0';
}

}  // namespace

int KOVIR_SendMessage(int code, const void* record) {
    int result = 0;
    if (!EVENTS_Send(code, record, &result)) {
        DEBUG_Trace("KOVIR_SendMessage() Ignore!\n");
        return 0;
    }
    return result;
}

void KOVIR_SendText(const char* format, ...) {
    char text[ENGINE_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    FormatText(text, sizeof text, format, args);
    va_end(args);
    int result = 0;
    EVENTS_Send(EV_TEXT, text, &result);
}

void KOVIR_SendChannelText(int channel, const char* format, ...) {
    ImageEntry record;
    std::memset(&record, 0, sizeof record);
    record.channel = channel;
    va_list args;
    va_start(args, format);
    FormatText(record.path, ENGINE_CHANNEL_TEXT_SIZE, format, args);
    va_end(args);
    int result = 0;
    EVENTS_Send(EV_CHANNEL_TEXT, &record, &result);
}
