// The engine's event hand-over between workers and the console thread (internal to the
// engine; the console uses engine_events.h and download.h).
//
// All functions are thread-safe. Register, Unregister, DeliverPending and WaitForPost are
// called on the console thread; Send and Wake from any thread.
#pragma once

#include <chrono>

class EngineWindow;

// Makes window the target of events from now on; the calling thread is the console thread.
void EVENTS_Register(EngineWindow* window, int message);

// No target from now on: every waiting sender is released with result 0, later sends
// are dropped.
void EVENTS_Unregister();

// Sends one event (see KOVIR_SendMessage). Returns false when no window is registered.
bool EVENTS_Send(int code, const void* record, int* result);

// Runs the handler for every event that waits, in the order they were posted, and releases
// their senders. Returns the number delivered.
int EVENTS_DeliverPending();

// Waits until an event is posted, Wake is called, or timeout passed.
void EVENTS_WaitForPost(std::chrono::milliseconds timeout);

// Wakes WaitForPost (a worker finished).
void EVENTS_Wake();
