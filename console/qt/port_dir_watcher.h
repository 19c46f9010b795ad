// Port arrivals and removals seen in the port directory (serial/port_directory.h): an entry
// COM<n> that appears is an arrival of COM n, one that goes away is its removal.
//
// Linux inotify; plain C++. The watcher keeps the set of entries it has reported present, so
// every arrival is followed by at most one removal and the other way round, whatever order
// the directory's events come in. Entries whose link leads nowhere (left behind by a
// program that ended) do not count as present. Not thread-safe: one thread (the console's)
// uses a watcher.
#pragma once

#include <set>
#include <string>
#include <vector>

struct PortChange {
    enum Kind { kArrival, kRemoval };
    Kind kind;
    int com;
};

class PortDirWatcher {
  public:
    PortDirWatcher() = default;
    ~PortDirWatcher();
    PortDirWatcher(const PortDirWatcher&) = delete;
    PortDirWatcher& operator=(const PortDirWatcher&) = delete;

    // Creates the directory when missing and starts watching it. The entries present now
    // are not reported yet: Rescan does that. Returns false with the reason in *error.
    bool Open(const std::string& dir, std::string* error);

    // Readable when changes wait to be read; -1 before Open.
    int Fd() const { return m_fd; }

    const std::string& Dir() const { return m_dir; }

    // Compares the directory with what was reported: removals of the entries gone, then
    // arrivals of the new ones, each in COM order.
    std::vector<PortChange> Rescan();

    // Reads every change that waits, without blocking, in the order they happened. When the
    // kernel dropped changes, or the directory itself was moved or removed, this rescans
    // once and from then on watches the directory of that name (made anew when missing).
    std::vector<PortChange> ReadChanges();

    // Every entry reported present, as arrivals in COM order (nothing is changed).
    std::vector<PortChange> Present() const;

    // How often the directory was watched anew by its name, after a move, a removal or
    // lost events: once for each of them.
    int Rescans() const { return m_rescans; }

  private:
    bool EntryUsable(int com) const;
    void FollowDirectory();
    void Close();

    std::string m_dir;
    int m_fd = -1;
    int m_watch = -1;
    int m_rescans = 0;
    std::set<int> m_present;
};
