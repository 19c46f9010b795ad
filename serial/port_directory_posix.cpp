#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"

namespace {

// The text of the symbolic link at path; false when path is no link.
bool ReadLink(const std::string& path, std::string* target) {
    char text[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), text, sizeof text);
    if (n < 0 || n >= static_cast<ssize_t>(sizeof text)) return false;
    target->assign(text, static_cast<size_t>(n));
    return true;
}

// The default directory as the environment makes it, KOVIRW_PORT_DIR aside.
std::string DefaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/kovirw/ports";
    return "/tmp/kovirw-" + std::to_string(getuid()) + "/ports";
}

// mkdir -p with mode 0700 for the parts made here.
bool MakeDirectories(const std::string& dir, std::string* error) {
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        const std::string partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "the port directory " + dir + " cannot be made: " + partial + ": " +
                     std::strerror(errno);
            return false;
        }
    }
    return true;
}

// path must be a real directory of this user that nobody else may write to; made with mode
// 0700 when missing and create is set.
bool CheckOwnDirectory(const std::string& path, bool create, std::string* error) {
    if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "the port directory " + path + " cannot be made: " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        *error = "the port directory " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string what;
    if (S_ISLNK(st.st_mode)) {
        what = "is a symbolic link";
    } else if (!S_ISDIR(st.st_mode)) {
        what = "is not a directory";
    } else if (st.st_uid != geteuid()) {
        what = "belongs to user " + std::to_string(st.st_uid);
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        what = std::string("is writable by other users (mode ") + mode + ")";
    }
    if (what.empty()) return true;
    *error = "the port directory " + path + " " + what +
             ": another user could plant ports in it; remove it, or name a directory of yours "
             "in KOVIRW_PORT_DIR";
    errno = EPERM;
    return false;
}

bool Prepare(const std::string& dir, bool create, std::string* error, std::string* warning) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    if (warning != nullptr) warning->clear();
    if (dir.empty()) {
        *error = "the port directory has no name";
        errno = ENOENT;
        return false;
    }
    if (dir == DefaultPath()) {
        // .../kovirw/ports or /tmp/kovirw-<uid>/ports: the folder above "ports" is ours too,
        // and what lies above it ($XDG_RUNTIME_DIR, /tmp) is the system's.
        const std::string base = dir.substr(0, dir.rfind('/'));
        const std::string above = base.substr(0, base.rfind('/'));
        if (create && !above.empty() && !MakeDirectories(above, error)) return false;
        return CheckOwnDirectory(base, create, error) && CheckOwnDirectory(dir, create, error);
    }
    if (create && !MakeDirectories(dir, error)) return false;
    struct stat st {};
    const bool found = stat(dir.c_str(), &st) == 0;
    if (!found || !S_ISDIR(st.st_mode)) {
        if (found) errno = ENOTDIR;
        *error = "the port directory " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (warning != nullptr && (st.st_mode & S_IWOTH) != 0) {
        *warning = "the port directory " + dir +
                   " is writable by every user: another user could publish a port there";
    }
    return true;
}

}  // namespace

std::string PORT_DIRECTORY_Path() {
    const char* dir = std::getenv("KOVIRW_PORT_DIR");
    if (dir != nullptr && dir[0] != '\0') return dir;
    return DefaultPath();
}

std::string PORT_DIRECTORY_EntryPath(int comPort) {
    return PORT_DIRECTORY_EntryPath(PORT_DIRECTORY_Path(), comPort);
}

std::string PORT_DIRECTORY_EntryPath(const std::string& dir, int comPort) {
    return dir + "/COM" + std::to_string(comPort);
}

bool PORT_DIRECTORY_Ensure(const std::string& dir, std::string* error, std::string* warning) {
    return Prepare(dir, true, error, warning);
}

bool PORT_DIRECTORY_Check(const std::string& dir, std::string* error) {
    return Prepare(dir, false, error, nullptr);
}

std::vector<int> PORT_DIRECTORY_List(const std::string& dir) {
    std::vector<int> ports;
    for (const PortEntry& entry : PORT_DIRECTORY_Entries(dir)) ports.push_back(entry.com);
    return ports;
}

std::vector<PortEntry> PORT_DIRECTORY_Entries(const std::string& dir) {
    std::vector<PortEntry> ports;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return ports;
    while (const dirent* entry = readdir(d)) {
        const int com = PORT_DIRECTORY_ParseName(entry->d_name);
        const std::string path = dir + "/" + entry->d_name;
        struct stat st {};
        if (com <= 0 || stat(path.c_str(), &st) != 0) continue;
        // The link's own text tells two terminals apart whose device numbers the kernel
        // handed out again; the device number tells a node replaced under the same name.
        std::string link;
        ReadLink(path, &link);
        ports.push_back(
            {com, link + " " + std::to_string(st.st_rdev) + ":" + std::to_string(st.st_ino)});
    }
    closedir(d);
    std::sort(ports.begin(), ports.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.com < b.com; });
    return ports;
}

std::string PORT_DIRECTORY_Describe(const std::string& dir, int com) {
    const std::string entry = PORT_DIRECTORY_EntryPath(dir, com);
    struct stat st {};
    if (lstat(entry.c_str(), &st) != 0) return std::string();
    if (!S_ISLNK(st.st_mode)) return entry;
    std::string described;
    if (!ReadLink(entry, &described)) return entry;
    char resolved[PATH_MAX];
    if (realpath(entry.c_str(), resolved) != nullptr && described != resolved) {
        described += std::string(" (") + resolved + ")";
    }
    return described;
}

PortPublish PORT_DIRECTORY_Publish(const std::string& entryPath, const std::string& target,
                                   std::string* error) {
    struct stat st {};
    if (lstat(entryPath.c_str(), &st) == 0) {
        std::string link;
        if (ReadLink(entryPath, &link) && link == target) return PortPublish::kPublished;
        struct stat targetSt {};
        const bool dangling = S_ISLNK(st.st_mode) && stat(entryPath.c_str(), &targetSt) != 0;
        if (!dangling) return PortPublish::kTaken;
    }
    // A dot name: no program takes it for a port, and our process id keeps two publishers of
    // one entry from sharing it.
    const size_t slash = entryPath.rfind('/');
    const std::string temp = entryPath.substr(0, slash + 1) + "." + entryPath.substr(slash + 1) +
                             ".tmp" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 ||
        rename(temp.c_str(), entryPath.c_str()) != 0) {
        *error = entryPath + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return PortPublish::kFailed;
    }
    return PortPublish::kPublished;
}

bool PORT_DIRECTORY_Withdraw(const std::string& entryPath, const std::string& target) {
    std::string link;
    return ReadLink(entryPath, &link) && link == target && unlink(entryPath.c_str()) == 0;
}
