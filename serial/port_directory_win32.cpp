// On Windows a COM number names a device of the system: COM n is \\.\COMn, and the ports
// come and go as the system reports them, so there is no directory to make.
#include "serial/port_directory.h"

std::string PORT_DIRECTORY_Path() { return "\\\\.\\"; }

// The device name CreateFile opens: "COMn" below 10, "\\.\COMn" from 10 on (the short
// form names only COM1 to COM9).
std::string PORT_DIRECTORY_EntryPath(int comPort) {
    const std::string name = "COM" + std::to_string(comPort);
    return comPort < 10 ? name : PORT_DIRECTORY_Path() + name;
}

// Windows keeps the device names itself: nothing to make, and no one can plant one.
bool PORT_DIRECTORY_Ensure(const std::string& /*dir*/, std::string* /*error*/,
                           std::string* warning) {
    if (warning != nullptr) warning->clear();
    return true;
}

bool PORT_DIRECTORY_Check(const std::string& /*dir*/, std::string* /*error*/) { return true; }
