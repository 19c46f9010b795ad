#include "ports/port_list.h"
#include "serial/port_directory.h"

std::vector<PortListing> PORTS_List(const std::string& portDir, const PublishesFn&) {
    std::vector<PortListing> ports;
    for (int com : PORT_DIRECTORY_List(portDir)) {
        PortListing port;
        port.com = com;
        port.device = PORT_DIRECTORY_EntryPath(com);
        port.source = PortListing::kSystem;
        ports.push_back(port);
    }
    return ports;
}
