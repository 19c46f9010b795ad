// The udev side of hot-plug: the tty devices that exist now and the ones that come and go.
//
// Wraps libudev (udev_monitor_linux.cpp); builds without it (udev_monitor_none.cpp), and then
// Open fails. Not thread-safe: one thread at a time uses a monitor.
#pragma once

#include <vector>

#include "ports/udev_port_map.h"

struct udev;
struct udev_monitor;

class UdevMonitor {
  public:
    UdevMonitor() = default;
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // True when the udev daemon runs here (its control socket exists). Without it no device
    // events arrive and devices lack the properties (links, bus) that the mapping uses.
    static bool DaemonRunning();

    // Subscribes to udev's events of the tty subsystem. False when libudev is not available
    // or the subscription fails.
    bool Open();

    // Readable when an event waits; -1 when not open.
    int Fd() const;

    // Every tty device that exists now, with its properties (no ACTION).
    std::vector<DeviceProperties> Enumerate() const;

    // Takes one waiting event into *device, without blocking. False when none waits.
    bool Receive(DeviceProperties* device);

  private:
    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
};
