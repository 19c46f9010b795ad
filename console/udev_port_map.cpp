#include "console/udev_port_map.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <sstream>
#include <utility>

#include "config/private_profile.h"
#include "serial/port_directory.h"

namespace {

const char kPortsSection[] = "PORTS";
const char kByPathPrefix[] = "/dev/serial/by-path/";

std::string Property(const DeviceProperties& device, const char* name) {
    const auto found = device.find(name);
    return found != device.end() ? found->second : std::string();
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Profile keys are matched without regard to case, as the platform's profile functions do.
int KeyNumber(const std::string& key) {
    std::string upper = key;
    for (char& ch : upper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return PORT_DIRECTORY_ParseName(upper.c_str());
}

std::string ReadLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) {
        return std::string();
    }
    return std::string(target, static_cast<size_t>(n));
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool UDEV_IsSerialPort(const DeviceProperties& device) {
    const std::string subsystem = Property(device, "SUBSYSTEM");
    const std::string devpath = Property(device, "DEVPATH");
    const std::string devname = Property(device, "DEVNAME");
    if ((!subsystem.empty() && subsystem != "tty") || devpath.empty() ||
        !StartsWith(devname, "/dev/")) {
        return false;
    }
    // Virtual terminals, the console and pseudo-terminal masters have no device behind them.
    if (StartsWith(devpath, "/devices/virtual/")) {
        return false;
    }
    const std::string name = BaseName(devname);
    if (Property(device, "ID_BUS") == "usb" || StartsWith(name, "ttyUSB") ||
        StartsWith(name, "ttyACM")) {
        return true;
    }
    // The 8250 driver registers its placeholder ports under its own platform device; a UART
    // that was found (PnP, PCI, a board's device tree) sits under the device that holds it.
    return devpath.find("/serial8250/") == std::string::npos &&
           devpath.find("/tty/") != std::string::npos;
}

std::string UDEV_StablePath(const DeviceProperties& device) {
    std::istringstream links(Property(device, "DEVLINKS"));
    std::string link;
    while (links >> link) {
        if (StartsWith(link, kByPathPrefix)) {
            return link;
        }
    }
    return Property(device, "DEVNAME");
}

UdevPortMap::UdevPortMap(std::string settingsPath, std::string portDir)
    : m_settingsPath(std::move(settingsPath)), m_portDir(std::move(portDir)) {}

UdevPortMap::~UdevPortMap() { WithdrawAll(); }

int UdevPortMap::BoundNumber(const std::string& stablePath) const {
    if (m_settingsPath.empty()) {
        return 0;
    }
    int bound = 0;
    for (const auto& [key, value] :
         PrivateProfile_GetSection(kPortsSection, m_settingsPath.c_str())) {
        const int com = KeyNumber(key);
        if (com > 0 && value == stablePath && (bound == 0 || com < bound)) {
            bound = com;
        }
    }
    return bound;
}

int UdevPortMap::NumberFor(const std::string& stablePath) {
    const int bound = BoundNumber(stablePath);
    if (bound > 0) {
        return bound;
    }
    // A new place: the lowest number that no key names and no entry uses.
    std::set<int> taken;
    if (!m_settingsPath.empty()) {
        for (const auto& [key, value] :
             PrivateProfile_GetSection(kPortsSection, m_settingsPath.c_str())) {
            taken.insert(KeyNumber(key));
        }
    }
    int com = 1;
    while (taken.count(com) != 0 || Exists(m_portDir + "/COM" + std::to_string(com))) {
        ++com;
    }
    if (!m_settingsPath.empty()) {
        // Should the settings file be unwritable, the number holds for this session only.
        const std::string key = "COM" + std::to_string(com);
        PrivateProfile_WriteString(kPortsSection, key.c_str(), stablePath.c_str(),
                                   m_settingsPath.c_str());
    }
    return com;
}

bool UdevPortMap::Publish(int com, const std::string& target, std::string* error) {
    const std::string entry = m_portDir + "/COM" + std::to_string(com);
    struct stat st {};
    if (lstat(entry.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && ReadLink(entry) == target) {
            return true;  // left by an earlier run for the same device
        }
        struct stat targetSt {};
        const bool dangling = S_ISLNK(st.st_mode) && stat(entry.c_str(), &targetSt) != 0;
        if (!dangling) {
            *error = "COM" + std::to_string(com) + " is taken in " + m_portDir + " by " +
                     ReadLink(entry) + "; " + target + " is not published";
            return false;
        }
    }
    // A temporary name renamed into place: watchers never see a half-made entry.
    const std::string temp =
        m_portDir + "/.COM" + std::to_string(com) + ".udev" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), entry.c_str()) != 0) {
        *error = entry + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void UdevPortMap::Withdraw(int com, const std::string& target) {
    const std::string entry = m_portDir + "/COM" + std::to_string(com);
    // Only our own link goes: someone may have put another device there meanwhile.
    if (ReadLink(entry) == target) {
        unlink(entry.c_str());
    }
}

int UdevPortMap::Handle(const DeviceProperties& device, std::string* error) {
    const std::string action = Property(device, "ACTION");
    const std::string devpath = Property(device, "DEVPATH");
    if (devpath.empty()) {
        return 0;
    }
    if (action == "remove") {
        const auto found = m_published.find(devpath);
        if (found == m_published.end()) {
            return 0;
        }
        const Published gone = found->second;
        m_published.erase(found);
        Withdraw(gone.com, gone.target);
        return gone.com;
    }
    if ((!action.empty() && action != "add" && action != "change") ||
        m_published.count(devpath) != 0 || !UDEV_IsSerialPort(device)) {
        return 0;
    }
    const std::string stablePath = UDEV_StablePath(device);
    if (stablePath.empty()) {
        return 0;
    }
    const int com = NumberFor(stablePath);
    // The link names the physical place when udev made one, so the entry shows where the
    // adapter is plugged in; otherwise it leads straight to the device node.
    const std::string devname = Property(device, "DEVNAME");
    const std::string target = Exists(stablePath) ? stablePath : devname;
    if (!Publish(com, target, error)) {
        return 0;
    }
    m_published[devpath] = Published{com, target};
    return com;
}

void UdevPortMap::WithdrawAll() {
    for (const auto& [devpath, published] : m_published) {
        Withdraw(published.com, published.target);
    }
    m_published.clear();
}
