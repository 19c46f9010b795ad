#include "core/engine_events.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/channel_tables.h"
#include "core/debug_trace.h"
#include "core/event_queue.h"

namespace {

// vsnprintf cuts at a byte; step back so the text never ends in half a UTF-8 character.
void FormatText(char* out, size_t size, const char* format, va_list args) {
    int n = std::vsnprintf(out, size, format, args);
    if (n < 0) {
        out[0] = '\0';
        return;
    }
    size_t len = static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
    if (static_cast<size_t>(n) >= size) {
        size_t cut = len;
        while (cut > 0 && (static_cast<unsigned char>(out[cut - 1]) & 0xC0) == 0x80) --cut;
        if (cut > 0 && (static_cast<unsigned char>(out[cut - 1]) & 0x80) != 0) {
            // cut - 1 is a lead byte; keep its character only if it was complete
            unsigned char lead = static_cast<unsigned char>(out[cut - 1]);
            size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (len - (cut - 1) < need) len = cut - 1;
        }
        out[len] = '\0';
    }
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
