// File access for the configuration files: whole-file reads, crash-safe replacement and the
// current directory. One source file per platform implements it (config_io_posix.cpp,
// config_io_win32.cpp). Paths are UTF-8 on every platform.
//
// Functions are reentrant and may be called from any thread; the configuration layer calls
// them from the console's thread only.
#pragma once

#include <cstddef>
#include <string>

enum class ConfigFileStatus {
    Ok,          // *text holds the whole file
    Missing,     // no file at the path: a writer may create one
    Unreadable,  // something is there that we must not read or replace blindly: a
                 // directory, a device, a file without read permission or past the size cap
};

// Configuration files are a few hundred bytes; a bigger one is not ours to load.
constexpr size_t CONFIG_IO_MAX_FILE_BYTES = 16u * 1024 * 1024;

// Reads the regular file at `path` into *text (emptied on any status but Ok).
ConfigFileStatus CONFIG_IO_ReadFile(const char* path, std::string* text);

// Replaces the file at `path` with `text` so that a crash or a full disk never leaves a
// damaged file: the text goes to a temporary file in the same directory, is flushed to disk
// and renamed over the old file, which keeps its permissions. A symbolic link is followed
// and its target replaced. Returns false, with the old file as it was and no temporary file
// left, when the directory is missing or not writable, the path names something other than
// a regular file, the file is read-only (no write permission bit, even for root), or a write
// fails.
bool CONFIG_IO_ReplaceFile(const char* path, const std::string& text);

// The process's current directory as the platform reports it, into out[size]. Returns false
// and an empty text when it cannot be had or does not fit.
bool CONFIG_IO_CurrentDir(char* out, size_t size);

// The line end that new files get on this platform.
extern const char* const CONFIG_IO_LINE_END;

// The separator that joins a directory and a file name on this platform.
extern const char CONFIG_IO_PATH_SEPARATOR;

// A value read from a file as UTF-8 text. On Windows the ANSI profile functions write values
// in the ANSI code page (code page 949 on Korean Windows), so bytes that are not valid UTF-8
// are read in it; elsewhere the bytes are taken as they are.
std::string CONFIG_IO_ValueText(const std::string& bytes);
