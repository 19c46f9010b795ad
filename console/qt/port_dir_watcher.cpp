#include "console/qt/port_dir_watcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"

namespace {

// Renames count: publishers write a temporary name and rename it into place.
constexpr uint32_t kEntryEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;
constexpr uint32_t kDirectoryEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::set<int> ListUsableEntries(const std::string& dir) {
    const std::vector<int> ports = PORT_DIRECTORY_List(dir);
    return std::set<int>(ports.begin(), ports.end());
}

}  // namespace

PortDirWatcher::~PortDirWatcher() { Close(); }

void PortDirWatcher::Close() {
    if (m_fd >= 0) {
        close(m_fd);
    }
    m_fd = -1;
    m_watch = -1;
}

bool PortDirWatcher::Open(const std::string& dir, std::string* error) {
    Close();
    m_dir = dir;
    m_present.clear();
    if (!PORT_DIRECTORY_Ensure(dir)) {
        *error = dir + ": " + std::strerror(errno);
        return false;
    }
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        *error = std::string("inotify: ") + std::strerror(errno);
        return false;
    }
    m_watch = inotify_add_watch(m_fd, dir.c_str(), kEntryEvents | kDirectoryEvents);
    if (m_watch < 0) {
        *error = dir + ": " + std::strerror(errno);
        Close();
        return false;
    }
    return true;
}

bool PortDirWatcher::EntryUsable(int com) const {
    struct stat st {};
    return stat(PORT_DIRECTORY_EntryPath(m_dir, com).c_str(), &st) == 0;
}

std::vector<PortChange> PortDirWatcher::Rescan() {
    const std::set<int> now = ListUsableEntries(m_dir);
    std::vector<PortChange> changes;
    for (int com : m_present) {
        if (now.count(com) == 0) {
            changes.push_back({PortChange::kRemoval, com});
        }
    }
    for (int com : now) {
        if (m_present.count(com) == 0) {
            changes.push_back({PortChange::kArrival, com});
        }
    }
    m_present = now;
    return changes;
}

std::vector<PortChange> PortDirWatcher::ReadChanges() {
    std::vector<PortChange> changes;
    if (m_fd < 0) {
        return changes;
    }
    bool rescan = false;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;  // EAGAIN: nothing more waits
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                rescan = true;
                continue;
            }
            // Events of a watch given up earlier (its IN_IGNORED above all) are old news.
            if (event.wd != m_watch) {
                continue;
            }
            if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                rescan = true;
                continue;
            }
            const int com = event.len > 0 ? PORT_DIRECTORY_ParseName(name) : 0;
            if (com <= 0) {
                continue;
            }
            const bool known = m_present.count(com) != 0;
            const bool usable = (event.mask & (IN_CREATE | IN_MOVED_TO)) && EntryUsable(com);
            if (usable && !known) {
                m_present.insert(com);
                changes.push_back({PortChange::kArrival, com});
            } else if (!usable && known) {
                m_present.erase(com);
                changes.push_back({PortChange::kRemoval, com});
            }
        }
    }
    if (rescan) {
        // The kernel lost events, or the directory was removed or moved: follow the
        // directory of that name (made anew if need be) and report the difference.
        FollowDirectory();
        const std::vector<PortChange> difference = Rescan();
        changes.insert(changes.end(), difference.begin(), difference.end());
    }
    return changes;
}

void PortDirWatcher::FollowDirectory() {
    ++m_rescans;
    // The old watch goes only once the new one stands, and only when it is another: the
    // kernel gives the same directory the same watch, and a removed watch queues an
    // IN_IGNORED, which must not start this again. A directory that cannot be had (again)
    // is not watched.
    const int previous = m_watch;
    m_watch = PORT_DIRECTORY_Ensure(m_dir)
                  ? inotify_add_watch(m_fd, m_dir.c_str(), kEntryEvents | kDirectoryEvents)
                  : -1;
    if (previous >= 0 && previous != m_watch) {
        inotify_rm_watch(m_fd, previous);
    }
}

std::vector<PortChange> PortDirWatcher::Present() const {
    std::vector<PortChange> present;
    for (int com : m_present) {
        present.push_back({PortChange::kArrival, com});
    }
    return present;
}
