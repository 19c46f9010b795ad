// Line-level checks of private-profile edits for the fuzz targets: an edit of one key may
// change that key's line and add at most a section header and the key's line; every other
// line stays byte for byte as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines of text, each with its line end ("\n"; a CR before it stays in the line). The
// last line has none when the text does not end in one.
std::vector<std::string_view> INI_Lines(std::string_view text);

// True when an original line is kept in the edited text as `edited`: the same bytes, or, for
// the original's last line when it has no line end, the same line with one added.
bool INI_LineKept(std::string_view original, std::string_view edited, bool lastOriginal);

// True when `line` could be the line of `key` that a reader finds: the key's name (in any
// case, white space around it) followed by '='.
bool INI_IsLineOfKey(std::string_view line, std::string_view key);

// True when `edited` is `original` with the line of `key` set: at most one line of the key
// replaced (same line end) and at most two lines added (a "[section]" header and the key's
// line); a last line without a line end may gain one. Every other line is kept, byte for
// byte and in order.
bool INI_OnlyKeyLineChanged(std::string_view original, std::string_view edited,
                            std::string_view section, std::string_view key);

// True when `edited` is `original` with at most one line of `key` removed.
bool INI_OnlyKeyLineRemoved(std::string_view original, std::string_view edited,
                            std::string_view key);
