#include "bench/run_recorder.h"

#include <cstring>

#include "bench/alloc_count.h"
#include "core/event_record.h"

namespace {

// As much of text as fits, always terminated.
void CopyText(char* out, size_t size, const char* text) {
    const size_t n = strnlen(text, size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

void RunRecorder::Reset() {
    for (Channel& c : m_channels) c = Channel{};
}

int RunRecorder::OnEngineMessage(int /*message*/, int code, const void* record) {
    const Clock::time_point now = Clock::now();
    EngineEventRecord event;
    if (!ENGINE_EVENT_Read(code, record, &event)) return 0;
    switch (code) {
        case EV_CHANNEL_TEXT:
            OnChannelText(event);
            break;
        case EV_PROGRESS: {
            const ImageEntry& entry = *event.entry;
            Channel& c = m_channels[event.channel];
            if (entry.doneBytes == entry.totalBytes && !c.blocksEnded) {
                c.blocksEnded = true;
                c.blocksTo = now;
                c.allocsAtBlocksTo = ALLOC_Count();
            }
            break;
        }
        case EV_CHANNEL_DONE: {
            Channel& c = m_channels[event.channel];
            c.done = now;
            c.finished = true;
            break;
        }
        case EV_IMAGE_FAILED:
            m_channels[event.channel].failed = true;
            break;
        case EV_TEXT:
            // Only a port that cannot be opened sends a log line; the channel says so too.
            break;
        default:
            break;
    }
    return 0;
}

void RunRecorder::OnChannelText(const EngineEventRecord& event) {
    if (m_probe != nullptr && std::strcmp(event.text, EventProbe::kText) == 0) {
        m_probe->OnHandlerStart();
        return;
    }
    Channel& c = m_channels[event.channel];
    if (event.fact == FACT_STARTED) {
        c.started = Clock::now();
    } else if (event.fact == FACT_BLOCKS) {
        c.blocksFrom = Clock::now();
        c.allocsAtBlocksFrom = ALLOC_Count();
        c.hasBlocks = true;
    } else if (event.fact == FACT_FAILED) {
        if (!c.failed) CopyText(c.firstError, sizeof c.firstError, event.text);
        c.failed = true;
    }
}

bool RunRecorder::CommonBlockPhase(int channels, const Channel** first,
                                   const Channel** last) const {
    *first = nullptr;  // the last channel to start its blocks
    *last = nullptr;   // the first channel to end them
    for (int i = 0; i < channels; ++i) {
        const Channel& c = m_channels[i];
        if (!c.hasBlocks || !c.blocksEnded) return false;
        if (*first == nullptr || c.blocksFrom > (*first)->blocksFrom) *first = &c;
        if (*last == nullptr || c.blocksTo < (*last)->blocksTo) *last = &c;
    }
    return *first != nullptr && (*last)->blocksTo > (*first)->blocksFrom;
}

int64_t RunRecorder::AllocationsWhileAllSendBlocks(int channels) const {
    const Channel* first;
    const Channel* last;
    if (!CommonBlockPhase(channels, &first, &last)) return -1;
    return static_cast<int64_t>(last->allocsAtBlocksTo - first->allocsAtBlocksFrom);
}

double RunRecorder::SecondsWhileAllSendBlocks(int channels) const {
    const Channel* first;
    const Channel* last;
    if (!CommonBlockPhase(channels, &first, &last)) return 0;
    return std::chrono::duration<double>(last->blocksTo - first->blocksFrom).count();
}
