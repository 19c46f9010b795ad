// Private-profile (INI) text held in memory: finding values and editing keys.
//
// No I/O here, so every rule is tested and fuzzed on strings. The files are also made and
// edited on Windows installations and by hand, so the rules are those of the Windows
// private-profile functions:
//
//  - A line is a section header "[name]", a key line "name=value", or anything else (blank
//    lines, comments starting with ';', lines without '=', a '[' line without ']'), which is
//    skipped. LF and CRLF line ends both read; the last line needs no line end. A UTF-8
//    byte-order mark at the start of the file is skipped (Notepad writes one).
//  - Section and key names match without regard to ASCII case. White space around names and
//    values is ignored. The first matching section and, in it, the first matching key win;
//    keys before the first header belong to no section.
//  - A value enclosed in a matching pair of double or single quotes reads without them.
//
// All functions are pure and may be called from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using IniKeyValues = std::vector<std::pair<std::string, std::string>>;

// The value of `key` in `section`, unquoted, into *value. Returns false (and leaves *value
// alone) when the section or the key is not there.
bool IniText_Find(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value);

// Every key of `section` with its unquoted value, in file order. A key that appears again
// in the section is listed once, with its first value, as a lookup would return it.
IniKeyValues IniText_Section(std::string_view text, std::string_view section);

// The leading decimal digits of `value` after optional white space; 0 when it does not
// begin with a digit. Values past 4294967295 stay at 4294967295 instead of wrapping.
unsigned IniText_ParseUnsigned(std::string_view value);

// Names and values that a write can represent: a section name without ']', a key name
// without '=' that does not start with ';' or '['; neither empty nor with white space at
// either end; no line breaks or NUL bytes anywhere (values included).
bool IniText_IsSectionName(std::string_view section);
bool IniText_IsKeyName(std::string_view key);
bool IniText_IsValue(std::string_view value);

// Sets `key` in `section` to `value`, changing nothing else in *text:
//  - an existing key's line (the first match) becomes "key=value", with the name as given
//    and the line's own line end;
//  - a new key goes after the last key line of the (first matching) section, or right after
//    its header when it has none;
//  - a new section goes at the end, after a line end for a last line that has none.
// New lines take the text's line-end style (that of its first line), or `newTextLineEnd` when
// the text has no line end yet. A value that would not read back as itself (white space at
// either end, or enclosed in a pair of quotes) is written in double quotes.
// Returns false, leaving *text unchanged, when a name or the value is not representable.
bool IniText_Set(std::string* text, std::string_view section, std::string_view key,
                 std::string_view value, std::string_view newTextLineEnd);

// Removes the line of `key` (the first match) from `section`, line end included. Returns
// false only when a name is not representable; a missing key leaves *text as it is.
bool IniText_Remove(std::string* text, std::string_view section, std::string_view key);
