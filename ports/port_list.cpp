#include "ports/port_list.h"

#include <cstdio>

std::string PORTS_ListingText(const PortListing& port) {
    const std::string process =
        port.pid > 0 ? " (process " + std::to_string(port.pid) + ")" : std::string();
    std::string source;
    switch (port.source) {
        case PortListing::kThisProgram:
            source = "published by this program";
            break;
        case PortListing::kOtherProgram:
            source = "published by another program" + process;
            break;
        case PortListing::kLeft:
            source = "left by a program that ended" + process;
            break;
        case PortListing::kByHand:
            source = "made by hand";
            break;
        case PortListing::kSystem:
            source = "listed by the system";
            break;
    }
    char com[16];
    std::snprintf(com, sizeof com, "COM%-4d", port.com);
    const std::string stable = port.stablePath.empty() ? "-" : port.stablePath;
    return std::string(com) + "  " + port.device + "  " + stable + "  " + source;
}
