// Saves what a window shows on the screen as a PNG file (24-bit colour, uncompressed
// deflate blocks), for screenshots of the Win32 window.
#pragma once

#include <windows.h>

// Returns false when the window cannot be captured or the file cannot be written.
bool PNG_SaveWindow(HWND window, const char* path);
