// On Windows a COM number names a device of the system: COM n is \\.\COMn, and the ports
// come and go as the system reports them, so there is no directory to make.
#include <windows.h>

#include <algorithm>

#include "core/utf16_win32.h"
#include "serial/port_directory.h"

std::string PORT_DIRECTORY_Path() { return "\\\\.\\"; }

// The device name CreateFile opens: "COMn" below 10, "\\.\COMn" from 10 on (the short
// form names only COM1 to COM9).
std::string PORT_DIRECTORY_EntryPath(int comPort) {
    const std::string name = "COM" + std::to_string(comPort);
    return comPort < 10 ? name : PORT_DIRECTORY_Path() + name;
}

std::string PORT_DIRECTORY_EntryPath(const std::string& /*dir*/, int comPort) {
    return PORT_DIRECTORY_EntryPath(comPort);
}

// Windows keeps the device names itself: nothing to make, and no one can plant one.
bool PORT_DIRECTORY_Ensure(const std::string& /*dir*/, std::string* /*error*/,
                           std::string* warning) {
    if (warning != nullptr) warning->clear();
    return true;
}

bool PORT_DIRECTORY_Check(const std::string& /*dir*/, std::string* /*error*/) { return true; }

std::vector<int> PORT_DIRECTORY_List(const std::string& dir) {
    std::vector<int> ports;
    for (const PortEntry& entry : PORT_DIRECTORY_Entries(dir)) ports.push_back(entry.com);
    return ports;
}

// The ports the system lists in the registry key HARDWARE\DEVICEMAP\SERIALCOMM of the
// machine: a value's name is the device, its data the COM name.
std::vector<PortEntry> PORT_DIRECTORY_Entries(const std::string& /*dir*/) {
    std::vector<PortEntry> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[64] = {};
        DWORD dataBytes = sizeof data - sizeof(wchar_t);  // room for a terminator
        DWORD type = 0;
        LONG r = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                               reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // ERROR_MORE_DATA: no COM name
        const int n = PORT_DIRECTORY_ParseName(UTF16_ToUtf8(data).c_str());
        const bool listed =
            std::any_of(ports.begin(), ports.end(), [n](const PortEntry& p) { return p.com == n; });
        if (n > 0 && !listed) ports.push_back({n, UTF16_ToUtf8(std::wstring(name, nameLength))});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.com < b.com; });
    return ports;
}

std::string PORT_DIRECTORY_Describe(const std::string& dir, int com) {
    for (const PortEntry& entry : PORT_DIRECTORY_Entries(dir))
        if (entry.com == com) return entry.device;
    return std::string();
}
