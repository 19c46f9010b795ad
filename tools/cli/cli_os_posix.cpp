#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>

#include "serial/port_directory.h"
#include "tools/cli/cli_os.h"

namespace {

std::atomic<bool>* s_stop = nullptr;

void OnStopSignal(int) {
    if (s_stop != nullptr) *s_stop = true;
}

}  // namespace

std::vector<std::string> CLI_OS_Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool CLI_OS_SetupConsole() { return isatty(STDOUT_FILENO) != 0; }

void CLI_OS_CatchStop(std::atomic<bool>* stop) {
    s_stop = stop;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

std::vector<int> CLI_OS_ListPorts() {
    std::vector<int> ports;
    DIR* dir = opendir(PORT_DIRECTORY_Path().c_str());
    if (dir == nullptr) return ports;
    while (dirent* d = readdir(dir)) {
        int n = PORT_DIRECTORY_ParseName(d->d_name);
        if (n > 0 && access(PORT_DIRECTORY_EntryPath(n).c_str(), F_OK) == 0) ports.push_back(n);
    }
    closedir(dir);
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::string CLI_OS_PortSource() { return PORT_DIRECTORY_Path(); }

std::string CLI_OS_DevicePath(int com) {
    char resolved[PATH_MAX];
    std::string entry = PORT_DIRECTORY_EntryPath(com);
    return realpath(entry.c_str(), resolved) != nullptr ? resolved : entry;
}
