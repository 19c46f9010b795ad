#include "console/core/engine_event_record.h"

#include <cstring>

#include "engine/download.h"

namespace {

std::string Bounded(const char* text, size_t size) {
    const void* end = std::memchr(text, '\0', size);
    return std::string(text, end != nullptr ? static_cast<const char*>(end) - text : size);
}

}  // namespace

bool ENGINE_EVENT_Decode(int code, const void* record, EngineEventRecord* out) {
    if (record == nullptr) {
        return false;
    }
    EngineEventRecord event;
    event.code = code;
    switch (code) {
        case EV_PROGRESS:
        case EV_IMAGE_FAILED:
        case EV_CHANNEL_TEXT: {
            const auto* entry = static_cast<const ImageEntry*>(record);
            event.channel = entry->channel;
            event.slot = entry->slot;
            event.doneBytes = entry->doneBytes;
            event.totalBytes = entry->totalBytes;
            event.text = Bounded(entry->path, code == EV_CHANNEL_TEXT ? ENGINE_CHANNEL_TEXT_SIZE
                                                                      : sizeof entry->path);
            break;
        }
        case EV_CHANNEL_DONE:
            event.channel = *static_cast<const int32_t*>(record);
            break;
        case EV_TEXT:
            event.text = Bounded(static_cast<const char*>(record), ENGINE_TEXT_SIZE);
            break;
        default:
            return false;
    }
    if (code != EV_TEXT && (event.channel < 0 || event.channel >= CHANNEL_COUNT)) {
        return false;
    }
    *out = std::move(event);
    return true;
}
