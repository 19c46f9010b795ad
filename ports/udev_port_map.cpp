#include "ports/udev_port_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::string OwnerPath(const std::string& portDir, int com) {
    return portDir + "/.COM" + std::to_string(com) + ".owner";
}

// What AcquireOwner returns when another program holds the lock, or on a failure.
constexpr int kHeldElsewhere = -2;
constexpr int kOwnerFailed = -1;

// Takes the exclusive lock of an owner file, making the file when missing, and writes our
// process id into it. A file that its previous owner removed between our open and our lock
// is no longer the one others find, so the lock is taken again on the file now there.
int AcquireOwner(const std::string& path, std::string* error) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            *error = path + ": " + std::strerror(errno);
            return kOwnerFailed;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            close(fd);
            if (why == EWOULDBLOCK) {
                return kHeldElsewhere;
            }
            *error = path + ": " + std::strerror(why);
            return kOwnerFailed;
        }
        struct stat held {
        }, now{};
        if (fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
            held.st_dev == now.st_dev) {
            const std::string pid = std::to_string(getpid()) + "\n";
            if (ftruncate(fd, 0) != 0 ||
                pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
                // The lock is what counts; the process id only helps a reader.
            }
            return fd;
        }
        close(fd);
    }
    *error = path + ": keeps being replaced";
    return kOwnerFailed;
}

// The lowest COM<n> in portDir that is a link to target, or 0.
int EntryLeadingTo(const std::string& portDir, const std::string& target) {
    int found = 0;
    DIR* dir = opendir(portDir.c_str());
    if (dir == nullptr) {
        return 0;
    }
    while (const dirent* entry = readdir(dir)) {
        const int com = PORT_DIRECTORY_ParseName(entry->d_name);
        if (com > 0 && (found == 0 || com < found) &&
            ReadLink(portDir + "/" + entry->d_name) == target) {
            found = com;
        }
    }
    closedir(dir);
    return found;
}

// The path the entry of a device links to: the stable link when udev made one (so the entry
// shows where the adapter is plugged in), else the device node.
std::string TargetOf(const DeviceProperties& device) {
    const std::string stablePath = UDEV_StablePath(device);
    return Exists(stablePath) ? stablePath : Property(device, "DEVNAME");
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

EntryOwner UDEV_EntryOwner(const std::string& portDir, int com, int* pid) {
    const int fd = open(OwnerPath(portDir, com).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return EntryOwner::kNone;
    }
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    *pid = n > 0 ? std::atoi(text) : 0;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);  // also lets go of the shared lock, should it have been taken
    return held ? EntryOwner::kLive : EntryOwner::kEnded;
}

UdevPortMap::UdevPortMap(std::string settingsPath, std::string portDir)
    : m_settingsPath(std::move(settingsPath)), m_portDir(std::move(portDir)) {
    m_publishersFd =
        open((m_portDir + "/.publishers").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_publishersFd >= 0 && flock(m_publishersFd, LOCK_SH) != 0) {
        close(m_publishersFd);
        m_publishersFd = -1;
    }
}

UdevPortMap::~UdevPortMap() {
    WithdrawAll();
    if (m_publishersFd >= 0) {
        close(m_publishersFd);
    }
}

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

