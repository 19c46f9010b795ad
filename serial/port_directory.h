// The port directory: where COM numbers become device paths on this platform.
//
// An entry named COM<n> (usually a symlink to a device node) in the directory named by
// KOVIRW_PORT_DIR, default $XDG_RUNTIME_DIR/kovirw/ports, or /tmp/kovirw-<uid>/ports when
// XDG_RUNTIME_DIR is unset. Creating an entry is a port arrival; deleting it a removal.
// Thread-safe: the functions read the environment and build strings only.
#pragma once

#include <string>

// The port directory's path (not created).
std::string PORT_DIRECTORY_Path();

// The path of COM<comPort>'s entry in the port directory.
std::string PORT_DIRECTORY_EntryPath(int comPort);

// Creates the port directory and its parents (mode 0700 for the parts we create).
// Returns false when it cannot be made.
bool PORT_DIRECTORY_Ensure(const std::string& dir);

// The COM number that an entry name stands for: "COM12" gives 12; anything else gives 0.
int PORT_DIRECTORY_ParseName(const char* name);
