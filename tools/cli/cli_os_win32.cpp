#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "core/utf16_win32.h"
#include "serial/port_directory.h"
#include "tools/cli/cli_os.h"

namespace {

std::atomic<bool>* s_stop = nullptr;
UINT s_consoleCodePage = 0;  // the console's output code page before ours

void RestoreConsoleCodePage() { SetConsoleOutputCP(s_consoleCodePage); }

// Runs on a thread of its own. Ctrl+C and Ctrl+Break only ask for the stop. Closing the
// window, logging off or shutting down end the process once the handler returns, so it
// waits: the main thread stops the run, closes the ports, writes the report and exits.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (s_stop != nullptr) *s_stop = true;
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

std::vector<std::string> CLI_OS_Arguments(int argc, char** argv) {
    // argv is in the ANSI code page, which cannot hold every file name: take the wide
    // command line instead.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(UTF16_ToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

bool CLI_OS_SetupConsole() {
    // The texts are UTF-8 (Korean among them); output to a pipe or file is not changed.
    // The console keeps its code page after we end, so the operator's one comes back then.
    s_consoleCodePage = GetConsoleOutputCP();
    if (s_consoleCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(RestoreConsoleCodePage);
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    // The bars move the cursor with escape sequences; a console without virtual-terminal
    // processing (before Windows 10) gets plain lines.
    return SetConsoleMode(out, mode | ENABLE_PROCESSED_OUTPUT |
                                   ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void CLI_OS_CatchStop(std::atomic<bool>* stop) {
    s_stop = stop;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool CLI_OS_SameFile(const std::string& a, const std::string& b) {
    // An existing file is known by its volume and index; names are compared only when one
    // of them is still to be made, as full paths and without regard to case.
    auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
        std::wstring wide;
        if (!UTF16_FromUtf8(path, &wide)) return false;
        HANDLE h = CreateFileW(wide.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool got = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return got;
    };
    BY_HANDLE_FILE_INFORMATION ia {}, ib {};
    if (identity(a, &ia) && identity(b, &ib)) {
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
               ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
    }
    auto full = [](const std::string& path) {
        std::wstring wide;
        if (!UTF16_FromUtf8(path, &wide)) return std::wstring();
        static wchar_t buffer[32768];  // the longest path Windows knows; main thread only
        const DWORD n = GetFullPathNameW(wide.c_str(), 32768, buffer, nullptr);
        return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
    };
    const std::wstring fa = full(a), fb = full(b);
    return !fa.empty() && CompareStringOrdinal(fa.c_str(), static_cast<int>(fa.size()), fb.c_str(),
                                               static_cast<int>(fb.size()), TRUE) == CSTR_EQUAL;
}

std::vector<int> CLI_OS_ListPorts() { return PORT_DIRECTORY_List(PORT_DIRECTORY_Path()); }

std::string CLI_OS_PortSource() { return "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"; }

std::string CLI_OS_DevicePath(int com) { return "\\\\.\\COM" + std::to_string(com); }
