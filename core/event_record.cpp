#include "core/event_record.h"

#include "core/engine_events.h"

bool ENGINE_EVENT_Read(int code, const void* record, EngineEventRecord* out) {
    *out = EngineEventRecord{};
    out->code = code;
    if (record == nullptr) return false;
    int channel = -1;
    switch (code) {
        case EV_PROGRESS:
        case EV_IMAGE_FAILED:
        case EV_CHANNEL_TEXT: {
            const auto* entry = static_cast<const ImageEntry*>(record);
            channel = entry->channel;
            if (channel < 0 || channel >= CHANNEL_COUNT) return false;
            out->entry = entry;
            if (code == EV_CHANNEL_TEXT) {
                const auto* text = static_cast<const ChannelTextRecord*>(record);
                out->text = entry->path;
                out->fact = text->fact;
                out->timeAt = text->timeAt;
            }
            break;
        }
        case EV_CHANNEL_DONE:
            channel = *static_cast<const int32_t*>(record);
            if (channel < 0 || channel >= CHANNEL_COUNT) return false;
            break;
        case EV_TEXT:
            out->text = static_cast<const char*>(record);
            return true;
        default:
            return false;
    }
    out->channel = channel;
    return true;
}
