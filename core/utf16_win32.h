// UTF-8 inside the program, UTF-16 at the Windows API: the conversions, for the *_win32
// files only. Thread-safe.
#pragma once

#include <string>

// The UTF-16 form of a UTF-8 text. False (and an empty *wide) when the text is not valid
// UTF-8: a path that cannot be converted must not name some other file.
bool UTF16_FromUtf8(const std::string& utf8, std::wstring* wide);

// The UTF-8 form of a UTF-16 text (unpaired surrogates become U+FFFD).
std::string UTF16_ToUtf8(const std::wstring& wide);

// The text of bytes in the ANSI code page (code page 949 on Korean Windows), as UTF-8.
std::string UTF16_AnsiToUtf8(const std::string& ansi);
