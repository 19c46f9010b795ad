#include <windows.h>

#include <atomic>
#include <string>

#include "config/config_io.h"
#include "config/config_testing.h"
#include "core/utf16_win32.h"

const char* const CONFIG_IO_LINE_END = "\r\n";
const char CONFIG_IO_PATH_SEPARATOR = '\\';

namespace {

std::atomic<ConfigBeforeRenameHook> g_beforeRenameHook{nullptr};

class FileHandle {
  public:
    explicit FileHandle(HANDLE h) : m_h(h) {}
    ~FileHandle() {
        if (Valid()) CloseHandle(m_h);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    // Closes now, so that a failing close can be seen.
    bool Close() {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

  private:
    HANDLE m_h;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WriteAll(HANDLE h, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const size_t chunk = text.size() - done > (1u << 20) ? (1u << 20) : text.size() - done;
        DWORD n = 0;
        if (!WriteFile(h, text.data() + done, static_cast<DWORD>(chunk), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

// The directory part of a path with its trailing separator, empty for a bare file name.
std::wstring DirectoryOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

// Where the file really is: a symbolic link's target, so that the replace changes the file
// and not the link. The handle is the existing file's, opened without access rights.
std::wstring FinalPath(HANDLE h, const std::wstring& path) {
    wchar_t buffer[32768];
    DWORD n = GetFinalPathNameByHandleW(h, buffer, 32768, FILE_NAME_NORMALIZED);
    return n > 0 && n < 32768 ? std::wstring(buffer, n) : path;
}

// Creates a new file beside `target` whose name no one else uses.
HANDLE CreateTemporary(const std::wstring& target, std::wstring* tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::wstring dir = DirectoryOf(target);
    const std::wstring base = target.substr(dir.size(), 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = dir + L"." + base + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(counter.fetch_add(1));
        // CREATE_NEW: never reuse someone's file.
        HANDLE h = CreateFileW(tempPath->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string CONFIG_IO_ValueText(const std::string& bytes) {
    std::wstring ignored;
    return UTF16_FromUtf8(bytes, &ignored) ? bytes : UTF16_AnsiToUtf8(bytes);
}

ConfigFileStatus CONFIG_IO_ReadFile(const char* path, std::string* text) {
    text->clear();
    if (path == nullptr || path[0] == '\0') return ConfigFileStatus::Missing;
    std::wstring wide;
    if (!UTF16_FromUtf8(path, &wide)) return ConfigFileStatus::Unreadable;
    FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return IsMissingError(GetLastError()) ? ConfigFileStatus::Missing
                                              : ConfigFileStatus::Unreadable;
    }
    // A device name (COM1, NUL, CON) opens a device, not a file: not ours to read.
    LARGE_INTEGER size;
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > CONFIG_IO_MAX_FILE_BYTES) {
        return ConfigFileStatus::Unreadable;
    }
    char buffer[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr) ||
            text->size() + n > CONFIG_IO_MAX_FILE_BYTES) {
            text->clear();
            return ConfigFileStatus::Unreadable;
        }
        if (n == 0) return ConfigFileStatus::Ok;
        text->append(buffer, n);
    }
}

bool CONFIG_IO_ReplaceFile(const char* path, const std::string& text) {
    if (path == nullptr || path[0] == '\0') return false;
    std::wstring target;
    if (!UTF16_FromUtf8(path, &target)) return false;

    bool exists = false;
    {
        FileHandle old(CreateFileW(target.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (old.Valid()) {
            exists = true;
            BY_HANDLE_FILE_INFORMATION info;
            if (GetFileType(old.Get()) != FILE_TYPE_DISK ||
                !GetFileInformationByHandle(old.Get(), &info) ||
                (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
                return false;  // a device, a directory or a read-only file stays as it is
            }
            target = FinalPath(old.Get(), target);
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return false;  // no such directory, no access, a dangling link
        }
    }

    std::wstring tempPath;
    FileHandle temp(CreateTemporary(target, &tempPath));
    if (!temp.Valid()) return false;
    bool ok = WriteAll(temp.Get(), text) && FlushFileBuffers(temp.Get());
    ok = temp.Close() && ok;
    if (ok) {
        if (ConfigBeforeRenameHook hook = g_beforeRenameHook.load()) {
            hook(UTF16_ToUtf8(tempPath).c_str());
        }
        // ReplaceFileW keeps the old file's attributes and security; a new file is renamed.
        ok = exists ? ReplaceFileW(target.c_str(), tempPath.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                    : MoveFileExW(tempPath.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) {
        DeleteFileW(tempPath.c_str());
        return false;
    }
    return true;
}

bool CONFIG_IO_CurrentDir(char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return false;
    std::wstring wide(n, L'\0');
    n = GetCurrentDirectoryW(n, &wide[0]);
    if (n == 0 || n >= wide.size()) return false;
    wide.resize(n);
    const std::string dir = UTF16_ToUtf8(wide);
    if (dir.size() + 1 > size) return false;
    dir.copy(out, dir.size());
    out[dir.size()] = '\0';
    return true;
}

void CONFIG_SetBeforeRenameHookForTest(ConfigBeforeRenameHook hook) {
    g_beforeRenameHook.store(hook);
}
