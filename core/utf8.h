// UTF-8 as every layer reads it: which bytes form a valid character, and where a text may be
// cut without splitting one. Texts in files, events and reports are UTF-8 except where an
// outside source (a path in another encoding) says otherwise; these rules tell the two apart.
// Pure functions, any thread.
#pragma once

#include <cstddef>
#include <string>

// The length (1 to 4) of the valid UTF-8 character at text[at] of a text of `size` bytes,
// with its code point in *code when given; 0 when the byte there starts none (a stray
// continuation byte, an overlong form, a surrogate, a code above U+10FFFF, a sequence cut
// by the end of the text).
size_t UTF8_CharLength(const char* text, size_t size, size_t at, char32_t* code = nullptr);

// Whether every byte of text belongs to a valid UTF-8 character.
bool UTF8_IsValid(const std::string& text);

// How many of the first `limit` bytes of text to keep so that the cut splits no character:
// limit, or less by the bytes of a character that starts before limit and ends after it.
// Looks only at text[0, limit), so it also serves a buffer already cut at limit. Bytes that
// are not UTF-8 are cut as they come.
size_t UTF8_CutLength(const char* text, size_t limit);
