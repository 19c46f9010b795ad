// Which ports the station counts as plugged in. A port list read now and then misses a port
// whose entry is being made again (a udev rule, a simulator's restart, a link replaced in
// two steps), and a COM number may come back for another device: a terminal is known by its
// port and the device it leads to, and counts as gone only when two readings in a row, at
// least the scan period apart, miss it. Main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "serial/port_directory.h"

class PortPresence {
  public:
    // Takes one reading of the port list, at least the scan period after the one before.
    // Returns the ports that count as gone since the last reading: missed by this reading and
    // the one before, or present now for another device (that device is then present).
    std::vector<int> Take(const std::vector<PortEntry>& reading);

  private:
    struct Known {
        std::string device;
        bool missedOnce;
    };
    std::map<int, Known> m_known;
};
