// The terminal's end of its line: a pseudo-terminal pair, and its entry in the port
// directory. Thread-safe: the functions touch only their arguments and the file system.
#pragma once

#include <string>

namespace termsim {

struct PtyPair {
    int master = -1;  // non-blocking; the simulated terminal reads and writes here
    int slave = -1;   // held open in raw mode so the master never sees a hang-up
    std::string slavePath;
};

// Opens a pseudo-terminal pair. Returns false with a message in *error.
bool OpenPty(PtyPair* pty, std::string* error);

// Closes whatever of the pair is open.
void ClosePty(PtyPair* pty);

// Makes entryPath a symlink to target: made under a temporary name and renamed into place,
// so a watcher never sees a half-made entry. An existing entry is replaced only when it is a
// dangling symlink (left by a simulator that died); anything else is reported as in use.
bool PublishEntry(const std::string& entryPath, const std::string& target, std::string* error);

// Removes entryPath if it is still our symlink to target (never someone else's).
void RemoveEntry(const std::string& entryPath, const std::string& target);

}  // namespace termsim
