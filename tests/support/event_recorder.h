// Test support: an engine window that records every event it is sent, with copies of the
// texts and entries (records are valid only during the call).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download.h"

struct RecordedEvent {
    int code = 0;
    int channel = -1;
    int slot = -1;
    int totalBytes = 0;
    int doneBytes = 0;
    std::string text;  // EV_TEXT, EV_CHANNEL_TEXT; the entry's path for EV_PROGRESS/FAILED
    int fact = 0;      // EV_CHANNEL_TEXT: what the text tells, and where a summary's time is
    int timeAt = 0;
};

class EventRecorder : public EngineWindow {
  public:
    int OnEngineMessage(int message, int code, const void* record) override;

    std::vector<RecordedEvent> events() const;
    std::vector<RecordedEvent> ForChannel(int channel) const;
    // The EV_CHANNEL_TEXT texts of one channel, in order.
    std::vector<std::string> Texts(int channel) const;
    // Whether an event with `code` came for the channel.
    bool Has(int channel, int code) const;

    std::function<void(const RecordedEvent&)> onEvent;  // runs on the console thread

  private:
    mutable std::mutex m_lock;
    std::vector<RecordedEvent> m_events;
};

// Clears the image table and every channel's link record, as at program start.
void ResetEngine();
// Runs a download on `ports` (0: no port) at `baud` to its end, its events to `events`.
void RunDownload(EventRecorder& events, const int ports[CHANNEL_COUNT], int baud = 115200);
