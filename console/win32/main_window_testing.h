// Test support for the Win32 window. Not for production code: the tests answer the window's
// message boxes and file dialogs in place of the operator, so that no modal loop of the
// system runs. Window thread only.
#pragma once

#include <windows.h>
// The Win32 headers below need windows.h first.
#include <commdlg.h>

#include <functional>
#include <string>

// In place of MessageBoxW and of GetOpenFileNameW/GetSaveFileNameW: the hooks get exactly
// what the real functions would and answer for the operator. Empty = the real ones.
using MessageBoxHook = std::function<int(HWND owner, const std::wstring& text,
                                         const std::wstring& caption, UINT type)>;
using FileDialogHook = std::function<bool(bool save, OPENFILENAMEW* request)>;
void WIN32_SetMessageBoxHook(MessageBoxHook hook);
void WIN32_SetFileDialogHook(FileDialogHook hook);
