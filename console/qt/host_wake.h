// Wakes the console thread from any thread: Wake makes a socket notifier of the console's
// event loop fire, which runs the handler on the console thread.
//
// A socket notifier rather than a posted event, because a notifier keeps firing for as long
// as a wake is pending, in whatever event loop the console thread runs: a modal box's loop
// opened from a posted event's handler does not see events posted before it opened (on
// Qt's GLib event dispatcher) until something else wakes it.
//
// Constructed, destroyed and handled on the console thread; Wake may be called from any
// thread, never blocks and takes no lock.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

class HostWake {
  public:
    explicit HostWake(std::function<void()> handler);
    ~HostWake();
    HostWake(const HostWake&) = delete;
    HostWake& operator=(const HostWake&) = delete;

    // Any thread. Wakes that come before the handler runs are served by one call of it.
    void Wake();

  private:
    void OnReadable();

    std::function<void()> m_handler;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
