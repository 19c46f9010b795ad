#include "serial/port_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string PORT_DIRECTORY_Path() {
    const char* dir = std::getenv("KOVIRW_PORT_DIR");
    if (dir != nullptr && dir[0] != '\0') return dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/kovirw/ports";
    return "/tmp/kovirw-" + std::to_string(getuid()) + "/ports";
}

std::string PORT_DIRECTORY_EntryPath(int comPort) {
    return PORT_DIRECTORY_Path() + "/COM" + std::to_string(comPort);
}

bool PORT_DIRECTORY_Ensure(const std::string& dir) {
    if (dir.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
