#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "ports/port_list.h"
#include "ports/udev_port_map.h"
#include "serial/port_directory.h"

std::vector<PortListing> PORTS_List(const std::string& portDir, const PublishesFn& publishes) {
    std::vector<PortListing> ports;
    for (int com : PORT_DIRECTORY_List(portDir)) {
        PortListing port;
        port.com = com;
        const std::string entry = PORT_DIRECTORY_EntryPath(portDir, com);
        char text[PATH_MAX];
        const ssize_t n = readlink(entry.c_str(), text, sizeof text - 1);
        port.stablePath = n > 0 ? std::string(text, static_cast<size_t>(n)) : entry;
        port.device = realpath(entry.c_str(), text) != nullptr ? text : entry;
        if (publishes && publishes(com)) {
            port.source = PortListing::kThisProgram;
        } else {
            const EntryOwner owner = UDEV_EntryOwner(portDir, com, &port.pid);
            port.source = owner == EntryOwner::kLive    ? PortListing::kOtherProgram
                          : owner == EntryOwner::kEnded ? PortListing::kLeft
                                                        : PortListing::kByHand;
        }
        ports.push_back(port);
    }
    return ports;
}
