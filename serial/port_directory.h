// The port directory: where COM numbers become device paths on this platform.
//
// An entry named COM<n> (usually a symlink to a device node) in the directory named by
// KOVIRW_PORT_DIR, default $XDG_RUNTIME_DIR/kovirw/ports, or /tmp/kovirw-<uid>/ports when
// XDG_RUNTIME_DIR is unset. Creating an entry is a port arrival; deleting it a removal.
// Whoever can write to the directory decides where a COM number leads, so the default
// directory must belong to the user alone.
// Thread-safe: the functions read the environment, build strings and look at the file system.
#pragma once

#include <string>
#include <vector>

// The port directory's path (not created).
std::string PORT_DIRECTORY_Path();

// The path of COM<comPort>'s entry in the port directory; in the directory dir (on
// Windows the device name, dir is not used).
std::string PORT_DIRECTORY_EntryPath(int comPort);
std::string PORT_DIRECTORY_EntryPath(const std::string& dir, int comPort);

// Makes the directory dir (with its parents) where it is missing, mode 0700, and checks that
// no other user can plant ports in it. The default directory and the kovirw folder above it
// are refused when either is a symbolic link, is no directory, belongs to another user or
// is writable by group or others. A directory the user named (KOVIRW_PORT_DIR, a tool's
// option) is the user's choice: one that every user may write to only gets a warning.
// Returns false with *error (when given) naming the path and what is wrong; *warning (when
// given) gets the warning or is emptied.
bool PORT_DIRECTORY_Ensure(const std::string& dir, std::string* error = nullptr,
                           std::string* warning = nullptr);

// The same check without making anything: false, with *error, when dir is the default
// directory and it is missing or another user could have planted it.
bool PORT_DIRECTORY_Check(const std::string& dir, std::string* error);

// The COM numbers of the ports present, in ascending order: the entries COM<n> in dir that
// lead somewhere (a link whose target is gone does not count); on Windows the ports the
// system lists (dir is not used). Empty when the list cannot be read.
std::vector<int> PORT_DIRECTORY_List(const std::string& dir);

// What COM<com> stands for, to show the operator. In a port directory: the entry's link
// target, with the device it finally resolves to in brackets when that differs; the entry's
// own path when it is no link. On Windows: the device name the system lists for the port,
// such as \Device\Serial0 (dir is not used). Empty when there is no such port.
std::string PORT_DIRECTORY_Describe(const std::string& dir, int com);

// A port present and what it leads to: an entry's link target and the device number it ends
// at; on Windows the system's device name for the port (\Device\...). Another text for the
// same COM number means another device.
struct PortEntry {
    int com;
    std::string device;
};

// The ports of PORT_DIRECTORY_List, each with what it leads to.
std::vector<PortEntry> PORT_DIRECTORY_Entries(const std::string& dir);

// Publishing a port: for the programs that make ports (the terminal simulator, the publisher
// of udev's adapters). Only where ports are entries of a directory; Windows names its own
// devices, and there these two have no definition.

// What PORT_DIRECTORY_Publish found and did.
enum class PortPublish {
    kPublished,  // the entry leads to the target (made now, or it did already)
    kTaken,      // someone else's entry (no link, or a link that leads somewhere): left alone
    kFailed,     // the file system refused: *error names the path and the reason
};

// Makes the entry entryPath (PORT_DIRECTORY_EntryPath) a symbolic link to target. The link
// is made under a temporary name beside it and renamed into place, so that a watcher never
// sees a half-made entry. An entry that already links to target is kept as it stands (a
// publisher that ended left it, and a flasher may have the port open); a link that leads
// nowhere (left by a publisher that died) is replaced; any other entry is not ours.
PortPublish PORT_DIRECTORY_Publish(const std::string& entryPath, const std::string& target,
                                   std::string* error);

// Removes the entry entryPath when it is still a symbolic link to target: never an entry
// that someone put in its place. True when it was removed.
bool PORT_DIRECTORY_Withdraw(const std::string& entryPath, const std::string& target);

// The largest COM number a port may carry (a name of at most seven digits).
constexpr int PORT_COM_MAX = 1000000;

// The COM number that an entry name stands for: "COM12" gives 12; anything else gives 0,
// "COM0", "COM03" and numbers above PORT_COM_MAX among them. Every program of the tool reads
// port names with this one rule.
int PORT_DIRECTORY_ParseName(const char* name);
