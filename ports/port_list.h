// What the front ends see as ports, for an operator who checks a line: every port present,
// with the device it leads to and who made it known. One file per platform
// (port_list_posix.cpp, port_list_win32.cpp).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct PortListing {
    enum Source {
        kThisProgram,   // published by the caller's publisher
        kOtherProgram,  // published by another running program (pid)
        kByHand,        // an entry no publisher made: a user's link, a simulator's
        kLeft,          // published by a program that ended; a running one adopts it soon
        kSystem,        // listed by the system (Windows)
    };
    int com = 0;
    std::string device;      // the device node (or name) it opens
    std::string stablePath;  // what the entry links to, such as a /dev/serial/by-path link
    Source source = kByHand;
    int pid = 0;  // kOtherProgram, kLeft: the publisher's process id, when known
};

// The ports present in portDir (Windows: the ports the system lists), in COM order.
// publishes tells the COM numbers that the caller's own publisher holds (may be empty).
using PublishesFn = std::function<bool(int com)>;
std::vector<PortListing> PORTS_List(const std::string& portDir, const PublishesFn& publishes);

// One line of a table for the operator: "COM5   /dev/ttyUSB0   /dev/serial/by-path/...   by
// this program".
std::string PORTS_ListingText(const PortListing& port);
