#include "core/utf16_win32.h"

#include <windows.h>

namespace {

std::string FromWide(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

// MultiByteToWideChar of the whole text; flags MB_ERR_INVALID_CHARS refuses bad bytes.
bool ToWide(UINT codePage, DWORD flags, const std::string& text, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    int n = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (n <= 0) return false;
    wide->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(codePage, flags, text.data(), length, &(*wide)[0], n) == n;
}

}  // namespace

bool UTF16_FromUtf8(const std::string& utf8, std::wstring* wide) {
    if (ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, wide)) return true;
    wide->clear();
    return false;
}

std::string UTF16_ToUtf8(const std::wstring& wide) {
    return FromWide(wide.data(), static_cast<int>(wide.size()));
}

std::string UTF16_AnsiToUtf8(const std::string& ansi) {
    std::wstring wide;
    ToWide(CP_ACP, 0, ansi, &wide);
    return UTF16_ToUtf8(wide);
}
