// The console's sources of port arrivals and removals, both read on the console thread
// through socket notifiers of its event loop:
//   1. the port directory (console/port_dir_watcher.h): entries COM<n> made and removed, by
//      the terminal simulator, by a user, or by source 2;
//   2. udev's serial devices, which the port publisher (ports/port_publisher.h) puts in the
//      port directory under the COM number that its physical place keeps, and withdraws when
//      they go away. Source 1 then reports them like any other port, and the serial device
//      opens them through their entries like any other.
//
// Console thread only. Problems (a directory that cannot be watched, a COM number held by
// someone else) go to standard error; the other source goes on.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "console/qt/port_dir_watcher.h"

class QSocketNotifier;
class PortPublisher;

class HotPlug {
  public:
    // devicePath: what the port's entry stands for (PORT_DIRECTORY_Describe); empty on removal.
    using Callback = std::function<void(PortChange::Kind kind, int com, const QString& devicePath)>;

    explicit HotPlug(Callback callback);
    ~HotPlug();  // withdraws the udev ports it published
    HotPlug(const HotPlug&) = delete;
    HotPlug& operator=(const HotPlug&) = delete;

    // Publishes the serial devices that udev knows now (when the daemon runs and the source
    // is enabled) and starts watching the port directory and udev. The ports present then
    // are not reported: only a port that arrives later is a terminal.
    void Start();

    // The ports present, in COM order, each with what it stands for (none when nothing is
    // watched).
    std::vector<std::pair<int, QString>> Present() const;

    // The port directory being watched (empty before Start or when it cannot be watched).
    std::string Dir() const;

  private:
    void StartUdev(const std::string& portDir);
    void ReadDirectory();
    void Report(const std::vector<PortChange>& changes);

    Callback m_callback;
    PortDirWatcher m_watcher;
    bool m_watching = false;
    std::unique_ptr<QSocketNotifier> m_dirNotifier;
    std::unique_ptr<PortPublisher> m_publisher;
};
