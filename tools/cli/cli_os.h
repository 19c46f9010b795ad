// What kovirw-cli needs from the operating system: its arguments as UTF-8, the console,
// the stop request of the operator, and the serial ports the system lists. One source file
// per platform (cli_os_posix.cpp, cli_os_win32.cpp). Called on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The arguments after the program name, as UTF-8.
std::vector<std::string> CLI_OS_Arguments(int argc, char** argv);

// Prepares standard output for UTF-8 text and, when it is a terminal that can show them,
// for the live bars' cursor movements. Returns whether the live bars can be drawn.
bool CLI_OS_SetupConsole();

// From now on the operator's stop request (Ctrl+C, SIGTERM, closing the console window)
// sets *stop instead of ending the process; the main thread then stops the run and returns.
void CLI_OS_CatchStop(std::atomic<bool>* stop);

// True when a and b name the same file: the same file on disk, or, while either is still to
// be made, the same name in the same directory.
bool CLI_OS_SameFile(const std::string& a, const std::string& b);

// The COM numbers of the serial ports the system lists now, in COM order.
std::vector<int> CLI_OS_ListPorts();

// Where the ports are listed, for messages.
std::string CLI_OS_PortSource();

// The device that COM<com> stands for, for the report.
std::string CLI_OS_DevicePath(int com);

// An append-only file (the station's log). Opens path for writing at its end, making it when
// missing; a last line cut short (a crash or a full disk mid-write) is taken off, so every
// line stays whole, and *dropped tells how many bytes that was. Returns a handle >= 0, or -1
// with *error naming the file and the reason, also for something that is not a regular file
// (a directory, a FIFO).
intptr_t CLI_OS_OpenAppend(const std::string& path, std::string* error, long long* dropped);

// Appends text and flushes it to the disk before returning, so a crash or a power loss keeps
// it. False with *error naming the reason; the file is then cut back to where it was, so no
// part of the text stays.
bool CLI_OS_Append(intptr_t file, const std::string& text, std::string* error);

void CLI_OS_CloseAppend(intptr_t file);

// Reads count bytes at offset `from` of a file opened by CLI_OS_OpenAppend; false when it
// cannot read them all.
bool CLI_OS_ReadAt(intptr_t file, long long from, char* buffer, int count);

// The length of the file of `size` bytes up to and including its last newline (0 when it has
// none), or -1 when it cannot be read (cli_os_common.cpp).
long long CLI_OS_CompleteLength(intptr_t file, long long size);
