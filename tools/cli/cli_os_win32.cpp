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
    return SetConsoleMode(out,
                          mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
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
        HANDLE h =
            CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool got = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return got;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
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

namespace {

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = text != nullptr ? UTF16_ToUtf8(text) : "error " + std::to_string(code);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

bool MoveTo(HANDLE h, long long at) {
    LARGE_INTEGER to{};
    to.QuadPart = at;
    return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

bool CLI_OS_ReadAt(intptr_t file, long long from, char* buffer, int count) {
    HANDLE h = reinterpret_cast<HANDLE>(file);
    DWORD got = 0;
    return MoveTo(h, from) && ReadFile(h, buffer, static_cast<DWORD>(count), &got, nullptr) &&
           got == static_cast<DWORD>(count);
}

intptr_t CLI_OS_OpenAppend(const std::string& path, std::string* error, long long* dropped) {
    *dropped = 0;
    std::wstring wide;
    if (!UTF16_FromUtf8(path, &wide)) {
        *error = path + ": not a valid file name";
        return -1;
    }
    // Written only at its end (each write moves there first); no other program may write.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = path + ": " + SystemMessage(GetLastError());
        return -1;
    }
    LARGE_INTEGER size{};
    long long keep = 0;
    const char* why = nullptr;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        why = "not a regular file";
    } else if (!GetFileSizeEx(h, &size)) {
        why = "its size cannot be read";
    } else if ((keep = CLI_OS_CompleteLength(reinterpret_cast<intptr_t>(h), size.QuadPart)) < 0) {
        why = "its end cannot be read";
    } else if (keep < size.QuadPart && (!MoveTo(h, keep) || !SetEndOfFile(h))) {
        why = "its cut last line cannot be taken off";
    }
    if (why != nullptr) {
        *error = path + ": " + why;
        CloseHandle(h);
        return -1;
    }
    *dropped = size.QuadPart - keep;
    return reinterpret_cast<intptr_t>(h);
}

bool CLI_OS_Append(intptr_t file, const std::string& text, std::string* error) {
    HANDLE h = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER end{};
    const LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h, zero, &end, FILE_END)) {
        *error = SystemMessage(GetLastError());
        return false;
    }
    DWORD written = 0;
    if (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(h))
        return true;
    *error = SystemMessage(GetLastError());
    // The text is taken back whole: a cut line would stand in the log for good.
    if (!MoveTo(h, end.QuadPart) || !SetEndOfFile(h))
        *error += "; the part written could not be taken back";
    return false;
}

void CLI_OS_CloseAppend(intptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }
