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

namespace {

void SendChannelText(int channel, ChannelFact fact, const char* format, va_list args) {
    ChannelTextRecord record;
    std::memset(&record, 0, sizeof record);
    record.entry.channel = channel;
    record.fact = fact;
    FormatText(record.entry.path, ENGINE_CHANNEL_TEXT_SIZE, format, args);
    int result = 0;
    EVENTS_Send(EV_CHANNEL_TEXT, &record, &result);
}

}  // namespace

void KOVIR_SendChannelText(int channel, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SendChannelText(channel, FACT_STATUS, format, args);
    va_end(args);
}

void KOVIR_SendChannelFact(int channel, ChannelFact fact, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SendChannelText(channel, fact, format, args);
    va_end(args);
}

void KOVIR_SendChannelSummary(int channel, const char* files, const char* time) {
    ChannelTextRecord record;
    std::memset(&record, 0, sizeof record);
    record.entry.channel = channel;
    record.fact = FACT_SUMMARY;
    char* text = record.entry.path;
    const size_t timeAt = std::strlen(files);
    std::snprintf(text, ENGINE_CHANNEL_TEXT_SIZE, "%s%s", files, time);
    const size_t length = UTF8_CutLength(text, std::strlen(text));
    text[length] = '\0';
    record.timeAt = static_cast<int32_t>(timeAt < length ? timeAt : length);
    int result = 0;
    EVENTS_Send(EV_CHANNEL_TEXT, &record, &result);
}
