#include "tests/support/event_recorder.h"

#include "core/event_record.h"
#include "loader/link.h"
#include "loader/loader_testing.h"

int EventRecorder::OnEngineMessage(int message, int code, const void* record) {
    RecordedEvent e;
    e.code = code;
    if (message != WM_ENGINE_EVENT) e.code = -code;  // a wrong message id shows up in tests
    EngineEventRecord event;
    ENGINE_EVENT_Read(code, record, &event);
    e.channel = event.channel;
    e.text = event.text;
    e.fact = event.fact;
    e.timeAt = event.timeAt;
    if (const ImageEntry* entry = event.entry) {
        e.slot = entry->slot;
        e.totalBytes = entry->totalBytes;
        e.doneBytes = entry->doneBytes;
        e.text = entry->path;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(e);
    }
    if (onEvent) onEvent(e);
    return 0;
}

std::vector<RecordedEvent> EventRecorder::events() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<RecordedEvent> EventRecorder::ForChannel(int channel) const {
    std::vector<RecordedEvent> out;
    for (const auto& e : events())
        if (e.channel == channel) out.push_back(e);
    return out;
}

std::vector<std::string> EventRecorder::Texts(int channel) const {
    std::vector<std::string> out;
    for (const auto& e : events())
        if (e.code == EV_CHANNEL_TEXT && e.channel == channel) out.push_back(e.text);
    return out;
}

bool EventRecorder::Has(int channel, int code) const {
    for (const auto& e : events())
        if (e.code == code && e.channel == channel) return true;
    return false;
}

void ResetEngine() {
    DOWNLOAD_ClearImages();
    for (int c = 0; c < CHANNEL_COUNT; ++c) LOADER_ResetForTest(c);
}

void RunDownload(EventRecorder& events, const int ports[CHANNEL_COUNT], int baud) {
    DOWNLOAD_Start(&events, WM_ENGINE_EVENT, ports, baud);
    DOWNLOAD_Run();
    DOWNLOAD_Stop();
}
