#include "core/event_queue.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/engine_events.h"

namespace {

// One event waiting for the console; lives on the sender's stack until `done`.
struct PendingEvent {
    int code;
    const void* record;
    int result;
    bool done;
};

// Every sender blocks until its event is handled, so at most one event per worker thread
// waits; the capacity leaves room for senders outside the eight workers.
constexpr int kQueueCapacity = 32;

std::mutex s_lock;
std::condition_variable s_posted;    // console waits here for posts
std::condition_variable s_released;  // senders wait here for their event to be handled
EngineWindow* s_window = nullptr;
int s_message = 0;
std::thread::id s_consoleThread;
PendingEvent* s_queue[kQueueCapacity];
int s_head = 0;
int s_count = 0;
bool s_wakeRequested = false;

void ReleaseAllLocked() {
    while (s_count > 0) {
        PendingEvent* e = s_queue[s_head];
        s_head = (s_head + 1) % kQueueCapacity;
        --s_count;
        e->result = 0;
        e->done = true;
    }
    s_released.notify_all();
}

}  // namespace

void EVENTS_Register(EngineWindow* window, int message) {
    std::lock_guard<std::mutex> guard(s_lock);
    s_window = window;
    s_message = message;
    s_consoleThread = std::this_thread::get_id();
}

void EVENTS_Unregister() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_window = nullptr;
    s_message = 0;
    ReleaseAllLocked();
    s_posted.notify_all();
}

bool EVENTS_Send(int code, const void* record, int* result) {
    std::unique_lock<std::mutex> lock(s_lock);
    // The message id belongs to the registration: a window without an id gets nothing.
    if (s_window == nullptr || s_message == 0) return false;
    if (std::this_thread::get_id() == s_consoleThread) {
        EngineWindow* window = s_window;
        int message = s_message;
        lock.unlock();
        *result = window->OnEngineMessage(message, code, record);
        return true;
    }
    // The queue cannot fill (each sender waits for its own event), but should it ever,
    // waiting for room keeps the event rather than dropping it.
    s_released.wait(lock, [] { return s_count < kQueueCapacity || s_window == nullptr; });
    if (s_window == nullptr) return false;
    PendingEvent event{code, record, 0, false};
    s_queue[(s_head + s_count) % kQueueCapacity] = &event;
    ++s_count;
    s_posted.notify_all();
    s_window->WakeHost();
    s_released.wait(lock, [&event] { return event.done; });
    *result = event.result;
    return true;
}

int EVENTS_DeliverPending() {
    std::unique_lock<std::mutex> lock(s_lock);
    int delivered = 0;
    while (s_count > 0 && s_window != nullptr) {
        PendingEvent* event = s_queue[s_head];
        s_head = (s_head + 1) % kQueueCapacity;
        --s_count;
        EngineWindow* window = s_window;
        int message = s_message;
        lock.unlock();
        int result = window->OnEngineMessage(message, event->code, event->record);
        lock.lock();
        event->result = result;
        event->done = true;
        s_released.notify_all();
        ++delivered;
    }
    return delivered;
}

void EVENTS_WaitForPost(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(s_lock);
    s_posted.wait_for(lock, timeout, [] { return s_count > 0 || s_wakeRequested; });
    s_wakeRequested = false;
}

void EVENTS_Wake() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_wakeRequested = true;
    s_posted.notify_all();
}
