#include <windows.h>

#include <string>

#include "core/utf16_win32.h"
#include "loader/image_file.h"

namespace {

HANDLE Handle(const ImageFile* file) { return reinterpret_cast<HANDLE>(file->os); }

}  // namespace

bool IMAGE_FILE_Open(const char* path, ImageFile* file, int64_t* size) {
    file->os = -1;
    std::wstring wide;
    if (!UTF16_FromUtf8(path, &wide) || wide.empty()) return false;
    // Handles are always binary; others may read the file meanwhile, as with fopen.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length;
    // A device name (COM1, NUL) opens a device, a directory fails to open: no image file.
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &length)) {
        CloseHandle(h);
        return false;
    }
    file->os = reinterpret_cast<intptr_t>(h);
    *size = length.QuadPart;
    return true;
}

bool IMAGE_FILE_Seek(ImageFile* file, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    LARGE_INTEGER at;
    return SetFilePointerEx(Handle(file), to, &at, FILE_BEGIN) && at.QuadPart == offset;
}

int IMAGE_FILE_Read(ImageFile* file, uint8_t* buffer, int want) {
    int got = 0;
    while (got < want) {
        DWORD n = 0;
        if (!ReadFile(Handle(file), buffer + got, static_cast<DWORD>(want - got), &n, nullptr))
            return -1;
        if (n == 0) break;
        got += static_cast<int>(n);
    }
    return got;
}

void IMAGE_FILE_Close(ImageFile* file) {
    if (file->os != -1) CloseHandle(Handle(file));
    file->os = -1;
}