bool UdevPortMap::Publishes(int com) const {
    for (const auto& [devpath, published] : m_published) {
        if (published.com == com) {
            return true;
        }
    }
    return false;
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
    while (taken.count(com) != 0 || Exists(PORT_DIRECTORY_EntryPath(m_portDir, com))) {
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

int UdevPortMap::Publish(const DeviceProperties& device, std::string* error) {
    const std::string stablePath = UDEV_StablePath(device);
    if (stablePath.empty()) {
        return 0;
    }
    const std::string target = TargetOf(device);
    // An entry already made for this device (by another program, or one that ended) keeps
    // its number: both programs then name the adapter alike.
    const int existing = EntryLeadingTo(m_portDir, target);
    const int com = existing > 0 ? existing : NumberFor(stablePath);
    const int ownerFd = AcquireOwner(OwnerPath(m_portDir, com), error);
    if (ownerFd == kHeldElsewhere) {
        return 0;  // the other program publishes; we note the device
    }
    if (ownerFd < 0) {
        return -1;
    }
    const std::string entry = PORT_DIRECTORY_EntryPath(m_portDir, com);
    // An entry left by a publisher that ended is adopted as it stands.
    const PortPublish published = PORT_DIRECTORY_Publish(entry, target, error);
    if (published != PortPublish::kPublished) {
        if (published == PortPublish::kTaken) {
            *error = "COM" + std::to_string(com) + " is taken in " + m_portDir + " by " +
                     ReadLink(entry) + "; " + target + " is not published";
        }
        unlink(OwnerPath(m_portDir, com).c_str());
        close(ownerFd);
        return -1;
    }
    m_published[Property(device, "DEVPATH")] = Published{com, target, ownerFd};
    return com;
}

void UdevPortMap::Withdraw(int com, const std::string& target, int ownerFd) {
    // Only our own link goes: someone may have put another device there meanwhile.
    PORT_DIRECTORY_Withdraw(PORT_DIRECTORY_EntryPath(m_portDir, com), target);
    unlink(OwnerPath(m_portDir, com).c_str());
    close(ownerFd);
}

int UdevPortMap::Handle(const DeviceProperties& device, std::string* error) {
    const std::string action = Property(device, "ACTION");
    const std::string devpath = Property(device, "DEVPATH");
    if (devpath.empty()) {
        return 0;
    }
    if (action == "remove") {
        const auto noted = m_noted.find(devpath);
        if (noted != m_noted.end()) {
            // Its publisher may have ended without withdrawing it: then we do, as heir.
            const DeviceProperties known = noted->second;
            m_noted.erase(noted);
            for (const std::string& target : {UDEV_StablePath(known), Property(known, "DEVNAME")}) {
                const int com = EntryLeadingTo(m_portDir, target);
                std::string ignored;
                const int ownerFd =
                    com > 0 ? AcquireOwner(OwnerPath(m_portDir, com), &ignored) : kOwnerFailed;
                if (ownerFd >= 0) {
                    Withdraw(com, target, ownerFd);
                    return com;
                }
            }
            return 0;
        }
        const auto found = m_published.find(devpath);
        if (found == m_published.end()) {
            return 0;
        }
        const Published gone = found->second;
        m_published.erase(found);
        Withdraw(gone.com, gone.target, gone.ownerFd);
        return gone.com;
    }
    if ((!action.empty() && action != "add" && action != "change") ||
        m_published.count(devpath) != 0 || m_noted.count(devpath) != 0 ||
        !UDEV_IsSerialPort(device)) {
        return 0;
    }
    const int com = Publish(device, error);
    if (com == 0) {
        m_noted[devpath] = device;
    }
    return com > 0 ? com : 0;
}

std::vector<int> UdevPortMap::Adopt(std::string* error) {
    std::vector<int> adopted;
    for (auto it = m_noted.begin(); it != m_noted.end();) {
        const int com = Publish(it->second, error);
        if (com != 0) {
            if (com > 0) adopted.push_back(com);
            it = m_noted.erase(it);  // adopted, or refused for good (*error says why)
        } else {
            ++it;
        }
    }
    return adopted;
}

void UdevPortMap::WithdrawAll() {
    // Alone when no other publisher holds its shared lock: then nobody would adopt ours.
    const bool alone = m_publishersFd < 0 || flock(m_publishersFd, LOCK_EX | LOCK_NB) == 0;
    for (const auto& [devpath, published] : m_published) {
        if (alone) {
            Withdraw(published.com, published.target, published.ownerFd);
        } else {
            close(published.ownerFd);
        }
    }
    m_published.clear();
    if (m_publishersFd >= 0) {
        flock(m_publishersFd, LOCK_SH);
    }
}
